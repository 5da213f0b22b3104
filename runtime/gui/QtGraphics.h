// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Qt side of the runtime's graphics: lines and text drawn with QPainter
// on a TBitmap's own pixels, text measured with QFont, system colours from
// the desktop palette.
#include <memory>

class QGuiApplication;

// Installs the Qt canvas backend for the whole process (idempotent). Text
// needs a QGuiApplication; while there is none, text is measured with the
// runtime's estimate and not drawn, and lines are still drawn.
void UseQtGraphics();

// A QGuiApplication for programs without a window system (the command line,
// tests): when no Qt application exists yet, creates one on the "offscreen"
// platform and destroys it with this object; otherwise does nothing.
class TOffscreenGuiApplication {
public:
    TOffscreenGuiApplication();
    ~TOffscreenGuiApplication();
    TOffscreenGuiApplication(const TOffscreenGuiApplication&) = delete;
    TOffscreenGuiApplication& operator=(const TOffscreenGuiApplication&) = delete;

private:
    std::unique_ptr<QGuiApplication> app_;
};
