#include "tests/image/TestImage.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <utility>

namespace {

TEST(ImagePixels, FourBitPackingHighNibbleFirst) {
    CxImage image(4, 1, 4);
    image.Clear(0);
    image.GetBits(0)[0] = 0x05;
    image.SetPixelIndex(0, 0, 0x1F);
    EXPECT_EQ(image.GetBits(0)[0], 0xF5);
    image.SetPixelIndex(1, 0, 3);
    EXPECT_EQ(image.GetBits(0)[0], 0xF3);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 15);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 3);
}

TEST(ImagePixels, OneBitPackingMostSignificantBitFirst) {
    CxImage image(12, 2, 1);
    image.Clear(0);
    image.SetPixelIndex(9, 1, 1);
    EXPECT_EQ(image.GetBits(1)[1], 0x40); // bit 6 of byte 1
    image.SetPixelIndex(0, 1, 3);         // only the low bit counts
    EXPECT_EQ(image.GetBits(1)[0], 0x80);
    EXPECT_EQ(image.GetPixelIndex(9, 1), 1);
    EXPECT_EQ(image.GetPixelIndex(8, 1), 0);
    image.SetPixelIndex(9, 1, 0);
    EXPECT_EQ(image.GetBits(1)[1], 0x00);
}

TEST(ImagePixels, TwentyFourBitBlueGreenRed) {
    TestImage image(2, 2, 24);
    image.Clear(0);
    image.SetPixelColor(1, 1, Rgb(30, 20, 10), false);
    const uint8_t* pixel = image.GetBits(1) + 3;
    EXPECT_EQ(pixel[0], 10);
    EXPECT_EQ(pixel[1], 20);
    EXPECT_EQ(pixel[2], 30);
    EXPECT_EQ(image.BlindGetPixelPointer(1, 1), pixel);
    image.SetPixelColor(0, 0, 0x00030201ul);
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0), Rgb(1, 2, 3)));
    TestImage grey(2, 2, 8);
    EXPECT_EQ(grey.BlindGetPixelPointer(0, 0), nullptr);
}

TEST(ImagePixels, IndexReadsOutsideFallBack) {
    CxImage image(3, 3, 8);
    image.Clear(0);
    image.SetPixelIndex(0, 0, 42);
    EXPECT_EQ(image.GetPixelIndex(-1, 0), 42);
    image.SetTransIndex(5);
    EXPECT_EQ(image.GetPixelIndex(-1, 0), 5);
    EXPECT_EQ(image.GetPixelIndex(0, 3), 5);
    // Below 8 bpp the fallback is the whole first byte.
    CxImage mono(8, 1, 1);
    mono.Clear(0);
    mono.GetBits(0)[0] = 0xA5;
    EXPECT_EQ(mono.GetPixelIndex(100, 0), 0xA5);
    CxImage colour(2, 2, 24);
    EXPECT_EQ(colour.GetPixelIndex(0, 0), 0);
}

TEST(ImagePixels, ColourReadsOutsideFallBack) {
    CxImage image(3, 2, 24);
    image.Clear(0);
    image.SetPixelColor(0, 0, Rgb(1, 2, 3));
    EXPECT_TRUE(SameColour(image.GetPixelColor(3, 0, false), Rgb(1, 2, 3)));
    image.AlphaCreate();
    image.AlphaSet(0, 0, 77);
    EXPECT_TRUE(SameColour(image.GetPixelColor(3, 0, false), Rgb(1, 2, 3, 77)));
    image.SetTransColor(Rgb(9, 8, 7));
    image.SetTransIndex(0);
    EXPECT_TRUE(SameColour(image.GetPixelColor(-1, -1), Rgb(9, 8, 7)));

    CxImage grey(2, 2, 8);
    grey.SetPaletteColor(4, 11, 12, 13, 14);
    grey.SetTransIndex(4);
    EXPECT_TRUE(SameColour(grey.GetPixelColor(5, 5), Rgb(11, 12, 13, 14)));
    grey.Destroy();
    EXPECT_TRUE(SameColour(grey.GetPixelColor(0, 0), Rgb(0, 0, 0, 0)));

    CxImage empty;
    empty.SetTransColor(Rgb(4, 5, 6));
    EXPECT_TRUE(SameColour(empty.GetPixelColor(0, 0), Rgb(4, 5, 6)));
}

TEST(ImagePixels, AlphaJoinsColourOnlyWhenAsked) {
    TestImage image(2, 1, 24);
    image.Clear(0);
    image.AlphaCreate();
    image.AlphaSet(1, 0, 66);
    EXPECT_EQ(image.GetPixelColor(1, 0, true).rgbReserved, 66);
    EXPECT_EQ(image.GetPixelColor(1, 0, false).rgbReserved, 0);
    EXPECT_EQ(image.BlindGetPixelColor(1, 0).rgbReserved, 66);
    image.SetPixelColor(0, 0, Rgb(1, 1, 1, 33), true);
    EXPECT_EQ(image.AlphaGet(0, 0), 33);
}

TEST(ImagePixels, PaletteWritesGoThroughNearestIndexWithoutAlpha) {
    CxImage image(2, 1, 8);
    image.SetGrayPalette();
    image.AlphaCreate();
    image.SetPixelColor(0, 0, Rgb(100, 100, 101, 5), true);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 100);
    EXPECT_EQ(image.AlphaGet(0, 0), 255);
}

TEST(ImagePixels, GreyLevels) {
    CxImage image(4, 1, 24);
    image.SetPixelColor(0, 0, Rgb(255, 0, 0));
    image.SetPixelColor(1, 0, Rgb(0, 255, 0));
    image.SetPixelColor(2, 0, Rgb(0, 0, 255));
    image.SetPixelColor(3, 0, Rgb(255, 255, 255));
    EXPECT_EQ(image.GetPixelGray(0, 0), 76);
    EXPECT_EQ(image.GetPixelGray(1, 0), 149);
    EXPECT_EQ(image.GetPixelGray(2, 0), 29);
    EXPECT_EQ(image.GetPixelGray(3, 0), 255);
}

TEST(ImagePixels, BlendWeightsIn256ths) {
    CxImage image(3, 1, 24);
    image.Clear(0);
    image.BlendPixelColor(0, 0, Rgb(255, 255, 255), 0.5f);
    image.BlendPixelColor(1, 0, Rgb(255, 255, 255), 1.0f);
    image.BlendPixelColor(2, 0, Rgb(255, 255, 255), 0.0f);
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0), Rgb(127, 127, 127)));
    EXPECT_TRUE(SameColour(image.GetPixelColor(1, 0), Rgb(255, 255, 255)));
    EXPECT_TRUE(SameColour(image.GetPixelColor(2, 0), Rgb(0, 0, 0)));
    // Factors outside 0..1 and NaN stay within the two colours.
    image.BlendPixelColor(0, 0, Rgb(10, 10, 10), 7.0f);
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0), Rgb(10, 10, 10)));
    image.BlendPixelColor(0, 0, Rgb(200, 200, 200), std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0), Rgb(10, 10, 10)));
    image.BlendPixelColor(-1, 0, Rgb(200, 200, 200), 0.5f);
}

TEST(ImagePixels, TransparencyOfPoints) {
    CxImage colour(2, 2, 24);
    colour.Clear(0);
    EXPECT_FALSE(colour.IsTransparent(0, 0));
    EXPECT_FALSE(colour.IsTransparent(-1, 0));
    colour.SetTransColor(Rgb(0, 0, 0));
    colour.SetTransIndex(0);
    EXPECT_TRUE(colour.IsTransparent(1, 1));
    EXPECT_TRUE(colour.IsTransparent(9, 9));

    CxImage grey(2, 2, 8);
    grey.Clear(3);
    grey.SetTransIndex(3);
    EXPECT_TRUE(grey.IsTransparent(0, 0));
    EXPECT_TRUE(grey.IsTransparent(5, 5));
    grey.SetPixelIndex(0, 0, 4);
    EXPECT_FALSE(grey.IsTransparent(0, 0));
    grey.AlphaCreate();
    grey.AlphaSet(0, 0, 0);
    EXPECT_TRUE(grey.IsTransparent(0, 0));
}

TEST(ImagePixels, DrawLineWalksBothEnds) {
    CxImage image(8, 8, 8);
    image.SetGrayPalette();
    using P = std::set<std::pair<long, long>>;
    auto drawn = [&](int x0, int x1, int y0, int y1) {
        image.Clear(0);
        image.DrawLine(x0, x1, y0, y1, Rgb(255, 255, 255), false);
        P result;
        for (long y = 0; y < 8; ++y)
            for (long x = 0; x < 8; ++x)
                if (image.GetPixelIndex(x, y) != 0) result.insert({x, y});
        return result;
    };
    EXPECT_EQ(drawn(0, 3, 0, 1), (P{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(drawn(2, 2, 5, 5), (P{{2, 5}}));
    EXPECT_EQ(drawn(3, 0, 0, 0), (P{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(drawn(-2, 2, 0, 0), (P{{0, 0}, {1, 0}, {2, 0}}));
    EXPECT_EQ(drawn(1, 1, 7, 5), (P{{1, 5}, {1, 6}, {1, 7}}));
    // Extreme coordinates stay defined and only the inside is drawn.
    image.Clear(0);
    image.DrawLine(INT32_MIN, INT32_MIN + 4, 0, 0, Rgb(255, 255, 255), false);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 0);
}

// The integer walk exactly as documented, visiting every point.
std::set<std::pair<long, long>> ReferenceLine(long x0, long x1, long y0, long y1, long w, long h) {
    const long dx = std::labs(x1 - x0), dy = std::labs(y1 - y0);
    const long sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    const bool xMajor = dx >= dy;
    long den = xMajor ? dx : dy, num = den / 2, numadd = xMajor ? dy : dx, x = x0, y = y0;
    std::set<std::pair<long, long>> points;
    for (long i = 0; i <= den; ++i) {
        if (x >= 0 && x < w && y >= 0 && y < h) points.insert({x, y});
        num += numadd;
        if (num >= den) {
            num -= den;
            (xMajor ? y : x) += xMajor ? sy : sx;
        }
        (xMajor ? x : y) += xMajor ? sx : sy;
    }
    return points;
}

TEST(ImagePixels, DrawLineSkipsOnlyPointsOutside) {
    CxImage image(16, 12, 8);
    image.SetGrayPalette();
    unsigned state = 7;
    auto next = [&]() {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 8) % 241) - 120;
    };
    for (int line = 0; line < 400; ++line) {
        const int x0 = next(), x1 = next(), y0 = next(), y1 = next();
        image.Clear(0);
        image.DrawLine(x0, x1, y0, y1, Rgb(255, 255, 255), false);
        std::set<std::pair<long, long>> drawn;
        for (long y = 0; y < 12; ++y)
            for (long x = 0; x < 16; ++x)
                if (image.GetPixelIndex(x, y) != 0) drawn.insert({x, y});
        ASSERT_EQ(drawn, ReferenceLine(x0, x1, y0, y1, 16, 12))
            << x0 << "," << y0 << " -> " << x1 << "," << y1;
    }
    // End points at the extremes of int draw the whole row at once.
    image.Clear(0);
    image.DrawLine(INT32_MIN, INT32_MAX, 3, 3, Rgb(255, 255, 255), false);
    for (long x = 0; x < 16; ++x) EXPECT_EQ(image.GetPixelIndex(x, 3), 255);
    EXPECT_EQ(image.GetPixelIndex(0, 4), 0);
}

} // namespace
