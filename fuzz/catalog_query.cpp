// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue's query option parsers on any text: a time that parses must
// come back as the same instant through its ISO form, and its end form must
// follow its start; a satellite must be a code of the table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "catalog/CatalogQuery.h"
#include "satellite/SatelliteInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    int64_t start = 0, end = 0;
    const bool a = ParseCatalogTime(text, false, start, error);
    const bool b = ParseCatalogTime(text, true, end, error);
    if (a != b || (a && !(end > start && end - start <= 86400)))
        std::abort();
    if (a) {
        int64_t again = 0;
        if (!ParseCatalogTime(IsoFromSeconds(start), false, again, error) || again != start)
            std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    int code = -1;
    if (ParseSatellite(text, code, error) && (code < 0 || code >= static_cast<int>(SatelliteNames.size())))
        std::abort();
    std::string letters;
    if (ParseImageFormat(text, letters, error) && (letters.empty() || letters.size() > 8))
        std::abort();
    return 0;
}
