// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Standard image segments and area products of the geostationary satellites
// the library knows: each row names a segment (and, for C-format segments, its
// D-format twin) and gives its offsets and size in image samples, its sampling
// scale (1 = the 2500 x 2500 Meteosat infrared full disc) and the longitude of
// the satellite (degrees, east positive). Reference data: nothing in the
// program looks rows up, so the table defines no lookup of its own.
#include <array>
#include <cstdint>
#include <string_view>

struct TASegmentData {
    std::string_view Name;      // may be empty when only AltName is set; a leading '~' is part of it
    std::string_view AltName;   // second name of the same segment; may be empty
    float LineOffset;
    float PixelOffset;
    int32_t Width;
    int32_t Height;
    float Scale;
    float Longitude;
};

constexpr int SegmentCount = 127;
extern const std::array<TASegmentData, SegmentCount> SegmentTable;
