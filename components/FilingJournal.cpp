// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FilingJournal.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "components/Journal.h"
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

bool DecodePath(const ordered_json& value, std::string& path)
{
    if (value.is_string()) {
        path = value.get<std::string>();
    } else if (value.is_object() && value.size() == 1 && value.contains("hex") && value["hex"].is_string()) {
        const std::string& hex = value["hex"].get_ref<const std::string&>();
        if (hex.size() % 2 != 0)
            return false;
        path.clear();
        for (size_t i = 0; i < hex.size(); i += 2) {
            const int byte = HexByte(hex[i], hex[i + 1]);
            if (byte < 0)
                return false;
            path += static_cast<char>(byte);
        }
    } else {
        return false;
    }
    // Absolute, no NUL, no empty, "." or ".." folder, no trailing '/' (but "/").
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

bool GetText(const ordered_json& object, const char* key, std::string& out, bool required)
{
    auto it = object.find(key);
    if (it == object.end())
        return !required;
    if (!it->is_string())
        return false;
    out = it->get<std::string>();
    return true;
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

bool DecodeIdentity(const ordered_json& value, TFileIdentity& identity)
{
    if (!value.is_object() || value.size() != 4)
        return false;
    for (const char* key : {"dev", "ino"})
        if (!value.contains(key) || !value[key].is_number_unsigned())
            return false;
    for (const char* key : {"size", "mtime"})
        if (!value.contains(key) || !value[key].is_number_integer() ||
            (value[key].is_number_unsigned() && value[key].get<uint64_t>() > uint64_t(INT64_MAX)))
            return false;
    identity.Device = value["dev"].get<uint64_t>();
    identity.Inode = value["ino"].get<uint64_t>();
    identity.Size = value["size"].get<int64_t>();
    identity.ModifiedNs = value["mtime"].get<int64_t>();
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

// A text as a JSON string: valid UTF-8 as it is (quotes, backslashes and
// control characters escaped); ParseFilingLine reads it back.
void AppendJsonText(std::string& out, std::string_view text)
{
    out += '"';
    for (char ch : text) {
        const unsigned char u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (u < 0x20) {
            out += "\\u00";
            AppendHexByte(out, u);
        } else {
            out += ch;
        }
    }
    out += '"';
}

void AppendPath(std::string& out, const std::string& path)
{
    if (IsValidUtf8(path)) {
        AppendJsonText(out, path);
        return;
    }
    out += "{\"hex\":\"";
    for (unsigned char u : path)
        AppendHexByte(out, u);
    out += "\"}";
}

std::string FormatStepLine(const TFilingRecord& r)
{
    std::string out;
    out.reserve(160 + r.Old.size() + r.New.size() + r.Temp.size());
    out += "{\"type\":\"step\",\"id\":";
    AppendJsonText(out, Utf8OrReplacement(r.Id));
    out += ",\"old\":";
    AppendPath(out, r.Old);
    out += ",\"new\":";
    AppendPath(out, r.New);
    out += ",\"step\":";
    AppendJsonText(out, Utf8OrReplacement(r.Step));
    if (!r.Temp.empty()) {
        out += ",\"temp\":";
        AppendPath(out, r.Temp);
    }
    if (r.Identity)
        out += ",\"file\":{\"dev\":" + std::to_string(r.Identity->Device) + ",\"ino\":" +
               std::to_string(r.Identity->Inode) + ",\"size\":" + std::to_string(r.Identity->Size) +
               ",\"mtime\":" + std::to_string(r.Identity->ModifiedNs) + "}";
    if (!r.Reason.empty()) {
        out += ",\"reason\":";
        AppendJsonText(out, Utf8OrReplacement(r.Reason));
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
    if (!GetText(value, "type", type, true) || !GetText(value, "id", r.Id, true) || r.Id.empty())
        return std::nullopt;
    if (type == "batch") {
        r.Type = TFilingRecordType::Batch;
        if (!GetText(value, "time", r.Time, true) || !ParseJournalTime(r.Time, r.UnixTime) ||
            !GetText(value, "kind", r.Kind, true) || !GetText(value, "undoes", r.Undoes, false) ||
            !GetText(value, "boot", r.Boot, false) || !GetInteger(value, "pid", r.Pid) ||
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
            !DecodePath(value["new"], r.New) || !GetText(value, "step", r.Step, true) || !IsStepName(r.Step) ||
            !OptionalPath(value, "temp", r.Temp) || !GetText(value, "reason", r.Reason, false))
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
            if (!DecodeIdentity(*file, *r.Identity))
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

TFilingJournalContents ParseFilingJournal(std::string_view Text)
{
    TFilingJournalContents contents;
    std::unordered_map<std::string, size_t> byId;
    std::vector<std::unordered_map<std::string, size_t>> byOld;
    size_t number = 0;
    for (size_t start = 0; start < Text.size();) {
        size_t end = Text.find('\n', start);
        if (end == std::string_view::npos)
            end = Text.size();
        std::string_view line = Text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos)
            continue;
        auto record = ParseFilingLine(line);
        if (!record) {
            contents.DamagedLines.push_back(number);
            continue;
        }
        if (record->Type == TFilingRecordType::Batch) {
            if (byId.count(record->Id)) {
                contents.DamagedLines.push_back(number);
                continue;
            }
            TFilingBatch batch;
            std::unordered_map<std::string, size_t> index;
            for (auto& [oldPath, newPath] : record->Files) {
                index.emplace(oldPath, batch.Files.size());
                TFilingFile file;
                file.Old = std::move(oldPath);
                file.New = std::move(newPath);
                batch.Files.push_back(std::move(file));
            }
            record->Files.clear();
            batch.Head = std::move(*record);
            byId.emplace(batch.Head.Id, contents.Batches.size());
            contents.Batches.push_back(std::move(batch));
            byOld.push_back(std::move(index));
            continue;
        }
        auto found = byId.find(record->Id);
        if (found == byId.end())
            continue;
        TFilingBatch& batch = contents.Batches[found->second];
        if (record->Type == TFilingRecordType::End) {
            batch.Ended = true;
            batch.Recovered = record->Recovered;
        } else if (record->Type == TFilingRecordType::Dir) {
            batch.Dirs.push_back(record->Path);
        } else {
            auto& index = byOld[found->second];
            auto file = index.find(record->Old);
            if (file == index.end() || batch.Files[file->second].New != record->New) {
                contents.DamagedLines.push_back(number); // a step for a file the batch did not plan
                continue;
            }
            TFilingFile& f = batch.Files[file->second];
            f.Step = record->Step;
            if (!record->Temp.empty())
                f.Temp = record->Temp;
            if (record->Step == "intent" || record->Step == "copy")
                f.Source = record->Identity;
            else if (record->Step == "copied")
                f.Copy = record->Identity;
            else if (record->Step == "moved")
                f.Moved = record->Identity;
            else if (record->Step == "failed")
                f.Reason = record->Reason;
        }
    }
    return contents;
}

TFilingJournalContents ReadFilingJournal(const std::string& FileName)
{
    std::string text;
    {
        TAdvisoryLock lock;
        lock.Acquire(FileName + ".lock", false); // reading without it beats not reading
        if (const int error = ReadWholeFile(FileName, text)) {
            if (error == ENOENT)
                return {};
            throw EJournalError("cannot read the filing journal " + FileName + ": " + FileErrorText(error));
        }
    }
    return ParseFilingJournal(text);
}

TFilingJournal::TFilingJournal(std::string FileName) : fileName_(std::move(FileName)) {}

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
