// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/ReceptionChart.h"

#include <algorithm>
#include <cmath>

#include "catalog/CatalogQuery.h"

namespace {

constexpr int Margin = 12;
constexpr int CellHeight = 16;
constexpr int HeaderHeight = 40;
constexpr int LegendHeight = 44;

int CellWidth(const TReceptionData& d)
{
    return static_cast<int>(std::clamp<int64_t>(d.Days > 0 ? 960 / d.Days : 14, 2, 14));
}

int LabelWidth(TCanvas& c, const TReceptionData& d)
{
    int w = 60;
    for (const TReceptionRow& r : d.Rows)
        w = std::max(w, c.TextWidth(r.Satellite));
    return w + 12;
}

TColor Rgb(int r, int g, int b) { return static_cast<TColor>(r | (g << 8) | (b << 16)); }

} // namespace

TReceptionData GatherReception(ICatalogStore& Store, std::optional<int64_t> From, std::optional<int64_t> To,
                               int64_t SlotSeconds)
{
    struct TCount {
        int Code;
        std::string Name;
        int64_t Day;
        int64_t Slots;
    };
    std::vector<TCount> counts;
    Store.CountPerPeriod(86400, SlotSeconds, From, To, [&](const ICatalogStore::TPeriodCount& p) {
        counts.push_back({p.SatelliteCode, p.SatelliteName.empty() ? "code " + std::to_string(p.SatelliteCode) : p.SatelliteName,
                          p.Period, p.Slots});
    });
    TReceptionData data;
    data.SlotSeconds = SlotSeconds;
    if (counts.empty())
        return data;
    int64_t first = counts.front().Day, last = first;
    for (const TCount& c : counts) {
        first = std::min(first, c.Day);
        last = std::max(last, c.Day);
    }
    data.FirstDay = first;
    data.Days = last - first + 1;
    const double slotsPerDay = std::max<double>(1.0, 86400.0 / static_cast<double>(SlotSeconds));
    int code = -1;
    for (const TCount& c : counts) {
        if (c.Code != code) {
            data.Rows.push_back({c.Name, std::vector<double>(static_cast<size_t>(data.Days), 0.0)});
            code = c.Code;
        }
        data.Rows.back().Share[static_cast<size_t>(c.Day - first)] =
            std::min(1.0, static_cast<double>(c.Slots) / slotsPerDay);
    }
    return data;
}

TColor ReceptionShade(double Share)
{
    if (!(Share > 0))
        return Rgb(236, 236, 236);
    const double s = std::min(1.0, Share);
    const auto mix = [&](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * s)); };
    return Rgb(mix(198, 8), mix(219, 48), mix(239, 107));
}

TSize ReceptionChartSize(TCanvas& Canvas, const TReceptionData& Data)
{
    const int width = Margin * 2 + LabelWidth(Canvas, Data) + static_cast<int>(Data.Days) * CellWidth(Data);
    const int height = Margin * 2 + HeaderHeight + static_cast<int>(Data.Rows.size()) * CellHeight + LegendHeight;
    return {std::max(width, 420), height};
}

void DrawReceptionChart(TCanvas& Canvas, const TReceptionData& Data)
{
    const TSize size = ReceptionChartSize(Canvas, Data);
    Canvas.SetBrushStyle(bsSolid);
    Canvas.Brush.Color = clWhite;
    Canvas.FillRect(Rect(0, 0, size.cx, size.cy));
    Canvas.SetFontColor(clBlack);
    Canvas.SetBrushStyle(bsClear);

    const int left = Margin + LabelWidth(Canvas, Data);
    const int top = Margin + HeaderHeight;
    const int cw = CellWidth(Data);
    const int gridBottom = top + static_cast<int>(Data.Rows.size()) * CellHeight;

    // Month labels above the first day of each month (and the first column).
    Canvas.SetPenColor(Rgb(120, 120, 120));
    for (int64_t i = 0; i < Data.Days; ++i) {
        const std::string iso = IsoFromSeconds((Data.FirstDay + i) * 86400);
        if (i > 0 && iso.compare(8, 2, "01") != 0)
            continue;
        const int x = left + static_cast<int>(i) * cw;
        Canvas.TextOut(x + 2, Margin + 4, iso.substr(0, 7));
        Canvas.MoveTo(x, Margin + 4);
        Canvas.LineTo(x, gridBottom);
    }
    // One row per satellite.
    for (size_t r = 0; r < Data.Rows.size(); ++r) {
        const int y = top + static_cast<int>(r) * CellHeight;
        Canvas.TextOut(Margin, y + 1, Data.Rows[r].Satellite);
        Canvas.SetBrushStyle(bsSolid);
        for (int64_t i = 0; i < Data.Days; ++i) {
            Canvas.Brush.Color = ReceptionShade(Data.Rows[r].Share[static_cast<size_t>(i)]);
            const int x = left + static_cast<int>(i) * cw;
            Canvas.FillRect(Rect(x + (cw > 3 ? 1 : 0), y + 1, x + cw, y + CellHeight - 1));
        }
        Canvas.SetBrushStyle(bsClear);
    }
    // The legend: swatches from none to all of a day's slots.
    const int ly = gridBottom + 12;
    int x = Margin;
    Canvas.TextOut(x, ly, "slots received per day:");
    x += Canvas.TextWidth("slots received per day:") + 8;
    for (int step = 0; step <= 4; ++step) {
        const double share = step / 4.0;
        Canvas.SetBrushStyle(bsSolid);
        Canvas.Brush.Color = ReceptionShade(share);
        Canvas.FillRect(Rect(x, ly + 1, x + 14, ly + 15));
        Canvas.SetBrushStyle(bsClear);
        const std::string label = std::to_string(step * 25) + "%";
        Canvas.TextOut(x + 18, ly, label);
        x += 18 + Canvas.TextWidth(label) + 12;
    }
}
