// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture on one map redrawn on another: every target pixel goes through
// the target map's PixelToGeo, then the source map's GeoToPixel, and takes
// the colour found there in the source picture.
#include <functional>
#include <stdexcept>

#include "mapping/Mapping.h"
#include "runtime/Graphics.h"

enum class TResample : uint8_t {
    Nearest,  // the source pixel GeoToPixel gives
    Bilinear, // the four source pixels around the unrounded position, weighted
};

struct TWarpOptions {
    TResample Resample = TResample::Nearest;
    TColor Background = clBlack; // for pixels that do not convert, are not visible or fall outside the source
    int Threads = 0;             // rows are split over this many threads; 0: one per core
    // Called now and then on the calling thread with the rows done so far.
    std::function<void(int RowsDone, int Rows)> Progress;
};

// Why a warp cannot be done: the message says what is wrong.
class EWarpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Draws Source, a picture of From's size, onto Target, made a new 24-bit
// bitmap of To's size. Raises EWarpError when Source does not have From's
// size, when To has no inverse (kinds 0 and 8) or From has no forward
// transform (kind 0). Target holds the result only when the call returns.
void WarpBitmap(const TMapping& From, const TBitmap& Source, const TMapping& To, TBitmap& Target,
                const TWarpOptions& Options);
