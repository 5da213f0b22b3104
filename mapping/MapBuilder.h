// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A map built from settings given by name: the MAP-OPTIONS of the map
// commands and the SPEC text of `map warp` ("predefined:N" or
// "kind=K,width=W,height=H[,lon-span=..,...]") fill the same settings, and one
// builder applies them in CopyFrom's order.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mapping/Mapping.h"

// Settings of a map; each is applied only when given.
struct TMapSettings {
    std::optional<int> Predefined, Kind, Sector;
    std::optional<int64_t> Width, Height, OffsetX, OffsetY;
    std::optional<double> LongitudeSpan, LatitudeSpan, CentreLongitude, CentreLatitude, StandardParallel1,
        StandardParallel2, Rotation;
};

// Configures a map as predefined map Index; false for an unknown index.
using TPredefinedMapBuilder = bool (*)(TMapping& Map, int Index);

// Checks Settings and builds Map from them: a predefined map alone, or a
// kind (0-14) with a width and a height of at least 1 and any of the others,
// set in CopyFrom's order (the centre latitude before the parallels, which
// it overwrites; the offsets last, since every other setter resets OffsetX).
// Angles and spans must be finite, the sector 0-13 and the offsets 32-bit.
// False, with Error saying what is wrong, when they are not; Map is then
// untouched.
bool BuildMapFromSettings(const TMapSettings& Settings, TPredefinedMapBuilder Predefined, TMapping& Map,
                          std::string& Error);

// Reads SPEC text into Settings (replacing what they held). False, with
// Error naming the offending part, for an unknown key, a repeated key, a
// value that is not a number, or text that is neither form. The values are
// checked by BuildMapFromSettings.
bool ParseMapSpec(std::string_view Text, TMapSettings& Settings, std::string& Error);
