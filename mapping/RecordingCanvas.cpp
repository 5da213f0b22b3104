#include "mapping/RecordingCanvas.h"

#include <cstdint>

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

std::string CanvasTextToUtf8(const std::string& text)
{
    static const char16_t high[32] = {0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D, 0x017D, 0x8F,
                                      0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178};
    std::string out;
    for (unsigned char c : text) {
        uint32_t cp = c >= 0x80 && c < 0xA0 ? high[c - 0x80] : c;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
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
