// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A canvas that draws nothing and records every call made on it, in order:
// the property writes made through TCanvas's setters (brush style, pen colour
// and style, font name, size and colour, a font assigned, the modified mark),
// the text measures and the drawing calls. Text is measured as the
// real canvas measures it with the same font (the installed backend, or the
// runtime's estimate without one).
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Graphics.h"

struct TCanvasCall {
    enum TOp {
        opBrushStyle, opPenColor, opPenStyle, opFontName, opFontSize, opFontColor,
        opTextWidth, opTextHeight, opTextOut, opPolyline, opModified, opFontAssign,
    };
    TOp Op = opModified;
    int Value = 0;            // colour, size, style, or the measure's result
    std::string Text;         // font name or text, as the canvas takes it (code page 1252)
    int X = 0, Y = 0;         // TextOut position
    std::vector<TPoint> Points; // Polyline
};

// The trace name of an operation ("brush_style", "textout", ...).
const char* CanvasOpName(TCanvasCall::TOp op);
const char* PenStyleName(TPenStyle style);   // "solid", "dot", ...
const char* BrushStyleName(TBrushStyle style); // "clear", "solid", ...
// Canvas text (code page 1252 bytes, the labels' characters) as UTF-8.
std::string CanvasTextToUtf8(const std::string& text);

class TRecordingCanvas : public TCanvas {
public:
    std::vector<TCanvasCall> Calls;

    // Property writes: set the property and record the write, even when the
    // value is the one the canvas already has.
    void SetBrushStyle(TBrushStyle value) override;
    void SetPenColor(TColor value) override;
    void SetPenStyle(TPenStyle value) override;
    void SetFontName(const std::string& value) override;
    void SetFontSize(int value) override;
    void SetFontColor(TColor value) override;
    void AssignFont(const TFont& source) override;
    void Changed() override;

    int TextWidth(std::string_view text) override;
    int TextHeight(std::string_view text) override;
    void TextOut(int x, int y, std::string_view text) override;
    void Polyline(const TPoint* points, int count) override;

private:
    void Record(TCanvasCall::TOp op, int value = 0, std::string text = {});
};
