// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform layer under the version resource reader: the VERSIONINFO block
// in its published binary layout (the 32-bit form: UTF-16 keys, 4-byte
// alignment), found in a file and queried by path like the version API does.
//
// Where the block lives:
//   - Windows PE files (.exe, .dll): the resource directory's RT_VERSION entry
//     (first name, first language).
//   - Our own ELF executables: the section named ".quillon_version", which the
//     build fills with the program's block (cmake/QuillonVersionInfo.cmake).
//
// Every read is bounds-checked against the bytes at hand: whatever a file
// holds, nothing outside it, or outside the block, is ever read.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The ELF section that carries a program's version block.
inline constexpr const char* VersionSectionName = ".quillon_version";

// A version block never exceeds what its 16-bit length field can state.
inline constexpr std::size_t MaxVersionBlockSize = 0xFFFF;

// Random-access bytes: a file or memory.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly count bytes at offset; false when they are not all there.
    virtual bool Read(std::uint64_t offset, void* buffer, std::size_t count) const = 0;
};

class TMemoryByteSource : public TByteSource {
public:
    explicit TMemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool Read(std::uint64_t offset, void* buffer, std::size_t count) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

// Finds the version block of a PE file (false when the bytes are no PE file or
// carry no version resource). The block is trimmed to its own length field.
bool FindPEVersionBlock(const TByteSource& source, std::vector<std::uint8_t>& block);
// Finds the version block in the ".quillon_version" section of an ELF file.
bool FindELFVersionBlock(const TByteSource& source, std::vector<std::uint8_t>& block);
// Chooses the locator by the file's magic number.
bool FindVersionBlock(const TByteSource& source, std::vector<std::uint8_t>& block);
// The version block of a file; empty when the file cannot be read (missing,
// not a regular file, no permission) or carries no block.
std::vector<std::uint8_t> ReadFileVersionBlock(const std::string& fileName);

// Looks up a value by path, as VerQueryValue does: "\" is the root's value
// (the fixed file information), "\VarFileInfo\Translation" the translation
// array, "\StringFileInfo\<id>\<key>" a string (UTF-16LE bytes). Keys compare
// without regard to ASCII case. The value refers into block, which it may
// modify.
bool VerQueryValue(std::span<const std::uint8_t> block, std::string_view subBlock,
                   std::span<const std::uint8_t>& value);
bool VerQueryValue(std::span<std::uint8_t> block, std::string_view subBlock,
                   std::span<std::uint8_t>& value);

// UTF-16LE bytes up to the first zero character, as 8-bit text (UTF-8).
std::string VersionStringFromUtf16(std::span<const std::uint8_t> bytes);

// ---- building blocks (the build's generator, tests, fuzz seeds) --------------

struct TVersionStringTable {
    std::string Id; // eight hex digits: language, then code page
    std::vector<std::pair<std::string, std::string>> Values;
};

struct TVersionBlockSpec {
    bool HasFixedInfo = true;
    std::uint32_t FileVersionMS = 0, FileVersionLS = 0;
    std::uint32_t ProductVersionMS = 0, ProductVersionLS = 0;
    std::uint32_t FileFlagsMask = 0x3F, FileFlags = 0;
    std::uint32_t FileOS = 0x00000004;  // VOS__WINDOWS32
    std::uint32_t FileType = 1;         // VFT_APP
    std::uint32_t FileSubtype = 0;
    std::vector<TVersionStringTable> StringTables;
    bool HasVarFileInfo = true;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> Translations; // language, code page
};

std::vector<std::uint8_t> BuildVersionBlock(const TVersionBlockSpec& layout);

// A minimal PE image (one ".rsrc" section) whose resource directory holds the
// block as RT_VERSION #1, language 0x0409. pe64 selects the PE32+ header.
std::vector<std::uint8_t> BuildPEWithVersionBlock(std::span<const std::uint8_t> block, bool pe64);
// A minimal 64-bit little-endian ELF file with the block in ".quillon_version".
std::vector<std::uint8_t> BuildELFWithVersionBlock(std::span<const std::uint8_t> block);
