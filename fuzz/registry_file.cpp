// SPDX-License-Identifier: GPL-3.0-or-later
// Registry file parser: any bytes either parse or are refused with a message;
// a parsed file serialises to text that parses back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>

#include "runtime/Registry.h"
#include "runtime/SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    TRegistryFile file("HKEY_CURRENT_USER");
    std::string error;
    if (!file.Parse(text, error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    const std::string once = file.Serialize();
    TRegistryFile again("HKEY_CURRENT_USER");
    if (!again.Parse(once, error))
        std::abort();
    if (again.Serialize() != once)
        std::abort();
    // Every key is found again (names compare without regard to ASCII case);
    // through a set, so that a file of many keys costs no more than it parses.
    std::unordered_set<std::string> names;
    for (const TRegistryKey& key : again.Keys)
        names.insert(UpperCase(key.Path));
    for (const TRegistryKey& key : file.Keys)
        if (!names.count(UpperCase(key.Path)))
            std::abort();
    return 0;
}
