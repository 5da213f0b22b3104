// Fuzzes TMapping: every setter with arbitrary values (NaN, infinities,
// zero and negative sizes included), in any order, and both transforms.
// Input: a sequence of records, each an opcode byte and its operand.
#include <cstdint>
#include <cstring>

#include "mapping/vkqMapping.h"

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
        op %= 20;
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
        }
    }
    return 0;
}
