// SPDX-License-Identifier: GPL-3.0-or-later
// A GIF drawn onto a bitmap's canvas goes through its palette.
#include <gtest/gtest.h>

#include "PictureTestSupport.h"
#include "graphics/Gif.h"
#include "runtime/Graphics.h"

TEST(Canvas, StretchDrawsAGifThroughItsPalette)
{
    GifSpec g;
    g.global = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    g.data = LiteralCodes({0, 1, 2, 3}, 2);
    TGIF gif;
    TMemoryStream s = StreamOf(BuildGif(g));
    gif.LoadFromStream(s);
    TBitmap b;
    b.SetSize(8, 2);
    b.Canvas()->StretchDraw(Rect(0, 0, 8, 2), &gif);
    EXPECT_EQ(b.GetPixelColor(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(b.GetPixelColor(3, 1), RGB(0, 255, 0));
    EXPECT_EQ(b.GetPixelColor(5, 0), RGB(0, 0, 255));
    EXPECT_EQ(b.GetPixelColor(7, 1), clWhite);
}
