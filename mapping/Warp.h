// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture on one map redrawn on another: every target pixel goes through
// the target map's PixelToGeo, then the source map's GeoToPixel, and takes
// the colour found there in the source picture.
#include <cstddef>
#include <functional>

#include "mapping/Mapping.h"
#include "runtime/Graphics.h"

enum class TResample : uint8_t {
    Nearest,  // the source pixel GeoToPixel gives
    Bilinear, // the four source pixels around the unrounded position, weighted
};

// The most the warp's working buffers take beside the target picture, all
// threads together, whatever the target's width and the thread count: wide
// rows are done in spans, and the spans shrink as threads are added.
constexpr size_t WarpBufferBudget = size_t(4) << 20;

struct TWarpOptions {
    TResample Resample = TResample::Nearest;
    TColor Background = clBlack; // for pixels that do not convert, are not visible or fall outside the source
    int Threads = 0;             // rows are split over this many threads; 0: one per core
    size_t BufferBudget = WarpBufferBudget; // bytes of working buffers, all threads together
    // Called now and then on the calling thread with the rows done so far.
    std::function<void(int RowsDone, int Rows)> Progress;
};

// Why a warp cannot be done: the message says what is wrong.
QUILLON_EXCEPTION(EWarpError, Exception);

// What a warp of a Width x Height target on Threads threads works with: the
// threads it runs (Threads, or one per core for 0, held to the work there
// is and to what Budget allows), the pixels each does at a time, and the
// bytes of working buffers all of them take, at most Budget (but never less
// than one thread's narrowest span).
struct TWarpPlan {
    int Threads = 1;
    int SpanPixels = 0;
    size_t BufferBytes = 0;
};
TWarpPlan PlanWarp(int Width, int Height, int Threads, size_t Budget = WarpBufferBudget);

// Draws Source, a picture of From's size, onto Target, made a new 24-bit
// bitmap of To's size. Raises EWarpError when Source does not have From's
// size, when To has no inverse (kinds 0 and 8), when From has no forward
// transform (kind 0) or when To's size is beyond the picture size policy,
// before anything is allocated. Target holds the result only when the call
// returns.
//
// A source position that rounds to the column (row) just past the source
// picture's edge, while lying within the map's span, takes the edge pixel;
// on a source map whose longitudes go once round the world (kinds 1 and 5,
// and 2, 6 and 14 with a longitude span of 360) columns wrap, so any column
// takes the one a whole turn away.
void WarpBitmap(const TMapping& From, const TBitmap& Source, const TMapping& To, TBitmap& Target,
                const TWarpOptions& Options);
