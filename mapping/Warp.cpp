// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapping/Warp.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "mapping/ProjectionKinds.h"

namespace {

struct TRgb {
    uint8_t b, g, r; // as a 24-bit bitmap holds them
};

// One worker's row buffers, allocated once.
struct TRowBuffers {
    std::vector<int32_t> xs, ys, sx, sy;
    std::vector<float> lon, lat;
    std::vector<uint8_t> converted, visible;
    std::vector<double> fx, fy;
    std::vector<TMapping::TProjectResult> projected;

    explicit TRowBuffers(size_t w)
        : xs(w), ys(w), sx(w), sy(w), lon(w), lat(w), converted(w), visible(w), fx(w), fy(w), projected(w)
    {
        for (size_t i = 0; i < w; ++i)
            xs[i] = static_cast<int32_t>(i);
    }
};

class TWarper {
public:
    TWarper(const TMapping& from, const TBitmap& source, const TMapping& to, TBitmap& target, const TWarpOptions& o)
        : from_(from), source_(source), to_(to), target_(target), o_(o), sw_(source.Width()), sh_(source.Height()),
          background_{GetBValue(o.Background), GetGValue(o.Background), GetRValue(o.Background)}
    {
        // The source's rows, looked up once rather than per pixel.
        rows_.reserve(static_cast<size_t>(std::max(sh_, 0)));
        for (int y = 0; y < sh_; ++y)
            rows_.push_back(reinterpret_cast<const TRgb*>(source_.ScanLine(y)));
    }

    void Row(int y, TRowBuffers& b)
    {
        const size_t w = b.xs.size();
        std::fill(b.ys.begin(), b.ys.end(), y);
        to_.PixelToGeo(b.xs, b.ys, b.lon, b.lat, b.converted);
        // The source pixel of every target pixel. Unconverted and invisible
        // ones are masked out below, so what sx and sy hold before does not
        // matter.
        from_.GeoToPixel(b.lon, b.lat, b.sx, b.sy, b.visible);
        if (o_.Resample == TResample::Bilinear)
            from_.ProjectPoints(b.lon, b.lat, b.fx, b.fy, b.projected);
        TRgb* out = reinterpret_cast<TRgb*>(target_.ScanLine(y));
        const double ox = from_.GetOffsetX(), oy = from_.GetOffsetY();
        for (size_t i = 0; i < w; ++i) {
            const int32_t x = b.sx[i], yy = b.sy[i];
            if (!b.converted[i] || !b.visible[i] || x < 0 || yy < 0 || x >= sw_ || yy >= sh_) {
                out[i] = background_;
            } else if (o_.Resample == TResample::Nearest) {
                out[i] = Pixel(x, yy);
            } else {
                out[i] = Bilinear(b.fx[i] + ox, b.fy[i] - oy);
            }
        }
    }

private:
    TRgb Pixel(int x, int y) const { return rows_[static_cast<size_t>(y)][x]; }

    // Pixel centres lie on whole coordinates (GeoToPixel rounds to them);
    // the neighbours are held to the picture at its edges.
    TRgb Bilinear(double x, double y) const
    {
        const double fx0 = std::floor(x), fy0 = std::floor(y);
        const double tx = x - fx0, ty = y - fy0;
        const int x0 = std::clamp(static_cast<int>(fx0), 0, sw_ - 1), x1 = std::clamp(x0 + 1, 0, sw_ - 1);
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
    const TRgb background_;
    std::vector<const TRgb*> rows_;
};

} // namespace

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
    if (Source.PixelFormat() != pf24bit)
        throw EWarpError("the source picture must be a 24-bit bitmap");

    TBitmap result;
    result.SetPixelFormat(pf24bit);
    result.SetSize(To.Width, To.Height);
    TWarper warper(From, Source, To, result, Options);

    const int rows = To.Height;
    int threads = Options.Threads > 0 ? Options.Threads : static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, std::max(1, rows));
    std::atomic<int> next{0}, done{0};
    std::exception_ptr failure;
    std::atomic<bool> failed{false};
    auto work = [&] {
        try {
            TRowBuffers buffers(static_cast<size_t>(To.Width));
            // Rows in small blocks taken in turn, so that threads finish together.
            constexpr int Block = 8;
            for (int first; !failed && (first = next.fetch_add(Block)) < rows;) {
                const int last = std::min(rows, first + Block);
                for (int y = first; y < last; ++y)
                    warper.Row(y, buffers);
                done += last - first;
            }
        } catch (...) {
            if (!failed.exchange(true))
                failure = std::current_exception();
        }
    };
    // With a progress report the calling thread reports while the others
    // work; without one it works too.
    const bool reporting = Options.Progress && threads > 1;
    std::vector<std::thread> pool;
    for (int t = reporting ? 0 : 1; t < threads; ++t)
        pool.emplace_back(work);
    if (reporting) {
        while (done < rows && !failed) {
            Options.Progress(done, rows);
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
    Target.Assign(&result);
}
