// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/Registry.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/FileIO.h"
#include "runtime/FileOps.h"
#include "runtime/SysUtils.h"
#include "runtime/Text.h"

namespace {

constexpr size_t MaxRegistryFileSize = 16 * 1024 * 1024;
// Every key below the root is stored with each of its parents, so the cost of
// one key line grows with the square of its depth; the Windows registry stops
// at 512 levels too.
constexpr size_t MaxRegistryKeyDepth = 512;
std::atomic<int> lockTimeoutMs{2000};

// The item whose name (the member Name) is Wanted, without regard to ASCII case.
template <class T>
T* FindNamed(std::vector<T>& items, std::string T::*name, std::string_view wanted)
{
    for (T& item : items)
        if (SameText(item.*name, wanted))
            return &item;
    return nullptr;
}

// ---- writing -----------------------------------------------------------------

std::string QuoteText(std::string_view s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                AppendHexByte(out, c);
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

// Key paths in section headers: control bytes, '%' and ']' are percent-encoded.
std::string EncodeKeyPath(std::string_view s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F || c == '%' || c == ']' || c == '[') {
            out += '%';
            AppendHexByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string HexBytes(std::string_view data)
{
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(data[i]);
        if (i)
            out += ',';
        AppendHexByte(out, c);
    }
    return out;
}

// ---- reading -----------------------------------------------------------------

// Appends the byte that the two hex digits at s[pos] spell and moves pos past
// them; false when there are not two hex digits there.
bool TakeHexByte(std::string_view s, size_t& pos, std::string& out)
{
    if (pos + 2 > s.size())
        return false;
    const int byte = HexByte(s[pos], s[pos + 1]);
    if (byte < 0)
        return false;
    out += static_cast<char>(byte);
    pos += 2;
    return true;
}

// Parses a quoted text at s[pos] (pos at the opening quote); on success pos is
// just past the closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"')
        return false;
    ++pos;
    out.clear();
    while (pos < s.size()) {
        char c = s[pos++];
        if (c == '"')
            return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= s.size())
            return false;
        char e = s[pos++];
        switch (e) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'x':
            if (!TakeHexByte(s, pos, out))
                return false;
            break;
        default:
            return false;
        }
    }
    return false;
}

bool DecodeKeyPath(std::string_view s, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        size_t pos = i + 1;
        if (!TakeHexByte(s, pos, out))
            return false;
        i = pos - 1;
    }
    return true;
}

bool ParseHexList(std::string_view s, std::string& out)
{
    out.clear();
    size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
            ++pos;
    };
    skipBlanks();
    if (pos == s.size())
        return true;
    for (;;) {
        skipBlanks();
        if (!TakeHexByte(s, pos, out))
            return false;
        skipBlanks();
        if (pos == s.size())
            return true;
        if (s[pos] != ',')
            return false;
        ++pos;
    }
}

bool ParseHexNumber(std::string_view s, uint32_t& value)
{
    if (s.empty() || s.size() > 8)
        return false;
    value = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return true;
}

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Splits a path at '\' into its non-empty components; false when a component
// is empty in the middle ("a\\b").
bool SplitPath(std::string_view path, std::vector<std::string_view>& parts)
{
    parts.clear();
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    if (path.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty())
            return false;
        parts.push_back(part);
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

std::string JoinPath(const std::vector<std::string_view>& parts, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            out += '\\';
        out += parts[i];
    }
    return out;
}

// ---- files -------------------------------------------------------------------

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool MakeFolders(const std::string& folder, mode_t mode)
{
    if (folder.empty())
        return false;
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    std::string parent = ExtractFileDir(ExcludeTrailingPathDelimiter(folder));
    if (!parent.empty() && parent != folder && parent != "/")
        MakeFolders(parent, mode);
    return mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

// Moves a file that cannot be parsed out of the way, to a name that is not
// taken yet; never replaces anything.
bool KeepAside(const std::string& fileName)
{
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string keptAs;
    return KeepFileAside(fileName, fileName + ".corrupt-" + stamp, TKeepAside::Move, keptAs) == 0;
}

} // namespace

// ---- TRegistryKey / TRegistryFile --------------------------------------------------

TRegistryValue* TRegistryKey::FindValue(std::string_view Name)
{
    return FindNamed(Values, &TRegistryValue::Name, Name);
}

const TRegistryValue* TRegistryKey::FindValue(std::string_view Name) const
{
    return const_cast<TRegistryKey*>(this)->FindValue(Name);
}

TRegistryKey* TRegistryFile::FindKey(std::string_view Path)
{
    return FindNamed(Keys, &TRegistryKey::Path, Path);
}

const TRegistryKey* TRegistryFile::FindKey(std::string_view Path) const
{
    return const_cast<TRegistryFile*>(this)->FindKey(Path);
}

TRegistryKey& TRegistryFile::CreateKey(std::string_view Path)
{
    std::vector<std::string_view> parts;
    SplitPath(Path, parts);
    TRegistryKey* key = nullptr;
    for (size_t n = 0; n <= parts.size(); ++n) {
        std::string path = JoinPath(parts, n);
        key = FindKey(path);
        if (!key) {
            Keys.push_back(TRegistryKey{path, {}});
            key = &Keys.back();
        }
    }
    return *key;
}

bool TRegistryFile::Parse(std::string_view Text, std::string& Error)
{
    Keys.clear();
    Error.clear();
    auto fail = [&](size_t lineNumber, const std::string& what) {
        Error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    if (Text.size() > MaxRegistryFileSize)
        return fail(0, "file too large");

    // Split into logical lines: a hex list ending in '\' continues on the next.
    std::vector<std::pair<size_t, std::string>> lines;
    {
        size_t pos = 0, number = 0;
        std::string pending;
        size_t pendingLine = 0;
        bool continuing = false;
        while (pos <= Text.size()) {
            size_t end = Text.find('\n', pos);
            if (end == std::string_view::npos)
                end = Text.size();
            std::string_view line = Text.substr(pos, end - pos);
            ++number;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (continuing) {
                pending += TrimBlanks(line);
            } else {
                pending.assign(line);
                pendingLine = number;
            }
            std::string_view trimmed = TrimBlanks(pending);
            // Only a hex list can end in a bare '\' (a quoted text ends in '"').
            continuing = !trimmed.empty() && trimmed.back() == '\\' && trimmed.front() != '[' &&
                         trimmed.front() != ';';
            if (continuing) {
                std::string joined(trimmed.substr(0, trimmed.size() - 1));
                pending = std::move(joined);
            } else {
                lines.emplace_back(pendingLine, std::move(pending));
                pending.clear();
            }
            if (end == Text.size())
                break;
            pos = end + 1;
        }
        if (continuing)
            lines.emplace_back(pendingLine, std::move(pending));
    }

    // Names are looked up through indexes (the upper-cased name to its place),
    // so a file of many keys or values parses in linear time instead of
    // comparing each new name with every earlier one.
    std::unordered_map<std::string, size_t> keyIndex;
    std::vector<std::unordered_map<std::string, size_t>> valueIndex;
    auto createKey = [&](const std::vector<std::string_view>& parts) {
        std::string path, folded; // the parent's path, and the same upper-cased
        size_t at = 0;
        for (size_t n = 0; n <= parts.size(); ++n) {
            if (n > 1) {
                path += '\\';
                folded += '\\';
            }
            if (n > 0) {
                path += parts[n - 1];
                folded += UpperCase(parts[n - 1]);
            }
            auto [found, added] = keyIndex.try_emplace(folded, Keys.size());
            if (added) {
                Keys.push_back(TRegistryKey{path, {}});
                valueIndex.emplace_back();
            }
            at = found->second;
        }
        return at;
    };

    bool header = false;
    TRegistryKey* key = nullptr;
    size_t keyAt = 0;
    for (auto& [number, raw] : lines) {
        std::string_view line = TrimBlanks(raw);
        if (line.empty() || line.front() == ';')
            continue;
        if (!header) {
            if (line != "REGEDIT4")
                return fail(number, "the file does not begin with REGEDIT4");
            header = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2)
                return fail(number, "a key line must end with ']'");
            std::string_view inner = line.substr(1, line.size() - 2);
            if (!inner.empty() && inner.front() == '-')
                return fail(number, "deleting keys is not supported");
            std::string path;
            if (!DecodeKeyPath(inner, path))
                return fail(number, "bad escape in key name");
            size_t slash = path.find('\\');
            std::string root = path.substr(0, slash);
            if (!SameText(root, RootName))
                return fail(number, "key outside " + RootName);
            std::string below = slash == std::string::npos ? std::string() : path.substr(slash + 1);
            std::vector<std::string_view> parts;
            if (!SplitPath(below, parts) || (!below.empty() && (below.front() == '\\' || below.back() == '\\')))
                return fail(number, "empty key name");
            if (parts.size() > MaxRegistryKeyDepth)
                return fail(number, "key nested more than " + std::to_string(MaxRegistryKeyDepth) + " levels deep");
            keyAt = createKey(parts);
            key = &Keys[keyAt];
            continue;
        }
        if (!key)
            return fail(number, "a value before the first key");
        TRegistryValue value;
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, value.Name)) {
            return fail(number, "bad value name");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return fail(number, "'=' expected");
        std::string_view data = TrimBlanks(line.substr(pos + 1));
        if (!data.empty() && data.front() == '"') {
            size_t p = 0;
            if (!ParseQuoted(data, p, value.Data) || p != data.size())
                return fail(number, "bad string value");
            value.Type = REG_SZ;
        } else if (data.substr(0, 6) == "dword:") {
            uint32_t n = 0;
            if (!ParseHexNumber(data.substr(6), n))
                return fail(number, "bad dword value");
            value.Type = REG_DWORD;
            value.Data.clear();
            for (int i = 0; i < 4; ++i)
                value.Data += static_cast<char>((n >> (8 * i)) & 0xFF);
        } else if (data.substr(0, 4) == "hex:") {
            value.Type = REG_BINARY;
            if (!ParseHexList(data.substr(4), value.Data))
                return fail(number, "bad hex value");
        } else if (data.substr(0, 4) == "hex(") {
            size_t close = data.find("):");
            if (close == std::string_view::npos || !ParseHexNumber(data.substr(4, close - 4), value.Type))
                return fail(number, "bad value type");
            if (!ParseHexList(data.substr(close + 2), value.Data))
                return fail(number, "bad hex value");
            // A string value given as bytes is kept as the string it holds.
            if (value.Type == REG_SZ)
                while (!value.Data.empty() && value.Data.back() == '\0')
                    value.Data.pop_back();
        } else {
            return fail(number, "unknown value form");
        }
        auto [found, added] = valueIndex[keyAt].try_emplace(UpperCase(value.Name), key->Values.size());
        if (added)
            key->Values.push_back(std::move(value));
        else
            key->Values[found->second] = std::move(value);
    }
    if (!header)
        return fail(1, "the file does not begin with REGEDIT4");
    return true;
}

std::string TRegistryFile::Serialize() const
{
    std::string out = "REGEDIT4\n";
    for (const TRegistryKey& key : Keys) {
        out += "\n[";
        out += EncodeKeyPath(key.Path.empty() ? RootName : RootName + "\\" + key.Path);
        out += "]\n";
        for (const TRegistryValue& v : key.Values) {
            out += v.Name.empty() ? std::string("@") : QuoteText(v.Name);
            out += '=';
            if (v.Type == REG_SZ) {
                out += QuoteText(v.Data);
            } else if (v.Type == REG_DWORD && v.Data.size() == 4) {
                uint32_t n = 0;
                for (int i = 3; i >= 0; --i)
                    n = n * 256 + static_cast<unsigned char>(v.Data[static_cast<size_t>(i)]);
                char buffer[20];
                std::snprintf(buffer, sizeof buffer, "dword:%08x", n);
                out += buffer;
            } else if (v.Type == REG_BINARY) {
                out += "hex:" + HexBytes(v.Data);
            } else {
                char buffer[20];
                std::snprintf(buffer, sizeof buffer, "hex(%x):", v.Type);
                out += buffer + HexBytes(v.Data);
            }
            out += '\n';
        }
    }
    return out;
}

// ---- locations ---------------------------------------------------------------------

std::string RootKeyName(HKEY Root)
{
    switch (Root) {
    case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    default: return "";
    }
}

std::string RegistryFileName(HKEY Root)
{
    if (RootKeyName(Root).empty())
        return "";
    std::string dir = EnvironmentValue("QUILLON_REGISTRY_DIR");
    if (!dir.empty())
        return IncludeTrailingPathDelimiter(dir) + (Root == HKEY_CURRENT_USER ? "current-user.reg" : "local-machine.reg");
    if (Root == HKEY_LOCAL_MACHINE)
        return "/var/lib/quillon/registry.reg";
    std::string config = EnvironmentValue("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        std::string home = EnvironmentValue("HOME");
        if (home.empty())
            return "";
        config = IncludeTrailingPathDelimiter(home) + ".config";
    }
    return IncludeTrailingPathDelimiter(config) + "quillon/registry.reg";
}

void SetRegistryLockTimeout(int Milliseconds)
{
    lockTimeoutMs = Milliseconds < 0 ? 0 : Milliseconds;
}

// ---- TRegistry ---------------------------------------------------------------------

void TRegistry::SetRootKey(HKEY Value)
{
    CloseKey();
    rootKey_ = Value;
}

void TRegistry::CloseKey()
{
    keyOpen_ = false;
    currentPath_.clear();
}

std::string TRegistry::Resolve(const std::string& Key) const
{
    std::string path;
    if (!Key.empty() && Key.front() == '\\')
        path = Key;
    else if (keyOpen_)
        path = currentPath_ + "\\" + Key;
    else
        path = Key;
    std::vector<std::string_view> parts;
    if (!SplitPath(path, parts))
        return "\\";   // an empty component: no key has that name
    return JoinPath(parts, parts.size());
}

bool TRegistry::Load(TRegistryFile& File) const
{
    std::string fileName = RegistryFileName(rootKey_);
    if (fileName.empty())
        return false;
    std::string text;
    int error = ReadWholeFile(fileName, text, MaxRegistryFileSize);
    if (error == ENOENT)
        return true;
    if (error != 0) {
        lastError_ = "cannot read " + fileName + ": " + FileErrorText(error);
        return false;
    }
    std::string parseError;
    if (!File.Parse(text, parseError)) {
        File.Keys.clear();   // a file that cannot be parsed reads as empty
        return true;
    }
    return true;
}

template <class Change>
bool TRegistry::Modify(Change change, std::string& Error)
{
    std::string fileName = RegistryFileName(rootKey_);
    if (fileName.empty()) {
        Error = "no registry file for this root";
        return false;
    }
    const bool user = rootKey_ == HKEY_CURRENT_USER;
    if (!MakeFolders(ExtractFileDir(fileName), user ? 0700 : 0755)) {
        Error = "cannot create the folder of " + fileName;
        return false;
    }
    TAdvisoryLock lock;
    TLockWait wait;
    wait.TimeoutSeconds = lockTimeoutMs.load() / 1000.0;
    if (int lockError = lock.Acquire(fileName + ".lock", true, wait)) {
        Error = fileName + " is locked: " + FileErrorText(lockError == ETIMEDOUT ? EWOULDBLOCK : lockError);
        return false;
    }
    TRegistryFile file(RootKeyName(rootKey_));
    std::string text;
    int error = ReadWholeFile(fileName, text, MaxRegistryFileSize);
    if (error != 0 && error != ENOENT) {
        Error = "cannot read " + fileName + ": " + FileErrorText(error);
        return false;
    }
    // A file without write permission is left alone, also for a user (such as
    // root) whom the system would let replace it anyway.
    struct stat st {};
    if (error == 0 && (access(fileName.c_str(), W_OK) != 0 ||
                       (stat(fileName.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0))) {
        Error = fileName + " is read-only";
        return false;
    }
    std::string parseError;
    if (error == 0 && !file.Parse(text, parseError)) {
        if (!KeepAside(fileName)) {
            Error = fileName + " cannot be parsed (" + parseError + ") nor kept aside";
            return false;
        }
        file.Keys.clear();
    }
    if (!change(file)) {
        Error = "nothing to change";
        return false;
    }
    // The whole file is written anew beside the old one, then renamed over it.
    error = ReplaceFileContents(fileName, file.Serialize(), user ? 0600 : 0644);
    if (error != 0) {
        Error = "cannot write " + fileName + ": " + FileErrorText(error);
        return false;
    }
    return true;
}

bool TRegistry::KeyExists(const std::string& Key) const
{
    TRegistryFile file(RootKeyName(rootKey_));
    return Load(file) && file.FindKey(Resolve(Key)) != nullptr;
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate)
{
    std::string path = Resolve(Key);
    if (path == "\\")
        return false;
    TRegistryFile file(RootKeyName(rootKey_));
    if (!Load(file))
        return false;
    if (!file.FindKey(path)) {
        if (!CanCreate || (Access & KEY_CREATE_SUB_KEY) == 0)
            return false;
        std::string error;
        if (!Modify([&](TRegistryFile& f) { f.CreateKey(path); return true; }, error)) {
            lastError_ = error;
            return false;
        }
    }
    keyOpen_ = true;
    currentPath_ = "\\" + path;
    if (path.empty())
        currentPath_.clear();
    return true;
}

bool TRegistry::ValueExists(const std::string& Name) const
{
    TRegistryFile file(RootKeyName(rootKey_));
    if (!Load(file))
        return false;
    const TRegistryKey* key = file.FindKey(Resolve(""));
    return key && key->FindValue(Name);
}

std::string TRegistry::ReadString(const std::string& Name) const
{
    if ((Access & KEY_QUERY_VALUE) == 0)
        throw ERegistryException("No read access to the registry value '" + Name + "'");
    TRegistryFile file(RootKeyName(rootKey_));
    if (!Load(file))
        return "";
    const TRegistryKey* key = file.FindKey(Resolve(""));
    const TRegistryValue* value = key ? key->FindValue(Name) : nullptr;
    if (!value)
        return "";
    if (value->Type != REG_SZ && value->Type != REG_EXPAND_SZ)
        throw ERegistryException("Invalid data type for '" + Name + "'");
    std::string text = value->Data;
    if (value->Type == REG_EXPAND_SZ)
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
    return text;
}

void TRegistry::WriteValue(const std::string& Name, uint32_t Type, const std::string& Data)
{
    if ((Access & KEY_SET_VALUE) == 0)
        throw ERegistryException("No write access to the registry value '" + Name + "'");
    const std::string path = Resolve("");
    std::string error;
    bool ok = Modify(
        [&](TRegistryFile& f) {
            // The open key may have been removed by a corrupt file kept aside;
            // it comes back with the value.
            TRegistryKey& key = f.CreateKey(path);
            if (TRegistryValue* v = key.FindValue(Name)) {
                v->Type = Type;
                v->Data = Data;
            } else {
                key.Values.push_back(TRegistryValue{Name, Type, Data});
            }
            return true;
        },
        error);
    if (!ok)
        throw ERegistryException("Failed to set data for '" + Name + "': " + error);
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value)
{
    WriteValue(Name, REG_SZ, Value);
}

bool TRegistry::DeleteValue(const std::string& Name)
{
    if ((Access & KEY_SET_VALUE) == 0)
        return false;
    const std::string path = Resolve("");
    std::string error;
    return Modify(
        [&](TRegistryFile& f) {
            TRegistryKey* key = f.FindKey(path);
            TRegistryValue* value = key ? key->FindValue(Name) : nullptr;
            if (!value)
                return false;
            key->Values.erase(key->Values.begin() + (value - key->Values.data()));
            return true;
        },
        error);
}
