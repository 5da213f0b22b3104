// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/Journal.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "runtime/Exceptions.h"
#include "runtime/FileIO.h"
#include "runtime/FileOps.h"
#include "runtime/Text.h"
#include "components/JournalFields.h"
#include "components/JournalLines.h"
#include "components/Undo.h"

const char* const JournalWaitingMessage = "waiting for the rename journal, held by another quillon process";

namespace {

using ordered_json = nlohmann::ordered_json;

// Records buffered before they are written out; the batch record that makes
// them recoverable is already on disk, so this only bounds what a kill loses
// of the finer detail.
constexpr size_t FlushEvery = 256;

// ---- names --------------------------------------------------------------------------
// A name undo may use passes IsPlainFileName: a name that could lead out of
// the batch's folder is refused, so a hand-edited journal can never make undo
// touch another folder.
bool DecodeName(const ordered_json& value, std::string& name)
{
    return DecodeJournalBytes(value, name) && IsPlainFileName(name);
}

// ---- files ------------------------------------------------------------------------
// Seconds to wait for a journal lock another process holds:
// $QUILLON_JOURNAL_LOCK_TIMEOUT, 30 when it is unset or empty. A value that
// is not a number of at least 0 is refused, never taken as the default.
double JournalLockTimeout()
{
    const std::string problem = JournalLockTimeoutProblem();
    if (!problem.empty())
        throw EJournalError(problem);
    const char* text = std::getenv("QUILLON_JOURNAL_LOCK_TIMEOUT");
    return text && *text ? std::strtod(text, nullptr) : 30;
}

// An exclusive (or shared) flock on the lock file beside the journal, held for
// the lifetime of the object. Waiting for another process is told after a
// second and given up after JournalLockTimeout().
class TJournalLock {
public:
    TJournalLock(const std::string& journalName, bool exclusive, const TJournalWaitNotice& onWaiting,
                 const TJournalStop& stopped = {})
    {
        TLockWait wait;
        wait.Stopped = stopped;
        wait.TimeoutSeconds = JournalLockTimeout();
        wait.OnWaiting = [&] {
            if (onWaiting)
                onWaiting(JournalWaitingMessage);
        };
        const std::string lockName = journalName + ".lock";
        const int error = lock_.Acquire(lockName, exclusive, wait);
        if (error == 0)
            return;
        if (error == ETIMEDOUT) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", wait.TimeoutSeconds);
            throw EJournalError("the rename journal " + journalName +
                                " is held by another quillon process; gave up waiting after " + seconds + " s");
        }
        if (error == ECANCELED)
            throw EJournalError("stopped while waiting for the rename journal " + journalName);
        if (exclusive)
            throw EJournalError("cannot lock the rename journal " + lockName + ": " + FileErrorText(error));
        // Reading without a lock beats not reading at all.
    }

private:
    TAdvisoryLock lock_;
};

// A descriptor closed with its holder.
struct TFileHandle {
    explicit TFileHandle(int fd) : Fd(fd) {}
    ~TFileHandle()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Fd;
};

std::string DirectoryOf(const std::string& fileName)
{
    std::string directory = std::filesystem::path(fileName).parent_path().string();
    return directory.empty() ? "." : directory;
}

// An intent or outcome record of batch id, with the identity of the file
// identityOf names when that is given and exists.
TJournalRecord FileRecord(TJournalRecordType type, const std::string& id, const std::string& oldName,
                          const std::string& newName, const std::string& identityOf)
{
    TJournalRecord record;
    record.Type = type;
    record.Id = id;
    record.OldName = oldName;
    record.NewName = newName;
    TFileIdentity identity;
    if (!identityOf.empty() && GetFileIdentity(identityOf, identity))
        record.Identity = identity;
    return record;
}

// The batch a record belongs to, for pruning: "" for damaged and blank lines.
std::string RecordId(std::string_view line)
{
    auto record = ParseJournalLine(line);
    return record ? record->Id : std::string();
}

} // namespace

std::string JournalLockTimeoutProblem()
{
    const char* text = std::getenv("QUILLON_JOURNAL_LOCK_TIMEOUT");
    if (!text || !*text)
        return {};
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text, &end);
    // Digits only (no "inf", "nan" or hex), a finite value of at least 0.
    const bool plain = std::all_of(text, text + std::strlen(text),
                                   [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    if (plain && end != text && *end == '\0' && errno == 0 && std::isfinite(seconds) && seconds >= 0)
        return {};
    return std::string("QUILLON_JOURNAL_LOCK_TIMEOUT: expects a number of seconds of at least 0, not '") +
           EscapeText(text) + "'";
}

// ---- paths ------------------------------------------------------------------------
std::string DefaultJournalFileName()
{
    std::string base;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && home[0] ? home : ".") + "/.local/state";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/quillon/journal.jsonl";
}

std::string NormalizeJournalFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(folder.empty() ? "." : folder, error);
    if (error)
        path = folder;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    std::string result = (error ? path.lexically_normal() : canonical).string();
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

// ---- times ---------------------------------------------------------------------------
std::string FormatJournalTime(int64_t unixTime)
{
    std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return buffer;
}

bool ParseJournalTime(std::string_view text, int64_t& unixTime)
{
    // Exactly YYYY-MM-DDTHH:MM:SSZ.
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z')
        return false;
    auto number = [&](size_t at, size_t length, int& value) {
        value = 0;
        for (size_t i = at; i < at + length; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    int year, month, day, hour, minute, second;
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day) || !number(11, 2, hour) ||
        !number(14, 2, minute) || !number(17, 2, second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    unixTime = static_cast<int64_t>(timegm(&parts));
    return true;
}

std::string NewJournalBatchId()
{
    // Seeded per process: a child forked after the first id must not repeat
    // its parent's sequence.
    static std::mt19937_64 generator;
    static pid_t seededFor = 0;
    if (seededFor != ::getpid()) {
        seededFor = ::getpid();
        std::random_device device;
        std::seed_seq seed{device(), device(), static_cast<unsigned>(seededFor),
                           static_cast<unsigned>(std::time(nullptr))};
        generator.seed(seed);
    }
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02dT%02d%02d%02dZ-%08x", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<unsigned>(generator() & 0xFFFFFFFFu));
    return buffer;
}

// ---- records -------------------------------------------------------------------------
std::optional<TJournalRecord> ParseJournalLine(std::string_view line)
{
    ordered_json value = ordered_json::parse(line.begin(), line.end(), nullptr, false);
    if (value.is_discarded() || !value.is_object())
        return std::nullopt;
    TJournalRecord record;
    std::string type;
    if (!GetJournalText(value, "type", type) || !GetJournalText(value, "id", record.Id) || record.Id.empty())
        return std::nullopt;
    if (type == "batch") {
        record.Type = TJournalRecordType::Batch;
        if (!GetJournalText(value, "time", record.Time) || !ParseJournalTime(record.Time, record.UnixTime) ||
            !GetJournalText(value, "kind", record.Kind) || !GetJournalText(value, "source", record.Source, false) || !GetJournalText(value, "undoes", record.Undoes, false))
            return std::nullopt;
        if (record.Kind != "rename" && record.Kind != "undo")
            return std::nullopt;
        if (record.Kind == "undo" && record.Undoes.empty())
            return std::nullopt;
        auto folder = value.find("folder");
        if (folder == value.end() || !DecodeJournalBytes(*folder, record.Folder))
            return std::nullopt;
        if (record.Folder.empty() || record.Folder[0] != '/' || record.Folder.find('\0') != std::string::npos)
            return std::nullopt;
        auto files = value.find("files");
        if (files == value.end() || !files->is_array())
            return std::nullopt;
        record.Files.reserve(files->size());
        for (const auto& pair : *files) {
            if (!pair.is_array() || pair.size() != 2)
                return std::nullopt;
            std::string oldName, newName;
            if (!DecodeName(pair[0], oldName) || !DecodeName(pair[1], newName))
                return std::nullopt;
            record.Files.emplace_back(std::move(oldName), std::move(newName));
        }
    } else if (type == "intent" || type == "outcome") {
        record.Type = type == "intent" ? TJournalRecordType::Intent : TJournalRecordType::Outcome;
        auto oldName = value.find("old");
        auto newName = value.find("new");
        if (oldName == value.end() || newName == value.end() || !DecodeName(*oldName, record.OldName) ||
            !DecodeName(*newName, record.NewName))
            return std::nullopt;
        auto identity = value.find("file");
        if (identity != value.end()) {
            record.Identity.emplace();
            if (!DecodeJournalIdentity(*identity, *record.Identity))
                return std::nullopt;
        }
        if (record.Type == TJournalRecordType::Outcome) {
            auto renamed = value.find("renamed");
            if (renamed == value.end() || !renamed->is_boolean())
                return std::nullopt;
            record.Renamed = renamed->get<bool>();
            if (!GetJournalText(value, "reason", record.Reason, false))
                return std::nullopt;
        }
    } else if (type == "end") {
        record.Type = TJournalRecordType::End;
    } else {
        return std::nullopt;
    }
    return record;
}

// Lines are written by hand rather than through a JSON object: a batch writes
// two records per file, and building a JSON tree for each would cost more than
// the rename itself. ParseJournalLine reads them back (the fuzz target checks
// that every record survives the round trip).
namespace {

void AppendField(std::string& out, const char* key)
{
    if (out.size() > 1)
        out += ',';
    out += '"';
    out += key;
    out += "\":";
}

} // namespace

std::string FormatJournalLine(const TJournalRecord& record)
{
    std::string out;
    out.reserve(96 + record.OldName.size() + record.NewName.size() + record.Files.size() * 64);
    out += '{';
    auto text = [&](const char* key, std::string_view value) {
        AppendField(out, key);
        AppendJsonString(out, IsValidUtf8(value) ? value : std::string_view("(not UTF-8)"));
    };
    switch (record.Type) {
    case TJournalRecordType::Batch:
        text("type", "batch");
        text("id", record.Id);
        text("time", record.Time);
        text("kind", record.Kind);
        if (!record.Source.empty())
            text("source", record.Source);
        AppendField(out, "folder");
        AppendJournalBytes(out, record.Folder);
        if (!record.Undoes.empty())
            text("undoes", record.Undoes);
        AppendField(out, "files");
        out += '[';
        for (size_t i = 0; i < record.Files.size(); ++i) {
            if (i > 0)
                out += ',';
            out += '[';
            AppendJournalBytes(out, record.Files[i].first);
            out += ',';
            AppendJournalBytes(out, record.Files[i].second);
            out += ']';
        }
        out += ']';
        break;
    case TJournalRecordType::Intent:
    case TJournalRecordType::Outcome:
        text("type", record.Type == TJournalRecordType::Intent ? "intent" : "outcome");
        text("id", record.Id);
        AppendField(out, "old");
        AppendJournalBytes(out, record.OldName);
        AppendField(out, "new");
        AppendJournalBytes(out, record.NewName);
        if (record.Type == TJournalRecordType::Outcome) {
            AppendField(out, "renamed");
            out += record.Renamed ? "true" : "false";
            if (!record.Reason.empty())
                text("reason", record.Reason);
        }
        if (record.Identity) {
            const TFileIdentity& f = *record.Identity;
            AppendField(out, "file");
            AppendJournalIdentity(out, f);
        }
        break;
    case TJournalRecordType::End:
        text("type", "end");
        text("id", record.Id);
        break;
    }
    out += '}';
    return out;
}

// ---- reading -------------------------------------------------------------------------
int TJournalBatch::Count(TJournalFileState state) const
{
    return static_cast<int>(std::count_if(Files.begin(), Files.end(),
                                          [&](const TJournalFileEntry& f) { return f.State == state; }));
}

// One batch built from its records in journal order.
class TRenameJournalTraits::Builder {
public:
    Builder(TJournalRecord&& head, size_t number)
    {
        batch_.Id = std::move(head.Id);
        batch_.Time = std::move(head.Time);
        batch_.UnixTime = head.UnixTime;
        batch_.Kind = std::move(head.Kind);
        batch_.Source = std::move(head.Source);
        batch_.Folder = std::move(head.Folder);
        batch_.Undoes = std::move(head.Undoes);
        batch_.FirstLine = number;
        batch_.LineCount = 1;
        for (auto& [oldName, newName] : head.Files) {
            byOldName_.emplace(oldName, batch_.Files.size());
            order_.push_back(NotWorkedOn + batch_.Files.size());
            batch_.Files.push_back({std::move(oldName), std::move(newName), TJournalFileState::Planned, {}, {}});
        }
    }
    bool Add(TJournalRecord&& record)
    {
        ++batch_.LineCount;
        if (record.Type == TJournalRecordType::End) {
            batch_.Ended = true;
            return true;
        }
        auto file = byOldName_.find(record.OldName);
        size_t index;
        if (file == byOldName_.end() || batch_.Files[file->second].NewName != record.NewName) {
            // Not planned as such: keep it anyway, it names a file the batch touched.
            index = batch_.Files.size();
            byOldName_.emplace(record.OldName, index);
            order_.push_back(NotWorkedOn + index);
            batch_.Files.push_back({record.OldName, record.NewName, TJournalFileState::Planned, {}, {}});
        } else {
            index = file->second;
        }
        TJournalFileEntry& entry = batch_.Files[index];
        if (order_[index] >= NotWorkedOn)
            order_[index] = ++sequence_;
        if (record.Type == TJournalRecordType::Intent) {
            if (entry.State == TJournalFileState::Planned)
                entry.State = TJournalFileState::Attempted;
            if (!entry.Identity)
                entry.Identity = record.Identity;
        } else {
            entry.State = record.Renamed ? TJournalFileState::Renamed : TJournalFileState::Failed;
            entry.Reason = std::move(record.Reason);
            if (record.Renamed && record.Identity)
                entry.Identity = record.Identity;
        }
        return true;
    }

    // The files in the order they were worked on, those only planned last.
    TJournalBatch Finish()
    {
        std::vector<size_t> indexes(batch_.Files.size());
        for (size_t i = 0; i < indexes.size(); ++i)
            indexes[i] = i;
        std::stable_sort(indexes.begin(), indexes.end(), [&](size_t x, size_t y) { return order_[x] < order_[y]; });
        std::vector<TJournalFileEntry> files;
        files.reserve(indexes.size());
        for (size_t i : indexes)
            files.push_back(std::move(batch_.Files[i]));
        batch_.Files = std::move(files);
        return std::move(batch_);
    }

private:
    static constexpr uint64_t NotWorkedOn = uint64_t(1) << 62;
    TJournalBatch batch_;
    std::unordered_map<std::string, size_t> byOldName_;
    std::vector<uint64_t> order_; // sequence of the first intent/outcome, or planned position
    uint64_t sequence_ = 0;
};

std::optional<TJournalRecord> TRenameJournalTraits::Parse(std::string_view line)
{
    return ParseJournalLine(line);
}

namespace {

TJournalContents ContentsOf(TJournalBatches<TRenameJournalTraits>&& read)
{
    return {std::move(read.Batches), std::move(read.DamagedLines), read.LineCount};
}

} // namespace

TJournalContents ParseJournal(std::string_view text)
{
    TJournalLinesForward lines{TJournalBytes(text)};
    TJournalBatches<TRenameJournalTraits> read;
    ReadJournalBatches(lines, read);
    return ContentsOf(std::move(read));
}

TJournalContents ReadJournal(const std::string& fileName, const TJournalWaitNotice& onWaiting,
                             const TJournalStop& stopped)
{
    TJournalLock lock(fileName, false, onWaiting, stopped);
    TFileHandle file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Fd < 0) {
        if (errno == ENOENT)
            return {};
        throw EJournalError("cannot read the rename journal " + fileName + ": " + FileErrorText(errno));
    }
    TJournalLinesForward lines{TJournalBytes(file.Fd)};
    TJournalBatches<TRenameJournalTraits> read;
    if (const int error = ReadJournalBatches(lines, read))
        throw EJournalError("cannot read the rename journal " + fileName + ": " + FileErrorText(error));
    return ContentsOf(std::move(read));
}

struct TJournalBackwardReader::TImpl {
    // The lock is held only while the journal is opened and its size taken:
    // records appended later lie past that size, and a trim renames a new
    // file over the journal, leaving the one open here as it was. So a
    // reader left waiting (history into a pager) never holds up a writer.
    TImpl(const std::string& name, const TJournalWaitNotice& onWaiting, const TJournalStop& stopped)
        : fileName(name), lock(std::in_place, name, false, onWaiting, stopped),
          file(::open(name.c_str(), O_RDONLY | O_CLOEXEC)), fd(file.Fd), batches(TJournalBytes(fd, SizeOf(fd)))
    {
        if (fd < 0 && errno != ENOENT)
            throw EJournalError("cannot read the rename journal " + name + ": " + FileErrorText(errno));
        lock.reset();
    }
    static int64_t SizeOf(int fd)
    {
        struct stat info{};
        return fd >= 0 && ::fstat(fd, &info) == 0 ? info.st_size : -1;
    }
    explicit TImpl(int openFd) : file(-1), fd(openFd), batches(TJournalBytes(openFd)) {}
    std::string fileName;
    std::optional<TJournalLock> lock;
    TFileHandle file;
    int fd;
    TJournalBatchesBackward<TRenameJournalTraits> batches;
};

TJournalBackwardReader::TJournalBackwardReader(const std::string& fileName, const TJournalWaitNotice& onWaiting,
                                               const TJournalStop& stopped)
    : impl_(std::make_unique<TImpl>(fileName, onWaiting, stopped))
{
}

TJournalBackwardReader::TJournalBackwardReader(int fd) : impl_(std::make_unique<TImpl>(fd)) {}

TJournalBackwardReader::~TJournalBackwardReader() = default;

bool TJournalBackwardReader::Previous(TJournalBatch& batch)
{
    if (impl_->fd < 0)
        return false; // no journal yet
    if (impl_->batches.Previous(batch))
        return true;
    if (const int error = impl_->batches.Error())
        throw EJournalError("cannot read the rename journal " + impl_->fileName + ": " + FileErrorText(error));
    return false;
}

std::vector<size_t> TJournalBackwardReader::DamagedLines()
{
    return impl_->fd < 0 ? std::vector<size_t>() : impl_->batches.DamagedLines();
}

uint64_t TJournalBackwardReader::LastBytes() const
{
    return impl_->batches.LastBytes();
}

std::vector<std::string> DamagedLineMessages(const std::string& fileName, const TJournalContents& contents)
{
    return DamagedLineMessages(fileName, contents.DamagedLines);
}

std::vector<std::string> DamagedLineMessages(const std::string& fileName, const std::vector<size_t>& lines)
{
    std::vector<std::string> messages;
    for (size_t line : lines)
        messages.push_back("rename journal " + fileName + ": line " + std::to_string(line) +
                           " is damaged and was skipped");
    return messages;
}

// ---- writing -------------------------------------------------------------------------
TRenameJournal::TRenameJournal(std::string fileName, TJournalLimits limits)
    : fileName_(std::move(fileName)), limits_(limits)
{
}

TRenameJournal::~TRenameJournal()
{
    if (!buffer_.empty()) {
        try {
            Flush(false);
        } catch (const std::exception&) {
        }
    }
    if (fd_ >= 0)
        ::close(fd_);
}

std::vector<std::string> TRenameJournal::TakeWarnings()
{
    std::vector<std::string> taken;
    taken.swap(warnings_);
    return taken;
}

void TRenameJournal::Warn(const std::string& message)
{
    warnings_.push_back(message);
    if (OnWarning)
        OnWarning(message);
}

void TRenameJournal::BeginBatch(const std::string& folder, const TNamePairs& planned)
{
    if (inBatch_)
        EndBatch();
    std::string undoes = std::move(undoes_);
    undoes_.clear();
    batchId_.clear();
    // A rename batch with nothing planned has nothing to take back; an undo is
    // recorded even when it restores nothing, so that it is not run twice.
    if (planned.empty() && undoes.empty())
        return;

    std::error_code error;
    std::string directory = DirectoryOf(fileName_);
    std::filesystem::create_directories(directory, error);
    if (error)
        throw EJournalError("cannot write the rename journal " + fileName_ + ": " + error.message());

    TJournalRecord record;
    record.Type = TJournalRecordType::Batch;
    record.Id = NewJournalBatchId();
    record.UnixTime = static_cast<int64_t>(std::time(nullptr));
    record.Time = FormatJournalTime(record.UnixTime);
    record.Kind = undoes.empty() ? "rename" : "undo";
    record.Source = source_;
    record.Folder = NormalizeJournalFolder(folder);
    record.Undoes = undoes;
    record.Files = planned;

    buffer_.clear();
    buffered_ = 0;
    {
        TJournalLock lock(fileName_, true, OnWaiting, Stopped);
        try {
            PruneLocked();
        } catch (const std::exception& e) {
            Warn(e.what());
        }
    }
    buffer_ = FormatJournalLine(record) + '\n';
    Flush(true, Stopped); // throws: the batch does not start
    batchId_ = record.Id;
    folder_ = record.Folder == "/" ? record.Folder : record.Folder + '/';
    inBatch_ = true;
}

void TRenameJournal::Append(const std::string& line)
{
    buffer_ += line;
    buffer_ += '\n';
    ++buffered_;
}

void TRenameJournal::RecordIntent(const std::string& oldName, const std::string& newName)
{
    if (!inBatch_)
        return;
    Append(FormatJournalLine(FileRecord(TJournalRecordType::Intent, batchId_, oldName, newName, folder_ + oldName)));
    if (buffered_ >= FlushEvery)
        Flush(false);
}

void TRenameJournal::RecordOutcome(const std::string& oldName, const std::string& newName, bool renamed,
                                   const std::string& reason)
{
    if (!inBatch_)
        return;
    TJournalRecord record =
        FileRecord(TJournalRecordType::Outcome, batchId_, oldName, newName, renamed ? folder_ + newName : std::string());
    record.Renamed = renamed;
    record.Reason = reason;
    Append(FormatJournalLine(record));
    if (buffered_ >= FlushEvery) {
        try {
            Flush(false);
        } catch (const std::exception& e) {
            Warn(e.what());
        }
    }
}

void TRenameJournal::EndBatch()
{
    if (!inBatch_)
        return;
    inBatch_ = false;
    TJournalRecord record;
    record.Type = TJournalRecordType::End;
    record.Id = batchId_;
    Append(FormatJournalLine(record));
    try {
        Flush(true);
    } catch (const std::exception& e) {
        Warn(e.what());
    }
}

void TRenameJournal::Flush(bool sync, const TJournalStop& stopped)
{
    if (buffer_.empty() && !sync)
        return;
    auto fail = [&](int error) -> void {
        throw EJournalError("cannot write the rename journal " + fileName_ + ": " + FileErrorText(error));
    };
    TJournalLock lock(fileName_, true, OnWaiting, stopped);
    // Another process may have pruned the journal (a new file renamed over the
    // old one) since this one was opened: append to the file the name holds now.
    struct stat byName{}, byHandle{};
    bool created = false;
    if (fd_ >= 0) {
        if (::stat(fileName_.c_str(), &byName) != 0 || ::fstat(fd_, &byHandle) != 0 ||
            byName.st_ino != byHandle.st_ino || byName.st_dev != byHandle.st_dev) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ < 0) {
        created = ::access(fileName_.c_str(), F_OK) != 0;
        fd_ = ::open(fileName_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0)
            fail(errno);
    }
    // A writer killed mid-line leaves a line without its break: end it first.
    if (::fstat(fd_, &byHandle) != 0)
        fail(errno);
    std::string data;
    const std::string* out = &buffer_;
    if (byHandle.st_size > 0) {
        char last = '\n';
        if (::pread(fd_, &last, 1, byHandle.st_size - 1) != 1)
            fail(errno);
        if (last != '\n') {
            data = '\n' + buffer_;
            out = &data;
        }
    }
    if (!WriteAll(fd_, out->data(), out->size()))
        fail(errno);
    if (sync && ::fdatasync(fd_) != 0)
        fail(errno);
    if (created)
        SyncFolderOf(fileName_);
    buffer_.clear();
    buffered_ = 0;
}

void TRenameJournal::PruneLocked()
{
    TJournalTrim trim;
    trim.What = "rename journal";
    trim.Limits = limits_;
    trim.OldestTime = [](std::string_view line) -> std::optional<int64_t> {
        auto record = ParseJournalLine(line);
        if (!record || record->Type != TJournalRecordType::Batch)
            return std::nullopt;
        return record->UnixTime;
    };
    trim.IdOf = RecordId;
    trim.Batches = RenameJournalTrimBatches;
    trim.Warn = [this](const std::string& message) { Warn(message); };
    if (TrimJournalLocked(fileName_, trim) && fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool TrimJournalLocked(const std::string& fileName, const TJournalTrim& trim)
{
    struct stat info {};
    if (::stat(fileName.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return false;
        throw EJournalError("cannot read the " + trim.What + " " + fileName + ": " + FileErrorText(errno));
    }
    const int64_t cutoff = static_cast<int64_t>(std::time(nullptr)) - trim.Limits.MaxAgeSeconds;
    const bool tooBig = static_cast<uint64_t>(info.st_size) > trim.Limits.MaxBytes;
    if (!tooBig) {
        // The oldest batch comes first: its time decides whether anything is
        // too old. Only the start of the file is read for it.
        const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        TFileHandle file(fd);
        if (fd >= 0) {
            TJournalLinesForward lines{TJournalBytes(fd), 0, 1 << 20};
            TJournalLine line;
            for (int n = 0; n < 16 && lines.Next(line); ++n) {
                if (line.TooLong)
                    continue;
                if (std::optional<int64_t> time = trim.OldestTime(line.Text)) {
                    if (*time >= cutoff)
                        return false;
                    break;
                }
            }
        }
        // Else damaged lines come first: the whole journal is looked at.
    }
    auto cannotRead = [&](int error) {
        throw EJournalError("cannot read the " + trim.What + " " + fileName + ": " + FileErrorText(error));
    };
    TFileHandle file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Fd < 0) {
        if (errno == ENOENT)
            return false;
        cannotRead(errno);
    }
    std::vector<size_t> damagedLines;
    std::vector<TJournalTrimBatch> batches;
    if (const int error = trim.Batches(file.Fd, batches, damagedLines))
        cannotRead(error);
    // Which batches may go: every batch but the open ones and the newest few
    // that are no undo; an undo batch goes with the batch it took back (or
    // when that is no longer in the journal).
    std::unordered_map<std::string, uint64_t> bytes;
    for (const TJournalTrimBatch& batch : batches)
        bytes[batch.Id] += batch.Bytes;
    std::unordered_set<std::string> keep;
    for (const TJournalTrimBatch& batch : batches)
        if (batch.Open)
            keep.insert(batch.Id);
    size_t newest = 0;
    for (auto it = batches.rbegin(); it != batches.rend() && newest < trim.Limits.KeepNewest; ++it)
        if (it->Undoes.empty()) {
            keep.insert(it->Id);
            ++newest;
        }
    std::unordered_set<std::string> present;
    for (const TJournalTrimBatch& batch : batches)
        present.insert(batch.Id);
    auto kept = [&](const TJournalTrimBatch& batch) {
        return keep.count(batch.Id) || (!batch.Undoes.empty() && present.count(batch.Undoes) && keep.count(batch.Undoes));
    };
    uint64_t size = 0;
    for (const TJournalTrimBatch& batch : batches)
        size += bytes[batch.Id];
    std::unordered_set<std::string> dropped;
    for (const TJournalTrimBatch& batch : batches) {
        if (kept(batch))
            continue;
        if (!batch.Undoes.empty() && present.count(batch.Undoes)) {
            // Goes when its batch goes (that batch comes earlier in the journal).
            if (!dropped.count(batch.Undoes))
                continue;
        } else if (!(batch.UnixTime < cutoff || size > trim.Limits.MaxBytes)) {
            continue;
        }
        dropped.insert(batch.Id);
        size -= bytes[batch.Id];
    }
    if (dropped.empty() && damagedLines.empty())
        return false; // everything is still needed: nothing to rewrite
    if (!damagedLines.empty()) {
        // Keep the damaged journal as it was before anything of it is lost.
        const std::string aside = fileName + ".damaged-" + NewJournalBatchId();
        std::string keptAs;
        if (const int error = KeepFileAside(fileName, aside, TKeepAside::Copy, keptAs))
            throw EJournalError("cannot keep the damaged " + trim.What + " " + fileName + " aside as " + aside + ": " +
                                FileErrorText(error));
        for (size_t line : damagedLines)
            trim.Warn(trim.What + " " + fileName + ": line " + std::to_string(line) + " is damaged and was skipped");
        trim.Warn(trim.What + " " + fileName + ": kept as it was in " + keptAs);
    }

    // A new, uniquely named file beside the journal takes the result, a
    // slice at a time, and replaces the journal in one rename; a failure
    // leaves the journal as it was.
    auto cannotWrite = [&](int error) {
        throw EJournalError("cannot rewrite the " + trim.What + " " + fileName + ": " + FileErrorText(error));
    };
    int error = 0;
    std::unique_ptr<TAtomicOutputFile> output = TAtomicOutputFile::Create(fileName, error);
    if (!output)
        cannotWrite(error);
    TFileHandle out(::open(output->TempPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (out.Fd < 0)
        cannotWrite(errno);
    std::string slice;
    TJournalLinesForward lines{TJournalBytes(file.Fd)};
    TJournalLine line;
    while (lines.Next(line)) {
        if (line.TooLong || IsBlankJournalLine(line.Text))
            continue;
        std::string id = trim.IdOf(line.Text);
        if (id.empty() || !present.count(id) || dropped.count(id))
            continue;
        slice.append(line.Text);
        slice += '\n';
        if (slice.size() >= (1u << 20)) {
            if (!WriteAll(out.Fd, slice.data(), slice.size()))
                cannotWrite(errno);
            slice.clear();
        }
    }
    if (lines.Error())
        cannotRead(lines.Error());
    if (!WriteAll(out.Fd, slice.data(), slice.size()))
        cannotWrite(errno);
    const int fd = out.Fd;
    out.Fd = -1;
    if (::close(fd) != 0)
        cannotWrite(errno);
    try {
        output->Commit();
    } catch (const EInOutError& e) {
        cannotWrite(e.ErrorCode);
    }
    return true;
}
