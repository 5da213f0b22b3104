// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/VersionBlock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/ByteOrder.h"
#include "runtime/Text.h"

namespace {

// ---- little helpers over bytes -----------------------------------------------

std::uint16_t Get16(const std::uint8_t* p, bool bigEndian = false) { return bigEndian ? GetBE16(p) : GetLE16(p); }

std::uint32_t Get32(const std::uint8_t* p, bool bigEndian = false) { return bigEndian ? GetBE32(p) : GetLE32(p); }

std::uint64_t Get64(const std::uint8_t* p, bool bigEndian = false)
{
    std::uint64_t lo = Get32(p + (bigEndian ? 4 : 0), bigEndian);
    std::uint64_t hi = Get32(p + (bigEndian ? 0 : 4), bigEndian);
    return hi << 32 | lo;
}

bool Read16(const TByteSource& s, std::uint64_t at, std::uint16_t& v, bool be = false)
{
    std::uint8_t b[2];
    if (!s.Read(at, b, 2))
        return false;
    v = Get16(b, be);
    return true;
}

bool Read32(const TByteSource& s, std::uint64_t at, std::uint32_t& v, bool be = false)
{
    std::uint8_t b[4];
    if (!s.Read(at, b, 4))
        return false;
    v = Get32(b, be);
    return true;
}

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t(3); }

// Reads the candidate block at offset and trims it to its root length.
bool TakeBlock(const TByteSource& s, std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t>& block)
{
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, MaxVersionBlockSize));
    if (n < 6)
        return false;
    std::vector<std::uint8_t> bytes(n);
    if (!s.Read(offset, bytes.data(), n))
        return false;
    std::uint16_t length = Get16(bytes.data());
    if (length < 6 || length > n)
        return false;
    bytes.resize(length);
    block = std::move(bytes);
    return true;
}

// ---- the block's node structure -------------------------------------------------

struct Node {
    std::size_t End = 0;           // one past the node's last byte
    std::string Key;               // as UTF-8
    std::size_t ValueStart = 0;
    std::size_t ValueLength = 0;   // in bytes, within the node
    std::size_t ChildrenStart = 0;
};

// Parses the node at start; nothing at or beyond limit is read.
bool ParseNode(std::span<const std::uint8_t> block, std::size_t start, std::size_t limit, Node& node)
{
    if (limit > block.size() || start > limit || limit - start < 6)
        return false;
    const std::uint8_t* p = block.data();
    std::size_t length = Get16(p + start);
    std::size_t valueLength = Get16(p + start + 2);
    std::uint16_t type = Get16(p + start + 4);
    if (length < 6)
        return false;
    node.End = std::min(start + length, limit);

    std::size_t keyStart = start + 6, pos = keyStart;
    while (true) {
        if (pos + 2 > node.End)
            return false; // key without its terminating zero
        if (Get16(p + pos) == 0)
            break;
        pos += 2;
    }
    node.Key = VersionStringFromUtf16(block.subspan(keyStart, pos - keyStart));

    node.ValueStart = std::min(Align4(pos + 2), node.End);
    std::size_t stated = type == 1 ? valueLength * 2 : valueLength;
    node.ValueLength = std::min(stated, node.End - node.ValueStart);
    node.ChildrenStart = std::min(Align4(node.ValueStart + stated), node.End);
    return true;
}

bool SameKey(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x -= 32;
        if (y >= 'a' && y <= 'z')
            y -= 32;
        if (x != y)
            return false;
    }
    return true;
}

// ---- writing ---------------------------------------------------------------------

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.resize(out.size() + 2);
    PutLE16(out.data() + out.size() - 2, v);
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.resize(out.size() + 4);
    PutLE32(out.data() + out.size() - 4, v);
}

void Set16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) { PutLE16(&out[at], v); }

void Set32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) { PutLE32(&out[at], v); }

void PadTo4(std::vector<std::uint8_t>& out)
{
    while (out.size() % 4)
        out.push_back(0);
}

// UTF-8 text to UTF-16 code units (invalid bytes become U+FFFD).
std::vector<std::uint16_t> ToUtf16(std::string_view s)
{
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp = NextUtf8CodePoint(s, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(std::uint16_t(0xD800 + (cp >> 10)));
            units.push_back(std::uint16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            units.push_back(std::uint16_t(cp));
        }
    }
    return units;
}

// Starts a node: returns its offset; the length is patched by EndNode.
std::size_t BeginNode(std::vector<std::uint8_t>& out, std::string_view key, std::uint16_t valueLength, std::uint16_t type)
{
    PadTo4(out);
    std::size_t start = out.size();
    Put16(out, 0);
    Put16(out, valueLength);
    Put16(out, type);
    for (std::uint16_t u : ToUtf16(key))
        Put16(out, u);
    Put16(out, 0);
    PadTo4(out);
    return start;
}

void EndNode(std::vector<std::uint8_t>& out, std::size_t start)
{
    Set16(out, start, std::uint16_t(out.size() - start));
}

} // namespace

bool TMemoryByteSource::Read(std::uint64_t offset, void* buffer, std::size_t count) const
{
    if (offset > bytes_.size() || count > bytes_.size() - offset)
        return false;
    if (count)
        std::memcpy(buffer, bytes_.data() + offset, count);
    return true;
}

std::string VersionStringFromUtf16(std::span<const std::uint8_t> bytes)
{
    std::string out;
    std::size_t n = bytes.size() / 2;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t cp = Get16(bytes.data() + 2 * i);
        if (cp == 0)
            break;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n) {
            std::uint32_t lo = Get16(bytes.data() + 2 * (i + 1));
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

bool VerQueryValue(std::span<std::uint8_t> block, std::string_view subBlock, std::span<std::uint8_t>& value)
{
    std::span<const std::uint8_t> found;
    if (!VerQueryValue(std::span<const std::uint8_t>(block), subBlock, found))
        return false;
    value = block.subspan(std::size_t(found.data() - block.data()), found.size());
    return true;
}

bool VerQueryValue(std::span<const std::uint8_t> block, std::string_view subBlock, std::span<const std::uint8_t>& value)
{
    Node node;
    if (!ParseNode(block, 0, block.size(), node))
        return false;
    std::size_t pos = 0;
    while (pos < subBlock.size()) {
        while (pos < subBlock.size() && subBlock[pos] == '\\')
            ++pos;
        if (pos == subBlock.size())
            break;
        std::size_t end = subBlock.find('\\', pos);
        if (end == std::string_view::npos)
            end = subBlock.size();
        std::string_view name = subBlock.substr(pos, end - pos);
        pos = end;

        bool found = false;
        std::size_t child = node.ChildrenStart;
        while (child < node.End) {
            Node c;
            if (!ParseNode(block, child, node.End, c))
                break;
            if (SameKey(c.Key, name)) {
                node = c;
                found = true;
                break;
            }
            child = Align4(c.End); // every node is at least 6 bytes: always moves on
        }
        if (!found)
            return false;
    }
    value = block.subspan(node.ValueStart, node.ValueLength);
    return true;
}

// ---- PE ----------------------------------------------------------------------------

namespace {

struct Section {
    std::uint32_t VirtualAddress, VirtualSize, RawSize, RawOffset;
};

bool RvaToOffset(const std::vector<Section>& sections, std::uint32_t rva, std::uint64_t& offset, std::uint64_t& available)
{
    for (const Section& s : sections) {
        std::uint64_t span = std::max(s.VirtualSize, s.RawSize);
        if (rva >= s.VirtualAddress && rva - std::uint64_t(s.VirtualAddress) < span) {
            std::uint64_t delta = rva - std::uint64_t(s.VirtualAddress);
            if (delta >= s.RawSize)
                return false; // lies in the zero-filled tail: not in the file
            offset = std::uint64_t(s.RawOffset) + delta;
            available = s.RawSize - delta;
            return true;
        }
    }
    return false;
}

// One entry of a resource directory: its id (or name flag) and its target.
struct ResEntry {
    std::uint32_t Name, Target;
};

bool ReadResDirectory(const TByteSource& s, const std::vector<Section>& sections, std::uint32_t rva,
                      std::vector<ResEntry>& entries)
{
    std::uint64_t off, avail;
    if (!RvaToOffset(sections, rva, off, avail))
        return false;
    std::uint16_t named, ids;
    if (!Read16(s, off + 12, named) || !Read16(s, off + 14, ids))
        return false;
    std::size_t count = std::size_t(named) + ids;
    entries.clear();
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t name, target;
        if (!Read32(s, off + 16 + 8 * i, name) || !Read32(s, off + 16 + 8 * i + 4, target))
            return false;
        entries.push_back({name, target});
    }
    return true;
}

} // namespace

bool FindPEVersionBlock(const TByteSource& s, std::vector<std::uint8_t>& block)
{
    std::uint16_t mz;
    if (!Read16(s, 0, mz) || mz != 0x5A4D)
        return false;
    std::uint32_t peOffset, signature;
    if (!Read32(s, 0x3C, peOffset) || !Read32(s, peOffset, signature) || signature != 0x00004550)
        return false;
    std::uint64_t coff = std::uint64_t(peOffset) + 4;
    std::uint16_t sectionCount, optionalSize, magic;
    if (!Read16(s, coff + 2, sectionCount) || !Read16(s, coff + 16, optionalSize))
        return false;
    std::uint64_t optional = coff + 20;
    if (!Read16(s, optional, magic))
        return false;
    std::uint64_t countAt, dirsAt;
    if (magic == 0x10B)
        countAt = 92, dirsAt = 96;
    else if (magic == 0x20B)
        countAt = 108, dirsAt = 112;
    else
        return false;
    std::uint32_t dirCount, resourceRva, resourceSize;
    if (!Read32(s, optional + countAt, dirCount) || dirCount < 3 || dirsAt + 3 * 8 > optionalSize)
        return false;
    if (!Read32(s, optional + dirsAt + 16, resourceRva) || !Read32(s, optional + dirsAt + 20, resourceSize))
        return false;
    if (resourceRva == 0)
        return false;

    std::vector<Section> sections;
    std::uint64_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        std::uint8_t h[40];
        if (!s.Read(table + 40ull * i, h, sizeof h))
            return false;
        sections.push_back({Get32(h + 12), Get32(h + 8), Get32(h + 16), Get32(h + 20)});
    }

    // Type RT_VERSION (16), then the first name, then the first language.
    std::vector<ResEntry> entries;
    if (!ReadResDirectory(s, sections, resourceRva, entries))
        return false;
    std::uint32_t next = 0;
    bool found = false;
    for (const ResEntry& e : entries)
        if (!(e.Name & 0x80000000u) && e.Name == 16 && (e.Target & 0x80000000u)) {
            next = e.Target & 0x7FFFFFFFu;
            found = true;
            break;
        }
    for (int level = 0; found && level < 2; ++level) {
        if (!ReadResDirectory(s, sections, resourceRva + next, entries))
            return false;
        found = false;
        for (const ResEntry& e : entries) {
            bool isDirectory = e.Target & 0x80000000u;
            if (isDirectory == (level == 0)) {
                next = e.Target & 0x7FFFFFFFu;
                found = true;
                break;
            }
        }
    }
    if (!found)
        return false;
    std::uint64_t entryOffset, avail;
    std::uint32_t dataRva, dataSize;
    if (!RvaToOffset(sections, resourceRva + next, entryOffset, avail) ||
        !Read32(s, entryOffset, dataRva) || !Read32(s, entryOffset + 4, dataSize))
        return false;
    std::uint64_t dataOffset;
    if (!RvaToOffset(sections, dataRva, dataOffset, avail))
        return false;
    return TakeBlock(s, dataOffset, std::min<std::uint64_t>(dataSize, avail), block);
}

// ---- ELF ---------------------------------------------------------------------------

bool FindELFVersionBlock(const TByteSource& s, std::vector<std::uint8_t>& block)
{
    std::uint8_t ident[16];
    if (!s.Read(0, ident, sizeof ident) || std::memcmp(ident, "\x7F" "ELF", 4) != 0)
        return false;
    bool is64 = ident[4] == 2;
    if (ident[4] != 1 && !is64)
        return false;
    if (ident[5] != 1 && ident[5] != 2)
        return false;
    bool be = ident[5] == 2;

    std::uint8_t header[64];
    if (!s.Read(0, header, is64 ? 64 : 52))
        return false;
    std::uint64_t shoff = is64 ? Get64(header + 0x28, be) : Get32(header + 0x20, be);
    std::uint16_t entsize = Get16(header + (is64 ? 0x3A : 0x2E), be);
    std::uint64_t count = Get16(header + (is64 ? 0x3C : 0x30), be);
    std::uint32_t strndx = Get16(header + (is64 ? 0x3E : 0x32), be);
    if (shoff == 0 || entsize < (is64 ? 64 : 40))
        return false;

    struct Sh {
        std::uint32_t Name, Type, Link;
        std::uint64_t Offset, Size;
    };
    auto readSh = [&](std::uint64_t index, Sh& sh) {
        std::uint8_t h[64];
        if (index > (std::uint64_t(-1) - shoff) / entsize || !s.Read(shoff + index * entsize, h, is64 ? 64 : 40))
            return false;
        sh.Name = Get32(h, be);
        sh.Type = Get32(h + 4, be);
        sh.Offset = is64 ? Get64(h + 24, be) : Get32(h + 16, be);
        sh.Size = is64 ? Get64(h + 32, be) : Get32(h + 20, be);
        sh.Link = Get32(h + (is64 ? 40 : 24), be);
        return true;
    };
    // Extended numbering: the real counts sit in section 0.
    if (count == 0 || strndx == 0xFFFF) {
        Sh zero;
        if (!readSh(0, zero))
            return false;
        if (count == 0)
            count = zero.Size;
        if (strndx == 0xFFFF)
            strndx = zero.Link;
    }
    count = std::min<std::uint64_t>(count, 0x10000);
    Sh strtab;
    if (strndx >= count || !readSh(strndx, strtab) || strtab.Type == 8 /* SHT_NOBITS */)
        return false;

    const std::string_view wanted = VersionSectionName;
    for (std::uint64_t i = 0; i < count; ++i) {
        Sh sh;
        if (!readSh(i, sh))
            return false;
        if (sh.Type == 8 || sh.Name >= strtab.Size || strtab.Size - sh.Name < wanted.size() + 1)
            continue;
        char name[32];
        if (!s.Read(strtab.Offset + sh.Name, name, wanted.size() + 1))
            continue;
        if (std::string_view(name, wanted.size()) == wanted && name[wanted.size()] == '\0')
            return TakeBlock(s, sh.Offset, sh.Size, block);
    }
    return false;
}

bool FindVersionBlock(const TByteSource& source, std::vector<std::uint8_t>& block)
{
    std::uint8_t magic[4];
    if (!source.Read(0, magic, 4))
        return false;
    if (magic[0] == 'M' && magic[1] == 'Z')
        return FindPEVersionBlock(source, block);
    if (std::memcmp(magic, "\x7F" "ELF", 4) == 0)
        return FindELFVersionBlock(source, block);
    return false;
}

namespace {

class TFileByteSource : public TByteSource {
public:
    TFileByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) const override
    {
        if (offset > size_ || count > size_ - offset)
            return false;
        auto* p = static_cast<char*>(buffer);
        while (count > 0) {
            ssize_t n = ::pread(fd_, p, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            offset += std::uint64_t(n);
            count -= std::size_t(n);
        }
        return true;
    }

private:
    int fd_;
    std::uint64_t size_;
};

} // namespace

std::vector<std::uint8_t> ReadFileVersionBlock(const std::string& fileName)
{
    std::vector<std::uint8_t> block;
    // O_NONBLOCK: opening a FIFO must not hang; only regular files are read.
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return block;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        TFileByteSource source(fd, static_cast<std::uint64_t>(st.st_size));
        if (!FindVersionBlock(source, block))
            block.clear();
    }
    ::close(fd);
    return block;
}

// ---- building ---------------------------------------------------------------------

std::vector<std::uint8_t> BuildVersionBlock(const TVersionBlockSpec& layout)
{
    std::vector<std::uint8_t> out;
    std::size_t root = BeginNode(out, "VS_VERSION_INFO", layout.HasFixedInfo ? 52 : 0, 0);
    if (layout.HasFixedInfo) {
        Put32(out, 0xFEEF04BD);
        Put32(out, 0x00010000);
        Put32(out, layout.FileVersionMS);
        Put32(out, layout.FileVersionLS);
        Put32(out, layout.ProductVersionMS);
        Put32(out, layout.ProductVersionLS);
        Put32(out, layout.FileFlagsMask);
        Put32(out, layout.FileFlags);
        Put32(out, layout.FileOS);
        Put32(out, layout.FileType);
        Put32(out, layout.FileSubtype);
        Put32(out, 0);
        Put32(out, 0);
    }
    if (!layout.StringTables.empty()) {
        std::size_t sfi = BeginNode(out, "StringFileInfo", 0, 1);
        for (const TVersionStringTable& table : layout.StringTables) {
            std::size_t st = BeginNode(out, table.Id, 0, 1);
            for (const auto& [key, text] : table.Values) {
                std::vector<std::uint16_t> units = ToUtf16(text);
                std::size_t str = BeginNode(out, key, std::uint16_t(units.size() + 1), 1);
                for (std::uint16_t u : units)
                    Put16(out, u);
                Put16(out, 0);
                EndNode(out, str);
            }
            EndNode(out, st);
        }
        EndNode(out, sfi);
    }
    if (layout.HasVarFileInfo) {
        std::size_t vfi = BeginNode(out, "VarFileInfo", 0, 1);
        std::size_t var = BeginNode(out, "Translation", std::uint16_t(4 * layout.Translations.size()), 0);
        for (const auto& [language, codePage] : layout.Translations) {
            Put16(out, language);
            Put16(out, codePage);
        }
        EndNode(out, var);
        EndNode(out, vfi);
    }
    EndNode(out, root);
    return out;
}

std::vector<std::uint8_t> BuildPEWithVersionBlock(std::span<const std::uint8_t> block, bool pe64)
{
    const std::uint32_t fileAlign = 0x200, rsrcRva = 0x1000;
    const std::uint16_t optionalSize = pe64 ? 240 : 224;
    std::vector<std::uint8_t> out(0x80, 0);
    out[0] = 'M', out[1] = 'Z';
    Set32(out, 0x3C, 0x80);
    Put32(out, 0x00004550);
    // COFF header
    Put16(out, pe64 ? 0x8664 : 0x014C);
    Put16(out, 1);          // one section
    Put32(out, 0);          // time stamp
    Put32(out, 0);
    Put32(out, 0);
    Put16(out, optionalSize);
    Put16(out, 0x0102);     // executable image, 32-bit machine
    // Optional header: only the fields a loader's resource lookup needs are set.
    std::size_t optional = out.size();
    out.resize(optional + optionalSize, 0);
    Set16(out, optional, pe64 ? 0x20B : 0x10B);
    std::size_t countAt = optional + (pe64 ? 108 : 92), dirs = optional + (pe64 ? 112 : 96);
    Set32(out, countAt, 16);
    // Section table: ".rsrc"
    std::size_t section = out.size();
    out.resize(section + 40, 0);
    std::memcpy(out.data() + section, ".rsrc", 5);

    // The resource section: type directory -> name directory -> language
    // directory -> data entry -> the block.
    std::vector<std::uint8_t> rsrc;
    auto directory = [&](std::uint32_t id, std::uint32_t target) {
        Put32(rsrc, 0);
        Put32(rsrc, 0);
        Put16(rsrc, 0);
        Put16(rsrc, 0);
        Put16(rsrc, 0); // named entries
        Put16(rsrc, 1); // id entries
        Put32(rsrc, id);
        Put32(rsrc, target);
    };
    directory(16, 0x80000000u | 24);
    directory(1, 0x80000000u | 48);
    directory(0x0409, 72);
    Put32(rsrc, rsrcRva + 88); // data RVA
    Put32(rsrc, std::uint32_t(block.size()));
    Put32(rsrc, 0);
    Put32(rsrc, 0);
    PadTo4(rsrc);
    rsrc.insert(rsrc.end(), block.begin(), block.end());
    PadTo4(rsrc);

    std::uint32_t rawSize = std::uint32_t((rsrc.size() + fileAlign - 1) / fileAlign * fileAlign);
    Set32(out, dirs + 16, rsrcRva);
    Set32(out, dirs + 20, std::uint32_t(rsrc.size()));
    Set32(out, section + 8, std::uint32_t(rsrc.size()));
    Set32(out, section + 12, rsrcRva);
    Set32(out, section + 16, rawSize);
    Set32(out, section + 20, fileAlign);
    Set32(out, section + 36, 0x40000040); // initialised data, readable
    out.resize(fileAlign, 0);
    out.insert(out.end(), rsrc.begin(), rsrc.end());
    out.resize(fileAlign + rawSize, 0);
    return out;
}

std::vector<std::uint8_t> BuildELFWithVersionBlock(std::span<const std::uint8_t> block)
{
    // Layout: ELF header, the block, the section name table, section headers
    // (null, .quillon_version, .shstrtab).
    std::vector<std::uint8_t> out(64, 0);
    std::memcpy(out.data(), "\x7F" "ELF", 4);
    out[4] = 2, out[5] = 1, out[6] = 1;
    Set16(out, 16, 1);        // relocatable: no program headers needed
    Set16(out, 18, 62);       // x86-64
    Set32(out, 20, 1);
    Set16(out, 52, 64);       // header size
    Set16(out, 58, 64);       // section header size
    Set16(out, 60, 3);
    Set16(out, 62, 2);
    std::size_t blockAt = out.size();
    out.insert(out.end(), block.begin(), block.end());
    PadTo4(out);
    std::size_t namesAt = out.size();
    const std::string names = std::string("\0", 1) + VersionSectionName + std::string("\0.shstrtab\0", 11);
    out.insert(out.end(), names.begin(), names.end());
    while (out.size() % 8)
        out.push_back(0);
    std::size_t headersAt = out.size();
    Set32(out, 40, std::uint32_t(headersAt)); // e_shoff (low word; the file is small)
    out.resize(headersAt + 3 * 64, 0);
    auto header = [&](int index, std::uint32_t name, std::uint32_t type, std::size_t offset, std::size_t size) {
        std::size_t h = headersAt + 64 * std::size_t(index);
        Set32(out, h, name);
        Set32(out, h + 4, type);
        Set32(out, h + 24, std::uint32_t(offset));
        Set32(out, h + 32, std::uint32_t(size));
    };
    header(1, 1, 1 /* SHT_PROGBITS */, blockAt, block.size());
    header(2, std::uint32_t(1 + std::strlen(VersionSectionName) + 1), 3 /* SHT_STRTAB */, namesAt, names.size());
    return out;
}
