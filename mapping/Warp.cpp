// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapping/Warp.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "mapping/ProjectionKinds.h"

namespace {

struct TRgb {
    uint8_t b, g, r; // as a 24-bit bitmap holds them
};

// Bytes of working buffer per pixel of a span (see TSpanBuffers).
constexpr size_t BytesPerSpanPixel = 4 * sizeof(int32_t) + 2 * sizeof(float) + 2 * sizeof(uint8_t) +
                                     2 * sizeof(double) + sizeof(TMapping::TProjectResult);
// The narrowest span worth a pass through the transforms.
constexpr int MinSpanPixels = 16;

// One worker's buffers for a span of a row, allocated once.
struct TSpanBuffers {
    std::vector<int32_t> xs, ys, sx, sy;
    std::vector<float> lon, lat;
    std::vector<uint8_t> converted, visible;
    std::vector<double> fx, fy;
    std::vector<TMapping::TProjectResult> projected;

    explicit TSpanBuffers(size_t w)
        : xs(w), ys(w), sx(w), sy(w), lon(w), lat(w), converted(w), visible(w), fx(w), fy(w), projected(w)
    {
    }
};

// True when the map's columns go once round the world, so that column
// Width is column 0 again.
bool ColumnsWrap(const TMapping& m)
{
    switch (m.Projection) {
    case pkCylindricalFull:
    case pkMercatorFull: return true;
    case pkCylindricalZoomed:
    case pkMercatorZoomed:
    case pkLinearBased: return std::fabs(m.LongitudeSpan) == 360.0f;
    default: return false;
    }
}

class TWarper {
public:
    TWarper(const TMapping& from, const TBitmap& source, const TMapping& to, TBitmap& target, const TWarpOptions& o)
        : from_(from), source_(source), to_(to), target_(target), o_(o), sw_(source.Width()), sh_(source.Height()),
          wrap_(ColumnsWrap(from)), insideOnly_(KindTraits(from.Projection).VisibleInsideOnly),
          ox_(from.GetOffsetX()), oy_(from.GetOffsetY()),
          background_{GetBValue(o.Background), GetGValue(o.Background), GetRValue(o.Background)}
    {
        // The source's rows, looked up once rather than per pixel.
        rows_.reserve(static_cast<size_t>(std::max(sh_, 0)));
        for (int y = 0; y < sh_; ++y)
            rows_.push_back(reinterpret_cast<const TRgb*>(source_.ScanLine(y)));
    }

    // Target pixels first .. first + count - 1 of row y.
    void Span(int y, int first, int count, TSpanBuffers& b)
    {
        const size_t n = static_cast<size_t>(count);
        TRgb* out = reinterpret_cast<TRgb*>(target_.ScanLine(y)) + first;
        if (sw_ < 1 || sh_ < 1) {
            std::fill_n(out, n, background_);
            return;
        }
        for (size_t i = 0; i < n; ++i)
            b.xs[i] = first + static_cast<int32_t>(i);
        std::fill_n(b.ys.begin(), n, y);
        auto part = [n](auto& v) { return std::span(v.data(), n); };
        to_.PixelToGeo(part(b.xs), part(b.ys), part(b.lon), part(b.lat), part(b.converted));
        // The source pixel of every target pixel. Unconverted and invisible
        // ones are masked out below, so what sx and sy hold before does not
        // matter.
        from_.GeoToPixel(part(b.lon), part(b.lat), part(b.sx), part(b.sy), part(b.visible));
        const bool bilinear = o_.Resample == TResample::Bilinear;
        if (bilinear)
            from_.ProjectPoints(part(b.lon), part(b.lat), part(b.fx), part(b.fy), part(b.projected));
        for (size_t i = 0; i < n; ++i) {
            const int32_t x = b.sx[i], yy = b.sy[i];
            const bool inside = x >= 0 && yy >= 0 && x < sw_ && yy < sh_;
            if (!b.converted[i] || !(b.visible[i] || insideOnly_)) {
                out[i] = background_;
            } else if (b.visible[i] && inside && !bilinear) {
                out[i] = Pixel(x, yy);
            } else if (b.visible[i] && inside) {
                out[i] = Bilinear(b.fx[i] + ox_, b.fy[i] - oy_);
            } else if (yy >= 0 && yy <= sh_ && (wrap_ || (x >= 0 && x <= sw_))) {
                // Not on the picture as rounded, but perhaps at its far edge
                // or a whole turn away.
                double fx = 0, fy = 0;
                TMapping::TProjectResult r;
                if (bilinear) {
                    r = b.projected[i];
                    fx = b.fx[i];
                    fy = b.fy[i];
                } else {
                    r = from_.ProjectPoint(b.lon[i], b.lat[i], fx, fy);
                }
                out[i] = Edge(r, fx, fy, bilinear);
            } else {
                out[i] = background_;
            }
        }
    }

private:
    TRgb Pixel(int x, int y) const { return rows_[static_cast<size_t>(y)][x]; }

    // A column a whole turn away on a source that wraps.
    int Wrapped(int64_t x) const { return static_cast<int>(((x % sw_) + sw_) % sw_); }

    // The pixel of a position GeoToPixel rounded off the picture: a column
    // or row just past the far edge, with the unrounded position within the
    // map's span, is the edge; a wrapping source's columns wrap; the rest is
    // background.
    TRgb Edge(TMapping::TProjectResult r, double fx, double fy, bool bilinear) const
    {
        int32_t rx = 0, ry = 0;
        if (r != TMapping::prComputed || !RoundToInt32(fx, rx) || !RoundToInt32(fy, ry))
            return background_;
        // A kind that shows only what lies inside the image: only the
        // column and row just past it are taken.
        if (insideOnly_ && (rx < 0 || ry < 0 || rx > from_.Width || ry > from_.Height))
            return background_;
        const double px = fx + ox_, py = fy - oy_;
        const int64_t x = int64_t(rx) + ox_, y = int64_t(ry) - oy_;
        int col, row;
        if (wrap_)
            col = Wrapped(x);
        else if (x >= 0 && x < sw_)
            col = static_cast<int>(x);
        else if (x == sw_ && px <= sw_)
            col = sw_ - 1;
        else
            return background_;
        if (y >= 0 && y < sh_)
            row = static_cast<int>(y);
        else if (y == sh_ && py <= sh_)
            row = sh_ - 1;
        else
            return background_;
        // Bilinear weights come from the unrounded position, whose
        // neighbours are held to the picture or wrap as Bilinear says.
        return bilinear ? Bilinear(px, py) : Pixel(col, row);
    }

    // Pixel centres lie on whole coordinates (GeoToPixel rounds to them);
    // the neighbours are held to the picture at its edges, or wrap round on
    // a source whose columns wrap.
    TRgb Bilinear(double x, double y) const
    {
        const double fx0 = std::floor(x), fy0 = std::floor(y);
        const double tx = x - fx0, ty = y - fy0;
        int x0, x1;
        if (wrap_) {
            x0 = Wrapped(static_cast<int64_t>(fx0));
            x1 = Wrapped(int64_t(x0) + 1);
        } else {
            x0 = std::clamp(static_cast<int>(fx0), 0, sw_ - 1);
            x1 = std::clamp(x0 + 1, 0, sw_ - 1);
        }
        const int y0 = std::clamp(static_cast<int>(fy0), 0, sh_ - 1), y1 = std::clamp(y0 + 1, 0, sh_ - 1);
        const TRgb a = Pixel(x0, y0), b = Pixel(x1, y0), c = Pixel(x0, y1), d = Pixel(x1, y1);
        auto mix = [&](uint8_t pa, uint8_t pb, uint8_t pc, uint8_t pd) {
            const double top = pa + (pb - pa) * tx, bottom = pc + (pd - pc) * tx;
            return static_cast<uint8_t>(std::lround(std::clamp(top + (bottom - top) * ty, 0.0, 255.0)));
        };
        return {mix(a.b, b.b, c.b, d.b), mix(a.g, b.g, c.g, d.g), mix(a.r, b.r, c.r, d.r)};
    }

    const TMapping& from_;
    const TBitmap& source_;
    const TMapping& to_;
    TBitmap& target_;
    const TWarpOptions& o_;
    const int sw_, sh_;
    const bool wrap_, insideOnly_;
    const int32_t ox_, oy_;
    const TRgb background_;
    std::vector<const TRgb*> rows_;
};

} // namespace

TWarpPlan PlanWarp(int Width, int Height, int Threads, size_t Budget)
{
    TWarpPlan plan;
    const int64_t w = std::max(Width, 1), h = std::max(Height, 1);
    int64_t threads = Threads > 0 ? Threads : std::max(1u, std::thread::hardware_concurrency());
    // No more threads than the budget gives the narrowest spans, nor than
    // there are spans of that width to do.
    const int64_t spansOfMin = h * ((w + MinSpanPixels - 1) / MinSpanPixels);
    threads = std::clamp<int64_t>(threads, 1, std::max<int64_t>(1, int64_t(Budget / (MinSpanPixels * BytesPerSpanPixel))));
    threads = std::min(threads, spansOfMin);
    const int64_t span = std::max<int64_t>(MinSpanPixels, int64_t(Budget / (size_t(threads) * BytesPerSpanPixel)));
    plan.Threads = static_cast<int>(threads);
    plan.SpanPixels = static_cast<int>(std::clamp<int64_t>(span, 1, w));
    plan.BufferBytes = size_t(plan.Threads) * size_t(plan.SpanPixels) * BytesPerSpanPixel;
    return plan;
}

void WarpBitmap(const TMapping& From, const TBitmap& Source, const TMapping& To, TBitmap& Target,
                const TWarpOptions& Options)
{
    if (Source.Width() != From.Width || Source.Height() != From.Height)
        throw EWarpError("the picture is " + std::to_string(Source.Width()) + " x " +
                         std::to_string(Source.Height()) + ", the source map " + std::to_string(From.Width) +
                         " x " + std::to_string(From.Height));
    if (!KindTraits(To.Projection).HasInverse)
        throw EWarpError("the target map (kind " + std::to_string(To.Projection) + ") has no inverse transform");
    if (From.Projection == pkUnknown || From.Projection >= ProjectionKindCount)
        throw EWarpError("the source map (kind " + std::to_string(From.Projection) + ") shows nothing");
    if (To.Width < 1 || To.Height < 1)
        throw EWarpError("the target map has no pixels");
    if (!BitmapSizeAllowed(To.Width, To.Height, 24))
        throw EWarpError("the target map is too large: " + PictureSizeRefusal(To.Width, To.Height, 24));
    if (Source.PixelFormat() != pf24bit)
        throw EWarpError("the source picture must be a 24-bit bitmap");

    TBitmap result;
    result.SetPixelFormat(pf24bit);
    result.SetSize(To.Width, To.Height);
    TWarper warper(From, Source, To, result, Options);

    // The work is the target's rows cut into spans, taken a few at a time
    // in turn, so that threads finish together however wide the rows are.
    const TWarpPlan plan = PlanWarp(To.Width, To.Height, Options.Threads, Options.BufferBudget);
    const int rows = To.Height, span = plan.SpanPixels;
    const int64_t spansPerRow = (int64_t(To.Width) + span - 1) / span, pieces = spansPerRow * rows;
    const int64_t take = std::max<int64_t>(1, 16384 / span);
    std::atomic<int64_t> next{0}, done{0};
    std::exception_ptr failure;
    std::atomic<bool> failed{false};
    auto work = [&] {
        try {
            TSpanBuffers buffers(static_cast<size_t>(span));
            for (int64_t first; !failed && (first = next.fetch_add(take)) < pieces;) {
                const int64_t last = std::min(pieces, first + take);
                for (int64_t p = first; p < last; ++p) {
                    const int y = static_cast<int>(p / spansPerRow);
                    const int x = static_cast<int>((p % spansPerRow) * span);
                    warper.Span(y, x, std::min(span, To.Width - x), buffers);
                }
                done += last - first;
            }
        } catch (...) {
            if (!failed.exchange(true))
                failure = std::current_exception();
        }
    };
    // With a progress report the calling thread reports while the others
    // work; without one it works too.
    const int threads = plan.Threads;
    const bool reporting = Options.Progress && threads > 1;
    std::vector<std::thread> pool;
    for (int t = reporting ? 0 : 1; t < threads; ++t)
        pool.emplace_back(work);
    if (reporting) {
        while (done < pieces && !failed) {
            Options.Progress(static_cast<int>(done / spansPerRow), rows);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    } else {
        work();
    }
    for (std::thread& t : pool)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    if (Options.Progress)
        Options.Progress(rows, rows);
    // The pixels move into Target: no second copy of the picture.
    Target.TakePixelsFrom(result);
}
