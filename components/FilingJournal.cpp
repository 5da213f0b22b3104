// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FilingJournal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "components/Journal.h"
#include "components/JournalFields.h"
#include "components/JournalLines.h"
#include "components/Undo.h" // UndoReasonStopped
#include "runtime/FileOps.h"
#include "runtime/Text.h"

namespace {

using ordered_json = nlohmann::ordered_json;

constexpr size_t FlushEvery = 256;

ordered_json PathValue(const std::string& path)
{
    if (IsValidUtf8(path))
        return path;
    std::string hex;
    for (unsigned char c : path)
        AppendHexByte(hex, c);
    return ordered_json{{"hex", hex}};
}

// Absolute, no NUL, no empty, "." or ".." folder, no trailing '/' (but "/").
bool DecodePath(const ordered_json& value, std::string& path)
{
    if (!DecodeJournalBytes(value, path))
        return false;
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
        return false;
    if (path == "/")
        return true;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string_view part(path.data() + start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

bool OptionalPath(const ordered_json& object, const char* key, std::string& out)
{
    auto it = object.find(key);
    return it == object.end() || DecodePath(*it, out);
}

bool GetInteger(const ordered_json& object, const char* key, int64_t& out)
{
    auto it = object.find(key);
    if (it == object.end())
        return true;
    if (!it->is_number_integer() || (it->is_number_unsigned() && it->get<uint64_t>() > uint64_t(INT64_MAX)))
        return false;
    out = it->get<int64_t>();
    return true;
}

bool IsStepName(const std::string& step)
{
    return step == "intent" || step == "copy" || step == "copied" || step == "placed" || step == "moved" ||
           step == "failed";
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

// The temporary names the mover makes: ".quillon-" + 16 hex digits + ".part".
bool IsMoverTempName(const std::string& name)
{
    if (name.size() != 9 + 16 + 5 || name.compare(0, 9, ".quillon-") != 0 || name.compare(25, 5, ".part") != 0)
        return false;
    for (size_t i = 9; i < 25; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::string ReadProcField(const char* path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The start time of process pid in clock ticks since boot (field 22 of its stat).
int64_t ProcessStart(int64_t pid)
{
    const std::string stat = ReadProcField(("/proc/" + std::to_string(pid) + "/stat").c_str());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    size_t at = close + 2;
    for (int field = 3; field < 22; ++field) {
        at = stat.find(' ', at);
        if (at == std::string::npos)
            return -1;
        ++at;
    }
    return std::strtoll(stat.c_str() + at, nullptr, 10);
}

std::string FormatStepLine(const TFilingRecord& r)
{
    std::string out;
    out.reserve(160 + r.Old.size() + r.New.size() + r.Temp.size());
    out += "{\"type\":\"step\",\"id\":";
    AppendJsonString(out, Utf8OrReplacement(r.Id));
    out += ",\"old\":";
    AppendJournalBytes(out, r.Old);
    out += ",\"new\":";
    AppendJournalBytes(out, r.New);
    out += ",\"step\":";
    AppendJsonString(out, Utf8OrReplacement(r.Step));
    if (!r.Temp.empty()) {
        out += ",\"temp\":";
        AppendJournalBytes(out, r.Temp);
    }
    if (r.Identity) {
        out += ",\"file\":";
        AppendJournalIdentity(out, *r.Identity);
    }
    if (!r.Reason.empty()) {
        out += ",\"reason\":";
        AppendJsonString(out, Utf8OrReplacement(r.Reason));
    }
    out += '}';
    return out;
}

} // namespace

std::string DefaultFilingJournalFileName()
{
    return std::filesystem::path(DefaultJournalFileName()).replace_filename("filing.jsonl").string();
}

std::optional<TFilingRecord> ParseFilingLine(std::string_view Line)
{
    ordered_json value = ordered_json::parse(Line.begin(), Line.end(), nullptr, false);
    if (value.is_discarded() || !value.is_object())
        return std::nullopt;
    TFilingRecord r;
    std::string type;
    if (!GetJournalText(value, "type", type, true) || !GetJournalText(value, "id", r.Id, true) || r.Id.empty())
        return std::nullopt;
    if (type == "batch") {
        r.Type = TFilingRecordType::Batch;
        if (!GetJournalText(value, "time", r.Time, true) || !ParseJournalTime(r.Time, r.UnixTime) ||
            !GetJournalText(value, "kind", r.Kind, true) || !GetJournalText(value, "undoes", r.Undoes, false) ||
            !GetJournalText(value, "boot", r.Boot, false) || !GetInteger(value, "pid", r.Pid) ||
            !GetInteger(value, "start", r.Start))
            return std::nullopt;
        if ((r.Kind != "file" && r.Kind != "unfile") || (r.Kind == "unfile") == r.Undoes.empty())
            return std::nullopt;
        if (!value.contains("folder") || !DecodePath(value["folder"], r.Folder) || !value.contains("dest") ||
            !DecodePath(value["dest"], r.Dest))
            return std::nullopt;
        auto files = value.find("files");
        if (files == value.end() || !files->is_array())
            return std::nullopt;
        for (const auto& pair : *files) {
            std::string oldPath, newPath;
            if (!pair.is_array() || pair.size() != 2 || !DecodePath(pair[0], oldPath) || !DecodePath(pair[1], newPath))
                return std::nullopt;
            r.Files.emplace_back(std::move(oldPath), std::move(newPath));
        }
    } else if (type == "dir") {
        r.Type = TFilingRecordType::Dir;
        if (!value.contains("path") || !DecodePath(value["path"], r.Path) || r.Path == "/")
            return std::nullopt;
    } else if (type == "step") {
        r.Type = TFilingRecordType::Step;
        if (!value.contains("old") || !DecodePath(value["old"], r.Old) || !value.contains("new") ||
            !DecodePath(value["new"], r.New) || !GetJournalText(value, "step", r.Step, true) || !IsStepName(r.Step) ||
            !OptionalPath(value, "temp", r.Temp) || !GetJournalText(value, "reason", r.Reason, false))
            return std::nullopt;
        if (r.Old == "/" || r.New == "/")
            return std::nullopt;
        if (!r.Temp.empty() && (FolderOf(r.Temp) != FolderOf(r.New) || !IsMoverTempName(NameOf(r.Temp))))
            return std::nullopt;
        if ((r.Step == "copy" || r.Step == "copied") && r.Temp.empty())
            return std::nullopt;
        auto file = value.find("file");
        if (file != value.end()) {
            r.Identity.emplace();
            if (!DecodeJournalIdentity(*file, *r.Identity))
                return std::nullopt;
        }
    } else if (type == "end") {
        r.Type = TFilingRecordType::End;
        auto recovered = value.find("recovered");
        if (recovered != value.end()) {
            if (!recovered->is_boolean())
                return std::nullopt;
            r.Recovered = recovered->get<bool>();
        }
    } else {
        return std::nullopt;
    }
    return r;
}

std::string FormatFilingLine(const TFilingRecord& r)
{
    ordered_json out;
    switch (r.Type) {
    case TFilingRecordType::Batch: {
        out["type"] = "batch";
        out["id"] = r.Id;
        out["time"] = r.Time;
        out["kind"] = r.Kind;
        if (!r.Undoes.empty())
            out["undoes"] = r.Undoes;
        out["folder"] = PathValue(r.Folder);
        out["dest"] = PathValue(r.Dest);
        out["pid"] = r.Pid;
        out["boot"] = r.Boot;
        out["start"] = r.Start;
        ordered_json files = ordered_json::array();
        for (const auto& [oldPath, newPath] : r.Files)
            files.push_back(ordered_json::array({PathValue(oldPath), PathValue(newPath)}));
        out["files"] = std::move(files);
        break;
    }
    case TFilingRecordType::Dir:
        out["type"] = "dir";
        out["id"] = r.Id;
        out["path"] = PathValue(r.Path);
        break;
    case TFilingRecordType::Step:
        return FormatStepLine(r); // two a file: written by hand, for speed
    case TFilingRecordType::End:
        out["type"] = "end";
        out["id"] = r.Id;
        if (r.Recovered)
            out["recovered"] = true;
        break;
    }
    return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

class TFilingJournalTraits::Builder {
public:
    Builder(TFilingRecord&& head, size_t)
    {
        for (auto& [oldPath, newPath] : head.Files) {
            index_.emplace(oldPath, batch_.Files.size());
            TFilingFile file;
            file.Old = std::move(oldPath);
            file.New = std::move(newPath);
            batch_.Files.push_back(std::move(file));
        }
        head.Files.clear();
        batch_.Head = std::move(head);
    }

    bool Add(TFilingRecord&& record)
    {
        if (record.Type == TFilingRecordType::End) {
            batch_.Ended = true;
            batch_.Recovered = record.Recovered;
            return true;
        }
        if (record.Type == TFilingRecordType::Dir) {
            batch_.Dirs.push_back(std::move(record.Path));
            return true;
        }
        auto file = index_.find(record.Old);
        if (file == index_.end() || batch_.Files[file->second].New != record.New)
            return false; // a step for a file the batch did not plan
        TFilingFile& f = batch_.Files[file->second];
        f.Step = record.Step;
        if (!record.Temp.empty())
            f.Temp = std::move(record.Temp);
        if (record.Step == "intent" || record.Step == "copy")
            f.Source = record.Identity;
        else if (record.Step == "copied")
            f.Copy = record.Identity;
        else if (record.Step == "moved")
            f.Moved = record.Identity;
        else if (record.Step == "failed")
            f.Reason = std::move(record.Reason);
        return true;
    }

    TFilingBatch Finish() { return std::move(batch_); }

private:
    TFilingBatch batch_;
    std::unordered_map<std::string, size_t> index_;
};

std::optional<TFilingRecord> TFilingJournalTraits::Parse(std::string_view Line)
{
    return ParseFilingLine(Line);
}

TFilingJournalContents ParseFilingJournal(std::string_view Text)
{
    TJournalLinesForward lines{TJournalBytes(Text)};
    TJournalBatches<TFilingJournalTraits> read;
    ReadJournalBatches(lines, read);
    return {std::move(read.Batches), std::move(read.DamagedLines)};
}

namespace {

[[noreturn]] void CannotRead(const std::string& fileName, int error)
{
    throw EJournalError("cannot read the filing journal " + fileName + ": " + FileErrorText(error));
}

} // namespace

TFilingJournalContents ReadFilingJournal(const std::string& FileName)
{
    TAdvisoryLock lock;
    lock.Acquire(FileName + ".lock", false); // reading without it beats not reading
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        CannotRead(FileName, errno);
    }
    TJournalLinesForward lines{TJournalBytes(fd)};
    TJournalBatches<TFilingJournalTraits> read;
    const int error = ReadJournalBatches(lines, read);
    ::close(fd);
    if (error)
        CannotRead(FileName, error);
    return {std::move(read.Batches), std::move(read.DamagedLines)};
}

struct TFilingJournalBackwardReader::TImpl {
    // Locked only while opened and measured (see TJournalBackwardReader).
    explicit TImpl(const std::string& name)
        : fileName(name), fd((lock.Acquire(name + ".lock", false), ::open(name.c_str(), O_RDONLY | O_CLOEXEC))),
          batches(TJournalBytes(fd, SizeOf(fd)))
    {
        if (fd < 0 && errno != ENOENT)
            CannotRead(name, errno);
        lock.Release();
    }
    static int64_t SizeOf(int fd)
    {
        struct stat info{};
        return fd >= 0 && ::fstat(fd, &info) == 0 ? info.st_size : -1;
    }
    ~TImpl()
    {
        if (fd >= 0)
            ::close(fd);
    }
    std::string fileName;
    TAdvisoryLock lock; // reading without it beats not reading
    int fd;
    TJournalBatchesBackward<TFilingJournalTraits> batches;
};

TFilingJournalBackwardReader::TFilingJournalBackwardReader(const std::string& FileName)
    : impl_(std::make_unique<TImpl>(FileName))
{
}

TFilingJournalBackwardReader::~TFilingJournalBackwardReader() = default;

bool TFilingJournalBackwardReader::Previous(TFilingBatch& Batch)
{
    if (impl_->fd < 0)
        return false;
    if (impl_->batches.Previous(Batch))
        return true;
    if (const int error = impl_->batches.Error())
        CannotRead(impl_->fileName, error);
    return false;
}

std::vector<size_t> TFilingJournalBackwardReader::DamagedLines()
{
    return impl_->fd < 0 ? std::vector<size_t>() : impl_->batches.DamagedLines();
}

std::vector<std::string> FilingDamagedLineMessages(const std::string& FileName, const std::vector<size_t>& Lines)
{
    std::vector<std::string> messages;
    for (size_t line : Lines)
        messages.push_back("filing journal " + FileName + ": line " + std::to_string(line) +
                           " is damaged and was skipped");
    return messages;
}

TFilingJournal::TFilingJournal(std::string FileName, TJournalLimits Limits)
    : fileName_(std::move(FileName)), limits_(Limits)
{
}

TFilingJournal::~TFilingJournal()
{
    try {
        Flush(true);
    } catch (const std::exception&) {
    }
    if (fd_ >= 0)
        ::close(fd_);
}

void TFilingJournal::Write(const TFilingRecord& Record, bool Sync)
{
    if (Record.Type == TFilingRecordType::Batch)
        Trim();
    buffer_ += FormatFilingLine(Record);
    buffer_ += '\n';
    ++buffered_;
    if (Sync || buffered_ >= FlushEvery)
        Flush(Sync);
}

void TFilingJournal::Flush(bool Sync)
{
    if (buffer_.empty())
        return;
    auto fail = [&](int error) {
        throw EJournalError("cannot write the filing journal " + fileName_ + ": " + FileErrorText(error));
    };
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(fileName_).parent_path(), ec);
    if (ec)
        fail(ec.value()); // the folder's own error, not the open's "no such file" after it
    TAdvisoryLock lock;
    if (const int error = lock.Acquire(fileName_ + ".lock", true))
        fail(error);
    // Another process may have trimmed the journal (a new file renamed over
    // the old one) since this one was opened: append to the file the name holds now.
    struct stat byName{}, byHandle{};
    if (fd_ >= 0 && (::stat(fileName_.c_str(), &byName) != 0 || ::fstat(fd_, &byHandle) != 0 ||
                     byName.st_ino != byHandle.st_ino || byName.st_dev != byHandle.st_dev)) {
        ::close(fd_);
        fd_ = -1;
    }
    bool created = false;
    if (fd_ < 0) {
        created = ::access(fileName_.c_str(), F_OK) != 0;
        fd_ = ::open(fileName_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0)
            fail(errno);
    }
    struct stat info{};
    if (::fstat(fd_, &info) != 0)
        fail(errno);
    std::string out;
    if (info.st_size > 0) {
        char last = '\n';
        if (::pread(fd_, &last, 1, info.st_size - 1) != 1)
            fail(errno);
        if (last != '\n')
            out = "\n"; // a writer killed mid-line: end its line first
    }
    out += buffer_;
    if (!WriteAll(fd_, out.data(), out.size()))
        fail(errno);
    if (Sync && ::fdatasync(fd_) != 0)
        fail(errno);
    if (created)
        SyncFolderOf(fileName_);
    buffer_.clear();
    buffered_ = 0;
}

namespace {

bool PathExists(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0;
}

// Whether the folder of path is there to look at (a disk not mounted is not).
bool FolderThere(const std::string& path)
{
    const std::string folder = FolderOf(path);
    struct stat info{};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(folder.c_str(), X_OK) == 0;
}

// What trimming must keep: a batch not ended (under way, or to be
// recovered), one with a move in flight (a copy begun, not moved nor
// failed), and a filing batch not taken back that left a file under its new
// name, or in a folder that cannot be looked at now.
int TrimBatches(int fd, std::vector<TJournalTrimBatch>& batches, std::vector<size_t>& damaged)
{
    TJournalBatchesBackward<TFilingJournalTraits> reader{TJournalBytes(fd)};
    std::unordered_set<std::string> takenBack; // of batches not reached yet
    std::unordered_map<std::string, std::unordered_set<std::string>> restored; // batch id -> old paths given back
    TFilingBatch b;
    while (reader.Previous(b)) {
        if (b.Head.Kind == "unfile") {
            if (FilingUndoRanToItsEnd(b))
                takenBack.insert(b.Head.Undoes);
            for (const TFilingFile& f : b.Files)
                if (f.Step == "moved")
                    restored[b.Head.Undoes].insert(f.New);
        }
        const bool inFlight = std::any_of(b.Files.begin(), b.Files.end(), [](const TFilingFile& f) {
            return f.Step == "copy" || f.Step == "copied" || f.Step == "placed";
        });
        bool open = !b.Ended || inFlight;
        if (!open && b.Head.Kind == "file") {
            // Taken back: kept only for a file its undos left in place.
            const bool taken = takenBack.erase(b.Head.Id) > 0;
            const std::unordered_set<std::string> given = std::move(restored[b.Head.Id]);
            restored.erase(b.Head.Id);
            open = std::any_of(b.Files.begin(), b.Files.end(), [&](const TFilingFile& f) {
                const bool mayHaveMoved = f.Step == "moved" || f.Step == "intent" || (f.Step.empty() && b.Recovered);
                if (!mayHaveMoved)
                    return false;
                if (taken)
                    return !given.count(f.Old) && FilingFileLeftInPlace(f);
                return PathExists(f.New) || !FolderThere(f.New);
            });
        }
        batches.push_back({b.Head.Id, b.Head.Kind == "unfile" ? b.Head.Undoes : std::string(), b.Head.UnixTime, open,
                           reader.LastBytes()});
    }
    std::reverse(batches.begin(), batches.end());
    damaged = reader.DamagedLines();
    return reader.Error();
}

} // namespace

void TFilingJournal::Trim()
{
    Flush(false); // this journal's own records first
    TJournalTrim trim;
    trim.What = "filing journal";
    trim.Limits = limits_;
    trim.OldestTime = [](std::string_view line) -> std::optional<int64_t> {
        auto record = ParseFilingLine(line);
        if (!record || record->Type != TFilingRecordType::Batch)
            return std::nullopt;
        return record->UnixTime;
    };
    trim.IdOf = [](std::string_view line) {
        auto record = ParseFilingLine(line);
        return record ? record->Id : std::string();
    };
    trim.Batches = TrimBatches;
    trim.Warn = [this](const std::string& message) { warnings_.push_back(message); };
    TAdvisoryLock lock;
    if (lock.Acquire(fileName_ + ".lock", true) != 0)
        return; // not trimmed this time; the batch's own writes will say why
    try {
        if (TrimJournalLocked(fileName_, trim) && fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    } catch (const EJournalError& e) {
        warnings_.push_back(e.Message());
    }
}

std::vector<std::string> TFilingJournal::TakeWarnings()
{
    std::vector<std::string> taken;
    taken.swap(warnings_);
    return taken;
}

TFilingRecord NewFilingBatchRecord(const std::string& Kind, const std::string& Folder, const std::string& Dest,
                                   TPathPairs Files)
{
    TFilingRecord r;
    r.Type = TFilingRecordType::Batch;
    r.Id = NewJournalBatchId();
    r.UnixTime = static_cast<int64_t>(std::time(nullptr));
    r.Time = FormatJournalTime(r.UnixTime);
    r.Kind = Kind;
    r.Folder = Folder;
    r.Dest = Dest;
    r.Pid = ::getpid();
    r.Boot = ReadProcField("/proc/sys/kernel/random/boot_id");
    r.Start = ProcessStart(r.Pid);
    r.Files = std::move(Files);
    return r;
}

bool FilingBatchIsLive(const TFilingRecord& Batch)
{
    if (Batch.Pid <= 0 || Batch.Boot.empty() || Batch.Boot != ReadProcField("/proc/sys/kernel/random/boot_id"))
        return false;
    return ProcessStart(Batch.Pid) == Batch.Start && Batch.Start >= 0;
}

bool FilingFileLeftInPlace(const TFilingFile& File)
{
    const std::optional<TFileIdentity>& expected = File.Step == "moved" ? File.Moved : File.Source;
    TFileIdentity now;
    return expected && GetFileIdentity(File.New, now) && now == *expected;
}

bool FilingUndoRanToItsEnd(const TFilingBatch& Unfile)
{
    return Unfile.Ended && !Unfile.Recovered &&
           std::none_of(Unfile.Files.begin(), Unfile.Files.end(), [](const TFilingFile& f) {
               return f.Step == "failed" && f.Reason == UndoReasonStopped;
           });
}
