// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TvkqHistogram: a table of per-value counters for image data. Only
// creation, clearing and destruction are used in this program.
#include <cstdint>
#include <vector>

#include "runtime/Classes.h"

class TvkqHistogram : public TObject {
public:
    // BinCount counters (a negative count gives none), cleared; LowerLimit
    // 0.5 and UpperLimit 99.5 (percent).
    explicit TvkqHistogram(int32_t binCount);
    ~TvkqHistogram() override = default;

    // Zeroes every bin, both counters and the valid flag; the limits and the
    // bin count keep their values.
    void Clear();

    int32_t BinCount = 0;
    uint32_t FirstCounter = 0;
    float UpperLimit = 0;
    uint32_t FirstSpare = 0;
    uint32_t SecondCounter = 0;
    float LowerLimit = 0;
    uint32_t SecondSpare = 0;
    bool Valid = false;
    std::vector<uint32_t> Bins;
};
