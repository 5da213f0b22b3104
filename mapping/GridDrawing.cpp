// SPDX-License-Identifier: GPL-3.0-or-later
// The latitude/longitude grid of TMapping: meridians and parallels traced
// through GeoToPixel at every whole degree, degree labels with a dark
// outline, and the special parallels drawn dotted.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "mapping/ProjectionKinds.h"
#include "mapping/DegreeSign.h"
#include "mapping/Mapping.h"

const std::array<float, 5> SpecialParallelLatitudes = {66.56083f, 23.43917f, 0.0f, -23.43917f, -66.56083f};

namespace {

int32_t Saturate(int64_t v)
{
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// Range bounds come from the map's centre and spans. Values far outside the
// globe are meaningless for a grid; they are held to +-1000 degrees so the
// conversions stay defined and the loops short. Not-a-number counts as 0.
constexpr double BoundLimit = 1000.0;
double Held(double v)
{
    if (!std::isfinite(v))
        return 0;
    return v < -BoundLimit ? -BoundLimit : (v > BoundLimit ? BoundLimit : v);
}
// Round half to even.
int32_t RoundEven(double v)
{
    int32_t r = 0;
    RoundToInt32(Held(v), r);
    return r;
}
// Truncate toward zero.
int32_t Trunc(double v) { return static_cast<int32_t>(std::trunc(Held(v))); }


// The canvas takes 8-bit text in code page 1252. A label's text (digits, a
// letter and the degree sign, which every supported character set decodes
// to U+00B0) is decoded from the locale's bytes and written as code page
// 1252 bytes, so each locale's degree sign shows as one. A character the
// canvas cannot show would become '?'.
std::string CanvasText(const std::string& utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0)
            n = 4, cp = c & 0x07;
        else if (c >= 0xE0)
            n = 3, cp = c & 0x0F;
        else if (c >= 0xC0)
            n = 2, cp = c & 0x1F;
        else if (c >= 0x80)
            cp = '?';
        for (size_t k = 1; k < n; ++k)
            cp = i + k < utf8.size() ? (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F) : '?';
        out += cp < 0x100 ? static_cast<char>(cp) : '?';
        i += n;
    }
    return out;
}

std::string Label(const char* format, int64_t value)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
    std::string bytes = digits;
    bytes += DegreeSign;
    bytes += format;
    return CanvasText(DegreeTextToUtf8(bytes));
}

std::string MeridianText(int64_t m)
{
    if (m == 0)
        return Label("", 0);
    if (m == 180 || m == -180)
        return Label("", 180);
    return m < 0 ? Label("W", -m) : Label("E", m);
}

std::string ParallelText(int64_t p)
{
    if (p == 0)
        return Label("", 0);
    return p < 0 ? Label("S", -p) : Label("N", p);
}

class GridPainter {
public:
    GridPainter(const TMapping& map, TCanvas& canvas, bool onCanvas, int32_t lonStep, int32_t latStep,
                TColor labelColour, int32_t originX, int32_t originY, bool noLabels)
        : map_(map), canvas_(canvas), onCanvas_(onCanvas),
          kind_(map.Projection), traits_(KindTraits(map.Projection)), lonStep_(lonStep), latStep_(latStep), labelColour_(labelColour),
          ox_(originX), oy_(originY), noLabels_(noLabels)
    {
        run_.reserve(361);
        clipRight_ = static_cast<int64_t>(map.GetClipWidth()) + 100;
        clipBottom_ = static_cast<int64_t>(map.GetClipHeight()) + std::llabs(map.GetOffsetY()) + 100;
    }

    void Draw(TSpecialParallels specials)
    {
        SetRanges();
        Meridians(lonFrom_, lonTo_);
        if (second_)
            Meridians(secondFrom_, secondTo_);
        Parallels();
        if (onCanvas_)
            Specials(specials);
    }

private:
    void SetRanges()
    {
        switch (traits_.GridRange) {
        case TGridRange::AroundCentre: {
            int32_t c = RoundEven(map_.CentreLongitude);
            lonFrom_ = c - 179;
            lonTo_ = c + 179;
            break;
        }
        case TGridRange::WholeSphere:
            lonFrom_ = -180;
            // Fixed steps of the azimuthal equidistant kinds.
            if (kind_ == pkAzimuthalEquidistant) {
                lonStep_ = 30;
                latStep_ = 15;
            } else if (kind_ == pkAzimuthalEquidistantWide && map_.LatitudeSpan == 0) {
                lonStep_ = 30;
                latStep_ = 30;
            }
            break;
        case TGridRange::Span: {
            if (kind_ == pkMercatorZoomed) {
                if (lonStep_ == 15)
                    lonStep_ = 5;
                if (latStep_ == 15)
                    latStep_ = 5;
            }
            if (kind_ == pkLinearBased && onCanvas_) {
                lonFrom_ = -179;
                lonTo_ = 179;
                latFrom_ = 0;
                latTo_ = 89;
            } else {
                double cLon = map_.CentreLongitude, cLat = map_.CentreLatitude;
                double halfLon = map_.LongitudeSpan / 2.0, halfLat = map_.LatitudeSpan / 2.0;
                lonFrom_ = Trunc(cLon - halfLon) - 1;
                lonTo_ = RoundEven(cLon + halfLon) + 1;
                latFrom_ = Trunc(cLat - halfLat) - 1;
                latTo_ = RoundEven(cLat + halfLat) + 1;
            }
            if (lonFrom_ < -179) {
                second_ = true;
                secondFrom_ = lonFrom_ + 360;
                secondTo_ = 180;
                lonFrom_ = -179;
            }
            if (lonTo_ > 179) {
                second_ = true;
                secondFrom_ = -180;
                secondTo_ = lonTo_ - 360;
                lonTo_ = 179;
            }
            if (latFrom_ < -89)
                latFrom_ = -89;
            if (latTo_ > 89)
                latTo_ = 89;
            break;
        }
        case TGridRange::Globe:
            break;
        }
    }

    // --- runs ------------------------------------------------------------------
    void Sample(float lon, float lat)
    {
        int32_t x = 0, y = 0;
        if (map_.GeoToPixel(lon, lat, x, y)) {
            int64_t X = x, Y = y;
            if (X < -100)
                X = -100;
            if (Y < -100)
                Y = -100;
            if (X >= clipRight_)
                X = clipRight_;
            if (Y >= clipBottom_)
                Y = clipBottom_;
            run_.push_back({Saturate(ox_ + X), Saturate(oy_ + Y)});
        } else {
            Flush();
        }
    }

    void Flush()
    {
        if (run_.size() >= 2)
            canvas_.Polyline(run_.data(), static_cast<int>(run_.size()));
        run_.clear();
    }

    void Line(int64_t x0, int64_t y0, int64_t x1, int64_t y1)
    {
        TPoint pts[2] = {{Saturate(x0), Saturate(y0)}, {Saturate(x1), Saturate(y1)}};
        canvas_.Polyline(pts, 2);
    }

    // The pixel GeoToPixel gives for a label anchor. An anchor GeoToPixel
    // does not compute at all (beyond a distance or view-angle limit, or a
    // failure) has no pixel of its own: its label is skipped, and a search
    // goes on to its next candidate. An anchor that is computed but merely
    // reported not visible keeps its pixel.
    bool Anchor(float lon, float lat, int32_t& x, int32_t& y) const
    {
        double fx = 0, fy = 0;
        if (map_.ProjectPoint(lon, lat, fx, fy) == TMapping::prNotComputed || !std::isfinite(fx) ||
            !std::isfinite(fy))
            return false;
        x = 0;
        y = 0;
        map_.GeoToPixel(lon, lat, x, y);
        return true;
    }

    // A label centred at (x, y) with a dark outline.
    void DrawLabel(int64_t x, int64_t y, const std::string& s)
    {
        int w = canvas_.TextWidth(s);
        int h = canvas_.TextHeight(s);
        int64_t x0 = x - w / 2;
        if (x + w > map_.Width || x0 < 0)
            return;
        int64_t y0 = y - h / 2;
        canvas_.SetFontColor(clBlack);
        static constexpr int d[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
        for (const auto& o : d)
            canvas_.TextOut(Saturate(x0 + o[0] + ox_), Saturate(y0 + o[1] + oy_), s);
        canvas_.SetFontColor(labelColour_);
        canvas_.TextOut(Saturate(x0 + ox_), Saturate(y0 + oy_), s);
    }

    // --- meridians ---------------------------------------------------------------
    void Meridians(int32_t a, int32_t b)
    {
        // A step of 0 draws no meridians (and so no meridian labels).
        if (lonStep_ == 0)
            return;
        for (int64_t k = a / lonStep_; k <= b / lonStep_; ++k) {
            int64_t m = k * lonStep_;
            while (m > 180)
                m -= 360;
            while (m < -180)
                m += 360;
            const float lon = static_cast<float>(m);
            std::string text = MeridianText(m);
            int h = canvas_.TextHeight(text);
            if (traits_.StraightGridLines) {
                int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
                map_.GeoToPixel(lon, static_cast<float>(latFrom_), x0, y0);
                map_.GeoToPixel(lon, static_cast<float>(latTo_), x1, y1);
                Line(int64_t(ox_) + x0, int64_t(map_.Height) + oy_ - h, int64_t(ox_) + x1, int64_t(oy_) + y1);
            } else {
                for (int32_t lat = latTo_; lat >= latFrom_; --lat)
                    Sample(lon, static_cast<float>(lat));
                Flush();
            }
            if (!noLabels_)
                MeridianLabel(lon, h, text);
        }
    }

    void MeridianLabel(float lon, int h, const std::string& text)
    {
        int32_t x = 0, y = 0;
        const int64_t bottomY = int64_t(map_.Height) - (3 * int64_t(h)) / 4;
        switch (traits_.MeridianLabel) {
        case TMeridianLabel::BelowEquator:
            if (Anchor(lon, -3, x, y))
                DrawLabel(x, y, text);
            return;
        case TMeridianLabel::AtCentreLatitudeOnCanvas:
        case TMeridianLabel::AtCentreLatitude: {
            if (traits_.MeridianLabel == TMeridianLabel::AtCentreLatitudeOnCanvas && !onCanvas_)
                break;
            float L = std::fabs(map_.CentreLatitude) < 10 ? 0.0f : map_.CentreLatitude;
            if (Anchor(lon, L, x, y))
                DrawLabel(x, y, text);
            return;
        }
        case TMeridianLabel::AtExactCentre:
            if (Anchor(lon, map_.CentreLatitude, x, y))
                DrawLabel(x, y, text);
            return;
        case TMeridianLabel::FirstVisibleOnCone: {
            const int first = map_.Southern ? -89 : 1, last = map_.Southern ? 1 : 88;
            for (int lat = first; lat <= last; ++lat) {
                if (Anchor(lon, static_cast<float>(lat), x, y) && int64_t(map_.Height) > int64_t(y) + h) {
                    if (map_.Southern ? lat < 0 : lat < 87)
                        DrawLabel(x, bottomY, text);
                    return;
                }
            }
            return;
        }
        case TMeridianLabel::BottomAtEquator:
            break;
        }
        if (Anchor(lon, 0, x, y))
            DrawLabel(x, bottomY, text);
    }

    // --- parallels ---------------------------------------------------------------
    void Parallels()
    {
        // A step of 0 draws no parallels (and so no parallel labels).
        if (latStep_ == 0)
            return;
        for (int64_t k = latFrom_ / latStep_; k <= latTo_ / latStep_; ++k) {
            int64_t p = k * latStep_;
            const float lat = static_cast<float>(p);
            std::string text = ParallelText(p);
            int w = canvas_.TextWidth(text);
            if (traits_.StraightGridLines) {
                int32_t x = 0, y = 0;
                map_.GeoToPixel(static_cast<float>(lonFrom_), lat, x, y);
                Line(int64_t(w) + 4 + ox_, int64_t(oy_) + y, int64_t(map_.Width) + ox_ - 2, int64_t(oy_) + y);
            } else {
                for (int32_t lon = lonTo_; lon >= lonFrom_; --lon)
                    Sample(static_cast<float>(lon), lat);
                Flush();
            }
            if (!noLabels_)
                ParallelLabel(lat, w, text);
        }
    }

    void ParallelLabel(float lat, int w, const std::string& text)
    {
        int32_t x = 0, y = 0;
        switch (traits_.ParallelLabel) {
        case TParallelLabel::None:
            return;
        case TParallelLabel::LeftEdge:
            if (Anchor(static_cast<float>(lonFrom_), lat, x, y))
                DrawLabel(w / 2 + 2, y, text);
            return;
        case TParallelLabel::FirstVisibleOnCone:
            for (int lon = -179; lon <= 177; ++lon) {
                if (Anchor(static_cast<float>(lon), lat, x, y) && 0 < x && int64_t(x) < 2 * int64_t(w) && 10 < y &&
                    y < map_.GetHeight()) {
                    DrawLabel(w / 2 + 2, y, text);
                    return;
                }
            }
            return;
        case TParallelLabel::CentralMeridian: {
            // The meridian nearest the centre. With a meridian step of 0
            // (no meridians drawn) it is the nearest whole degree.
            int64_t L = lonStep_ == 0 ? RoundEven(map_.CentreLongitude)
                                      : int64_t(RoundEven(double(map_.CentreLongitude) / lonStep_)) * lonStep_;
            if (Anchor(static_cast<float>(L), lat, x, y))
                DrawLabel(int64_t(x) - (4 * int64_t(w)) / 5, y, text);
            return;
        }
        }
    }

    // --- special parallels -----------------------------------------------------------
    void Specials(TSpecialParallels specials)
    {
        const TPenStyle saved = canvas_.Pen.Style;
        canvas_.SetPenStyle(psDot);
        for (int i = 0; i < 5; ++i) {
            if (!(specials & (1u << i)))
                continue;
            const float lat = SpecialParallelLatitudes[i];
            if (traits_.StraightGridLines) {
                int32_t x = 0, y = 0;
                map_.GeoToPixel(-179, lat, x, y);
                Line(ox_, int64_t(oy_) + y, int64_t(map_.Width) + ox_ - 2, int64_t(oy_) + y);
            } else {
                for (int lon = 179; lon >= -179; --lon)
                    Sample(static_cast<float>(lon), lat);
                Flush();
            }
        }
        canvas_.SetPenStyle(saved);
    }

    const TMapping& map_;
    TCanvas& canvas_;
    bool onCanvas_;
    uint8_t kind_;
    const TKindTraits& traits_;
    int32_t lonStep_, latStep_;
    TColor labelColour_;
    int32_t ox_, oy_;
    bool noLabels_;
    int32_t lonFrom_ = -179, lonTo_ = 179, latFrom_ = -89, latTo_ = 89;
    bool second_ = false;
    int32_t secondFrom_ = 0, secondTo_ = 0;
    int64_t clipRight_ = 0, clipBottom_ = 0;
    std::vector<TPoint> run_;
};

// Set-up, drawing and the end shared by both operations.
void RunGrid(const TMapping& map, TCanvas* canvas, TGraphic* target, bool onCanvas, int32_t lonStep,
             int32_t latStep, TColor labelColour, TColor gridColour, int32_t originX, int32_t originY,
             bool noLabels, TSpecialParallels specials)
{
    if (!canvas || map.Projection == pkUnknown)
        return;
    GridPainter painter(map, *canvas, onCanvas, lonStep, latStep, labelColour, originX, originY, noLabels);
    TFont saved;
    saved.Assign(canvas->Font);
    canvas->SetBrushStyle(bsClear);
    canvas->SetPenColor(gridColour);
    canvas->SetFontName("Small Fonts");
    canvas->SetFontSize(7);
    try {
        painter.Draw(specials);
    } catch (...) {
        canvas->Font.Assign(saved);
        throw;
    }
    if (!onCanvas) {
        if (target)
            target->SetModified(true);
        canvas->Changed();
    }
    canvas->AssignFont(saved);
}

} // namespace

void TMapping::DrawGridOn(TCanvas* Canvas, TGraphic* Target, int32_t LonStep, int32_t LatStep, TColor LabelColour,
                          TColor GridColour, int32_t OriginX, int32_t OriginY, bool NoLabels) const
{
    RunGrid(*this, Canvas, Target, false, LonStep, LatStep, LabelColour, GridColour, OriginX, OriginY, NoLabels, 0);
}

void TMapping::DrawGrid(TBitmap* Bitmap, int32_t LonStep, int32_t LatStep, TColor LabelColour, TColor GridColour,
                        int32_t OriginX, int32_t OriginY, bool NoLabels) const
{
    if (!Bitmap)
        return;
    DrawGridOn(Bitmap->Canvas(), Bitmap, LonStep, LatStep, LabelColour, GridColour, OriginX, OriginY, NoLabels);
}

void TMapping::DrawGridOnCanvas(TCanvas* Canvas, int32_t LonStep, int32_t LatStep, TColor LabelColour,
                                TColor GridColour, int32_t OriginX, int32_t OriginY, bool NoLabels,
                                TSpecialParallels Specials) const
{
    RunGrid(*this, Canvas, nullptr, true, LonStep, LatStep, LabelColour, GridColour, OriginX, OriginY, NoLabels,
            Specials);
}
