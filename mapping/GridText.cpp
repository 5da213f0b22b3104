// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapping/GridText.h"

#include <nlohmann/json.hpp>

const std::array<std::string_view, 5> SpecialParallelNames = {"arctic", "cancer", "equator", "capricorn",
                                                              "antarctic"};

bool ParseSpecialParallels(std::string_view List, TSpecialParallels& Set)
{
    Set = 0;
    if (List.empty())
        return true;
    size_t start = 0;
    while (true) {
        size_t comma = List.find(',', start);
        std::string_view name = List.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        bool known = false;
        for (size_t i = 0; i < SpecialParallelNames.size(); ++i)
            if (name == SpecialParallelNames[i]) {
                Set |= SpecialBit(static_cast<TSpecialParallel>(i));
                known = true;
            }
        if (!known)
            return false;
        if (comma == std::string_view::npos)
            return true;
        start = comma + 1;
    }
}

std::string GridTraceLine(const TCanvasCall& Call)
{
    nlohmann::ordered_json j;
    j["op"] = CanvasOpName(Call.Op);
    switch (Call.Op) {
    case TCanvasCall::opBrushStyle: j["value"] = BrushStyleName(static_cast<TBrushStyle>(Call.Value)); break;
    case TCanvasCall::opPenStyle: j["value"] = PenStyleName(static_cast<TPenStyle>(Call.Value)); break;
    case TCanvasCall::opPenColor:
    case TCanvasCall::opFontSize:
    case TCanvasCall::opFontColor: j["value"] = Call.Value; break;
    case TCanvasCall::opFontName: j["value"] = CanvasTextToUtf8(Call.Text); break;
    case TCanvasCall::opTextWidth:
    case TCanvasCall::opTextHeight:
        j["text"] = CanvasTextToUtf8(Call.Text);
        j["result"] = Call.Value;
        break;
    case TCanvasCall::opTextOut:
        j["x"] = Call.X;
        j["y"] = Call.Y;
        j["text"] = CanvasTextToUtf8(Call.Text);
        break;
    case TCanvasCall::opPolyline: {
        auto points = nlohmann::ordered_json::array();
        for (const TPoint& p : Call.Points)
            points.push_back({p.X, p.Y});
        j["points"] = std::move(points);
        break;
    }
    default: break;
    }
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
