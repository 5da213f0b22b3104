// SPDX-License-Identifier: GPL-3.0-or-later
// The graphics tests draw text, which needs a Qt application: one on the
// offscreen platform, with the Qt canvas backend installed.
#include <gtest/gtest.h>

#include "runtime/gui/QtGraphics.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    TOffscreenGuiApplication app;
    UseQtGraphics();
    return RUN_ALL_TESTS();
}
