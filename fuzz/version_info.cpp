// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the version block locators (PE resource directory, ELF section) and
// the block parser: whatever the bytes, nothing outside them is read.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "about/VersionBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> bytes(data, size);
    TMemoryByteSource source(bytes);
    std::vector<std::uint8_t> block;
    FindPEVersionBlock(source, block);
    FindELFVersionBlock(source, block);
    if (!FindVersionBlock(source, block))
        block.assign(bytes.begin(), bytes.end()); // the bytes as a block themselves

    static const char* const paths[] = {
        "\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\080904E4\\ProductName",
        "\\StringFileInfo\\040904E4\\Web site", "\\StringFileInfo", "\\\\a\\\\b",
    };
    for (const char* path : paths) {
        std::span<std::uint8_t> value;
        if (VerQueryValue(std::span<std::uint8_t>(block), path, value)) {
            volatile std::size_t n = VersionStringFromUtf16(value).size();
            (void)n;
            for (std::uint8_t& b : value) // values may be written back (translations)
                b ^= 0;
        }
    }
    return 0;
}
