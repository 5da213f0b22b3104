#include "mapping/RecordingCanvas.h"

#include <cstdint>

#include "runtime/Text.h"

const char* CanvasOpName(TCanvasCall::TOp op)
{
    switch (op) {
    case TCanvasCall::opBrushStyle: return "brush_style";
    case TCanvasCall::opPenColor: return "pen_color";
    case TCanvasCall::opPenStyle: return "pen_style";
    case TCanvasCall::opFontName: return "font_name";
    case TCanvasCall::opFontSize: return "font_size";
    case TCanvasCall::opFontColor: return "font_color";
    case TCanvasCall::opTextWidth: return "text_width";
    case TCanvasCall::opTextHeight: return "text_height";
    case TCanvasCall::opTextOut: return "textout";
    case TCanvasCall::opPolyline: return "polyline";
    case TCanvasCall::opModified: return "modified";
    case TCanvasCall::opFontAssign: return "font_assign";
    }
    return "unknown";
}

const char* PenStyleName(TPenStyle style)
{
    switch (style) {
    case psSolid: return "solid";
    case psDash: return "dash";
    case psDot: return "dot";
    case psDashDot: return "dashdot";
    case psDashDotDot: return "dashdotdot";
    case psClear: return "clear";
    case psInsideFrame: return "insideframe";
    }
    return "unknown";
}

const char* BrushStyleName(TBrushStyle style)
{
    switch (style) {
    case bsSolid: return "solid";
    case bsClear: return "clear";
    case bsHorizontal: return "horizontal";
    case bsVertical: return "vertical";
    case bsFDiagonal: return "fdiagonal";
    case bsBDiagonal: return "bdiagonal";
    case bsCross: return "cross";
    case bsDiagCross: return "diagcross";
    }
    return "unknown";
}

std::string CanvasTextToUtf8(const std::string& text) { return Cp1252ToUtf8(text); }

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

void TRecordingCanvas::SetBrushStyle(TBrushStyle value)
{
    Brush.Style = value;
    Calls.push_back(Call(TCanvasCall::opBrushStyle, value));
}
void TRecordingCanvas::SetPenColor(TColor value)
{
    Pen.Color = value;
    Calls.push_back(Call(TCanvasCall::opPenColor, value));
}
void TRecordingCanvas::SetPenStyle(TPenStyle value)
{
    Pen.Style = value;
    Calls.push_back(Call(TCanvasCall::opPenStyle, value));
}
void TRecordingCanvas::SetFontName(const std::string& value)
{
    Font.Name = value;
    Calls.push_back(Call(TCanvasCall::opFontName, 0, value));
}
void TRecordingCanvas::SetFontSize(int value)
{
    Font.Size = value;
    Calls.push_back(Call(TCanvasCall::opFontSize, value));
}
void TRecordingCanvas::SetFontColor(TColor value)
{
    Font.Color = value;
    Calls.push_back(Call(TCanvasCall::opFontColor, value));
}
void TRecordingCanvas::AssignFont(const TFont& source)
{
    Font.Assign(source);
    Calls.push_back(Call(TCanvasCall::opFontAssign));
}
void TRecordingCanvas::RecordModified() { Calls.push_back(Call(TCanvasCall::opModified)); }

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
