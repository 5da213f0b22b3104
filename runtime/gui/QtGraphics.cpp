// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/gui/QtGraphics.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/Graphics.h"
#include "runtime/Text.h"

namespace {

// Texts are 8-bit ANSI (code page 1252), e.g. the degree sign is 0xB0.
QString FromAnsi(std::string_view text)
{
    QString s;
    s.reserve(static_cast<qsizetype>(text.size()));
    for (unsigned char c : text)
        s.append(QChar(Cp1252ToUnicode(c)));
    return s;
}

QColor ToQColor(TColor c)
{
    c = ColorToRGB(c);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

bool HaveGuiApp() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

// The font for a TFont: its family when the machine has it, else the
// desktop's small sans font, at the font's size in pixels.
QFont ToQFont(const TFont& font)
{
    QString family = FromAnsi(font.Name);
    QFont f;
    if (QFontDatabase::hasFamily(family)) {
        f = QFont(family);
    } else {
        f = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
        f.setStyleHint(QFont::SansSerif);
    }
    f.setPixelSize(std::max(1, std::abs(font.Height())));
    f.setBold(font.Style & fsBold);
    f.setItalic(font.Style & fsItalic);
    f.setUnderline(font.Style & fsUnderline);
    f.setStrikeOut(font.Style & fsStrikeOut);
    // Hard-edged glyphs: the text keeps exactly the font colour, which
    // matters on palette bitmaps.
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// Paints on a bitmap: directly on its pixels for 16, 24 and 32 bits, on a
// 32-bit copy for palette formats, whose changed pixels are then mapped
// back to the nearest palette entry.
template <class Paint>
void PaintOn(TBitmap& bitmap, Paint paint)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    if (w <= 0 || h <= 0)
        return;
    QImage::Format direct = QImage::Format_Invalid;
    switch (bitmap.PixelFormat()) {
    case pf15bit:
    case pf16bit: direct = QImage::Format_RGB555; break;
    case pf32bit: direct = QImage::Format_RGB32; break;
    case pf1bit:
    case pf4bit:
    case pf8bit: break;
    default: direct = QImage::Format_BGR888; break;
    }
    if (direct != QImage::Format_Invalid) {
        QImage image(bitmap.ScanLine(0), w, h, bitmap.BytesPerScanLine(), direct);
        QPainter painter(&image);
        paint(painter);
        return;
    }
    QImage before(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(before.scanLine(y));
        for (int x = 0; x < w; ++x) {
            TColor c = bitmap.GetPixelColor(x, y);
            line[x] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
        }
    }
    QImage after = before.copy();
    {
        QPainter painter(&after);
        paint(painter);
    }
    for (int y = 0; y < h; ++y) {
        auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (a[x] != b[x])
                bitmap.SetPixelColor(x, y, RGB(qRed(b[x]), qGreen(b[x]), qBlue(b[x])));
    }
}

class QtCanvasBackend final : public TCanvasBackend {
public:
    TSize TextExtent(const TFont& font, std::string_view text) override
    {
        if (!HaveGuiApp())
            return EstimateTextExtent(font, text);
        QFontMetrics metrics(ToQFont(font));
        return {metrics.horizontalAdvance(FromAnsi(text)), metrics.height()};
    }

    void TextOut(TBitmap& bitmap, const TFont& font, const TBrush& brush, int x, int y, std::string_view text) override
    {
        if (!HaveGuiApp() || text.empty())
            return;
        QFont qfont = ToQFont(font);
        QString s = FromAnsi(text);
        PaintOn(bitmap, [&](QPainter& painter) {
            painter.setFont(qfont);
            QFontMetrics metrics(qfont);
            QRect cell(x, y, metrics.horizontalAdvance(s), metrics.height());
            if (brush.Style != bsClear)
                painter.fillRect(cell, ToQColor(brush.Color));
            painter.setPen(ToQColor(font.Color));
            // The top-left of the text cell is at (x, y).
            painter.drawText(QPoint(x, y + metrics.ascent()), s);
        });
    }

    void Polyline(TBitmap& bitmap, const TPen& pen, const TPoint* points, int count) override
    {
        if (count <= 0 || pen.Style == psClear)
            return;
        std::vector<QPoint> pts;
        pts.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            pts.emplace_back(points[i].X, points[i].Y);
        QPen qpen(ToQColor(pen.Color));
        qpen.setWidth(pen.Width <= 1 ? 0 : pen.Width); // 0: one-pixel cosmetic line
        switch (pen.Style) {
        case psDash: qpen.setStyle(Qt::DashLine); break;
        case psDot: qpen.setStyle(Qt::DotLine); break;
        case psDashDot: qpen.setStyle(Qt::DashDotLine); break;
        case psDashDotDot: qpen.setStyle(Qt::DashDotDotLine); break;
        default: qpen.setStyle(Qt::SolidLine); break;
        }
        PaintOn(bitmap, [&](QPainter& painter) {
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setPen(qpen);
            if (pts.size() == 1)
                painter.drawPoint(pts[0]);
            else
                painter.drawPolyline(pts.data(), static_cast<int>(pts.size()));
        });
    }

    bool SystemColor(int index, TColor& color) override
    {
        if (!HaveGuiApp())
            return false;
        QString platform = QGuiApplication::platformName();
        if (platform == "offscreen" || platform == "minimal")
            return false; // no desktop to ask: the fixed colours apply
        QPalette palette = QGuiApplication::palette();
        QPalette::ColorRole role;
        switch (index) {
        case COLOR_BTNFACE: role = QPalette::Button; break;
        case COLOR_BTNTEXT: role = QPalette::ButtonText; break;
        case COLOR_WINDOW: role = QPalette::Base; break;
        case COLOR_WINDOWTEXT: role = QPalette::Text; break;
        case COLOR_HIGHLIGHT: role = QPalette::Highlight; break;
        case COLOR_HIGHLIGHTTEXT: role = QPalette::HighlightedText; break;
        default: return false;
        }
        QColor c = palette.color(QPalette::Active, role);
        color = RGB(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
        return true;
    }
};

QtCanvasBackend& Backend()
{
    static QtCanvasBackend instance;
    return instance;
}

// The command line runs without a desktop session, where Qt warns once that
// it has no runtime folder and takes one of its own; that warning says nothing
// a user can act on, so it is dropped and every other message passes on.
QtMessageHandler previousMessageHandler = nullptr;

void OffscreenMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (previousMessageHandler)
        previousMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int offscreenArgc = 1;
char offscreenArg0[] = "quillon";
char* offscreenArgv[] = {offscreenArg0, nullptr};

} // namespace

void UseQtGraphics() { SetCanvasBackend(&Backend()); }

TOffscreenGuiApplication::TOffscreenGuiApplication()
{
    if (QCoreApplication::instance())
        return;
    // Only this application object is put on the offscreen platform; the
    // environment of the process is left as it was.
    QByteArray saved = qgetenv("QT_QPA_PLATFORM");
    bool hadValue = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    previousMessageHandler = qInstallMessageHandler(OffscreenMessageHandler);
    app_ = std::make_unique<QGuiApplication>(offscreenArgc, offscreenArgv);
    if (hadValue)
        qputenv("QT_QPA_PLATFORM", saved);
    else
        qunsetenv("QT_QPA_PLATFORM");
}

TOffscreenGuiApplication::~TOffscreenGuiApplication() = default;
