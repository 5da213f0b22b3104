// SPDX-License-Identifier: GPL-3.0-or-later
// The component tests include widgets: they run inside one QApplication
// (offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
