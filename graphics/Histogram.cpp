// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphics/Histogram.h"

#include <algorithm>

TvkqHistogram::TvkqHistogram(int32_t binCount) : BinCount(binCount)
{
    Bins.assign(static_cast<size_t>(std::max<int32_t>(binCount, 0)), 0);
    Clear();
    LowerLimit = 0.5f;
    UpperLimit = 99.5f;
}

void TvkqHistogram::Clear()
{
    std::fill(Bins.begin(), Bins.end(), 0u);
    FirstCounter = 0;
    SecondCounter = 0;
    Valid = false;
}
