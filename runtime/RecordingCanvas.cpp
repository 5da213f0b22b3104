// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/RecordingCanvas.h"

#include "runtime/Text.h"

#include <cstdint>
#include <iterator>

namespace {
// The name at an enumeration's value, "unknown" outside the list.
template <size_t N>
const char* NameAt(const char* const (&names)[N], int value)
{
    return value >= 0 && static_cast<size_t>(value) < N ? names[value] : "unknown";
}
} // namespace

const char* CanvasOpName(TCanvasCall::TOp op)
{
    static const char* const names[] = {"brush_style", "pen_color", "pen_style",   "font_name",
                                        "font_size",   "font_color", "text_width", "text_height",
                                        "textout",     "polyline",  "modified",    "font_assign"};
    static_assert(std::size(names) == TCanvasCall::opFontAssign + 1);
    return NameAt(names, op);
}

const char* PenStyleName(TPenStyle style)
{
    static const char* const names[] = {"solid", "dash", "dot", "dashdot", "dashdotdot", "clear", "insideframe"};
    static_assert(std::size(names) == psInsideFrame + 1);
    return NameAt(names, style);
}

const char* BrushStyleName(TBrushStyle style)
{
    static const char* const names[] = {"solid",     "clear",     "horizontal", "vertical",
                                        "fdiagonal", "bdiagonal", "cross",      "diagcross"};
    static_assert(std::size(names) == bsDiagCross + 1);
    return NameAt(names, style);
}

std::string CanvasTextToUtf8(const std::string& text)
{
    return Cp1252ToUtf8(text);
}

namespace {
TCanvasCall Call(TCanvasCall::TOp op, int value = 0, std::string text = {})
{
    TCanvasCall c;
    c.Op = op;
    c.Value = value;
    c.Text = std::move(text);
    return c;
}
} // namespace

// Each property write sets the property as the base does, then records it.
void TRecordingCanvas::SetBrushStyle(TBrushStyle value) { TCanvas::SetBrushStyle(value); Record(TCanvasCall::opBrushStyle, value); }
void TRecordingCanvas::SetPenColor(TColor value) { TCanvas::SetPenColor(value); Record(TCanvasCall::opPenColor, value); }
void TRecordingCanvas::SetPenStyle(TPenStyle value) { TCanvas::SetPenStyle(value); Record(TCanvasCall::opPenStyle, value); }
void TRecordingCanvas::SetFontName(const std::string& value) { TCanvas::SetFontName(value); Record(TCanvasCall::opFontName, 0, value); }
void TRecordingCanvas::SetFontSize(int value) { TCanvas::SetFontSize(value); Record(TCanvasCall::opFontSize, value); }
void TRecordingCanvas::SetFontColor(TColor value) { TCanvas::SetFontColor(value); Record(TCanvasCall::opFontColor, value); }
void TRecordingCanvas::AssignFont(const TFont& source) { TCanvas::AssignFont(source); Record(TCanvasCall::opFontAssign); }
void TRecordingCanvas::Changed() { Record(TCanvasCall::opModified); }
void TRecordingCanvas::Record(TCanvasCall::TOp op, int value, std::string text) { Calls.push_back(Call(op, value, std::move(text))); }

int TRecordingCanvas::TextWidth(std::string_view text)
{
    int w = TCanvas::TextWidth(text);
    Calls.push_back(Call(TCanvasCall::opTextWidth, w, std::string(text)));
    return w;
}

int TRecordingCanvas::TextHeight(std::string_view text)
{
    int h = TCanvas::TextHeight(text);
    Calls.push_back(Call(TCanvasCall::opTextHeight, h, std::string(text)));
    return h;
}

void TRecordingCanvas::TextOut(int x, int y, std::string_view text)
{
    // The base only moves the pen position; measure without recording.
    PenPos = {x + TCanvas::TextWidth(text), y};
    TCanvasCall c = Call(TCanvasCall::opTextOut, 0, std::string(text));
    c.X = x;
    c.Y = y;
    Calls.push_back(std::move(c));
}

void TRecordingCanvas::Polyline(const TPoint* points, int count)
{
    TCanvas::Polyline(points, count);
    TCanvasCall c = Call(TCanvasCall::opPolyline);
    if (points && count > 0)
        c.Points.assign(points, points + count);
    Calls.push_back(std::move(c));
}
