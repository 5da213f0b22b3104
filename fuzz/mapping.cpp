// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes TMapping: every setter with arbitrary values (NaN, infinities,
// zero and negative sizes included), in any order, both transforms per point
// and over arrays (which must agree exactly), and the map SPEC parser.
// Input: a sequence of records, each an opcode byte and its operand.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "mapping/MapBuilder.h"
#include "mapping/Mapping.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    bool Take(void* out, size_t size)
    {
        if (n < size)
            return false;
        std::memcpy(out, p, size);
        p += size;
        n -= size;
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMapping map;
    TMapping copy;
    Reader r{data, size};
    uint8_t op;
    int steps = 0;
    while (steps++ < 4096 && r.Take(&op, 1)) {
        op %= 22;
        float f = 0, g = 0;
        int32_t i = 0, j = 0;
        switch (op) {
        case 0: if (r.Take(&op, 1)) map.SetProjection(op); break;
        case 1: if (r.Take(&i, 4)) map.SetHeight(i); break;
        case 2: if (r.Take(&i, 4)) map.SetWidth(i); break;
        case 3: if (r.Take(&f, 4)) map.SetLatitudeSpan(f); break;
        case 4: if (r.Take(&f, 4)) map.SetLongitudeSpan(f); break;
        case 5: if (r.Take(&f, 4)) map.SetCentreLongitude(f); break;
        case 6: if (r.Take(&f, 4)) map.SetCentreLatitude(f); break;
        case 7: if (r.Take(&f, 4)) map.SetStandardParallel1(f); break;
        case 8: if (r.Take(&f, 4)) map.SetStandardParallel2(f); break;
        case 9: if (r.Take(&i, 4)) map.SetOffsetX(i); break;
        case 10: if (r.Take(&i, 4)) map.SetOffsetY(i); break;
        case 11: if (r.Take(&op, 1)) map.Sector = op; break;
        case 12: if (r.Take(&f, 4)) map.Rotation = f; break;
        case 13:
        case 14:
            if (r.Take(&f, 4) && r.Take(&g, 4)) {
                int32_t x = 0, y = 0;
                map.GeoToPixel(f, g, x, y);
                double fx, fy;
                map.ProjectPoint(f, g, fx, fy);
            }
            break;
        case 15:
        case 16:
            if (r.Take(&i, 4) && r.Take(&j, 4)) {
                float lon = 0, lat = 0;
                if (map.PixelToGeo(i, j, lon, lat)) {
                    int32_t x = 0, y = 0;
                    map.GeoToPixel(lon, lat, x, y);
                }
            }
            break;
        case 17: copy.Assign(&map); break;
        case 18: map.CopyFrom(&copy); break;
        case 19:
            if (r.Take(&f, 4) && r.Take(&g, 4)) {
                map.MapToSector(f, g);
                map.SectorToMap(f, g);
                float d;
                GreatCircleDistance(d, f, g, map.CentreLongitude, map.CentreLatitude);
                MercatorY(f);
                InverseMercatorY(g);
            }
            break;
        case 20: {
            // Up to 8 points through the array forms and the per-point ones.
            float lon[8], lat[8], outLon[8] = {}, outLat[8] = {};
            int32_t x[8] = {}, y[8] = {}, px[8], py[8];
            uint8_t flag[8], n = 0;
            if (!r.Take(&n, 1))
                break;
            n %= 9;
            for (uint8_t k = 0; k < n; ++k)
                if (!r.Take(&lon[k], 4) || !r.Take(&lat[k], 4) || !r.Take(&px[k], 4) || !r.Take(&py[k], 4))
                    return 0;
            map.GeoToPixel({lon, n}, {lat, n}, {x, n}, {y, n}, {flag, n});
            for (uint8_t k = 0; k < n; ++k) {
                int32_t ex = 0, ey = 0;
                if (map.GeoToPixel(lon[k], lat[k], ex, ey) != bool(flag[k]) || ex != x[k] || ey != y[k])
                    std::abort();
            }
            map.PixelToGeo({px, n}, {py, n}, {outLon, n}, {outLat, n}, {flag, n});
            for (uint8_t k = 0; k < n; ++k) {
                float el = 0, ea = 0;
                if (map.PixelToGeo(px[k], py[k], el, ea) != bool(flag[k]) ||
                    std::memcmp(&el, &outLon[k], 4) != 0 || std::memcmp(&ea, &outLat[k], 4) != 0)
                    std::abort();
            }
            break;
        }
        case 21: {
            // A SPEC of up to 64 bytes, built onto the map when it is good.
            uint8_t len = 0;
            if (!r.Take(&len, 1))
                break;
            len %= 65;
            std::string mapText(len, '\0');
            if (!r.Take(mapText.data(), len))
                return 0;
            TMapSettings settings;
            std::string error;
            if (ParseMapSpec(mapText, settings, error))
                BuildMapFromSettings(settings, nullptr, map, error);
            break;
        }
        }
    }
    return 0;
}
