#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

// 8-bit grey image whose pixel (x, y) holds 1 + x + 10·y.
CxImage Numbered(long width, long height) {
    CxImage image(width, height, 8);
    image.SetGrayPalette();
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
            image.SetPixelIndex(x, y, static_cast<uint8_t>(1 + x + 10 * y));
    return image;
}

TEST(Rotate, ZeroDegreesShiftsByHalfAPixel) {
    CxImage image = Numbered(3, 2);
    image.SetTransIndex(0);
    CxImage rotated;
    ASSERT_TRUE(image.Rotate(0.0f, &rotated));
    EXPECT_EQ(image.GetWidth(), 3u);
    ASSERT_EQ(rotated.GetWidth(), 5u);
    ASSERT_EQ(rotated.GetHeight(), 4u);
    EXPECT_EQ(rotated.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(rotated.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(rotated.GetPixelIndex(2, 0), 2);
    EXPECT_EQ(rotated.GetPixelIndex(3, 1), 3); // row 1 still reads source row 0
    EXPECT_EQ(rotated.GetPixelIndex(3, 2), 13);
    EXPECT_EQ(rotated.GetPixelIndex(4, 0), 0); // beyond the source: background
    EXPECT_EQ(rotated.GetPixelIndex(0, 3), 0);
    EXPECT_TRUE(rotated.IsGrayScale());
}

// Wide enough for several tiles of columns and groups of rows: at 0 degrees
// target (x, y) reads source (x − 1, y − 1), row and column 0 reading 0.
TEST(Rotate, WideImagesKeepEveryTileInPlace) {
    for (unsigned bpp : {8u, 24u}) {
        CxImage image(600, 70, bpp);
        image.AlphaCreate();
        for (long y = 0; y < 70; ++y)
            for (long x = 0; x < 600; ++x) {
                image.SetPixelColor(x, y, RGBQUAD{uint8_t(x), uint8_t(y), uint8_t(x / 256), 0});
                image.AlphaSet(x, y, static_cast<uint8_t>(x + 3 * y));
            }
        CxImage rotated;
        ASSERT_TRUE(image.Rotate(0.0f, &rotated));
        ASSERT_EQ(rotated.GetWidth(), 602u);
        ASSERT_EQ(rotated.GetHeight(), 72u);
        for (long y = 0; y < 72; ++y)
            for (long x = 0; x < 602; ++x) {
                const long sx = std::max(x - 1, 0L), sy = std::max(y - 1, 0L);
                const bool inside = sx < 600 && sy < 70;
                ASSERT_EQ(rotated.AlphaGet(x, y), inside ? image.AlphaGet(sx, sy) : 0) << bpp;
                if (!inside) continue;
                const RGBQUAD a = rotated.GetPixelColor(x, y, false),
                              b = image.GetPixelColor(sx, sy, false);
                ASSERT_EQ(a.rgbBlue | a.rgbGreen << 8 | a.rgbRed << 16,
                          b.rgbBlue | b.rgbGreen << 8 | b.rgbRed << 16)
                    << bpp << " at " << x << ", " << y;
            }
    }
}

// Grey rows a multiple of 1 KiB apart are read through a copy with rows
// further apart: every angle gives what the same picture gives at 24 bpp.
TEST(Rotate, GreyRowsAKibibyteApartTurnAsInColour) {
    CxImage grey(1024, 40, 8);
    grey.SetGrayPalette();
    uint32_t state = 7;
    for (long y = 0; y < 40; ++y)
        for (long x = 0; x < 1024; ++x) {
            state = state * 1664525u + 1013904223u;
            grey.SetPixelIndex(x, y, static_cast<uint8_t>(state >> 24));
        }
    CxImage colour(grey);
    ASSERT_TRUE(colour.IncreaseBpp(24));
    for (float angle : {30.0f, -100.0f, 200.5f}) {
        CxImage a, b;
        ASSERT_TRUE(grey.Rotate(angle, &a));
        ASSERT_TRUE(colour.Rotate(angle, &b));
        ASSERT_EQ(a.GetWidth(), b.GetWidth());
        ASSERT_EQ(a.GetHeight(), b.GetHeight());
        for (long y = 0; y < static_cast<long>(a.GetHeight()); ++y)
            for (long x = 0; x < static_cast<long>(a.GetWidth()); ++x)
                ASSERT_EQ(a.GetPixelIndex(x, y), b.GetPixelColor(x, y).rgbBlue)
                    << angle << " at " << x << ", " << y;
    }
}

TEST(Rotate, QuarterTurnCanvasAndAlpha) {
    CxImage image(4, 2, 24);
    image.Clear(50);
    image.AlphaCreate();
    ASSERT_TRUE(image.Rotate(90.0f));
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetHeight(), 6u);

    CxImage square(10, 10, 24);
    square.Clear(50);
    square.AlphaCreate();
    ASSERT_TRUE(square.Rotate(45.0f));
    ASSERT_TRUE(square.AlphaIsValid());
    EXPECT_EQ(square.AlphaGet(0, 0), 0);
    const long w = static_cast<long>(square.GetWidth()), h = static_cast<long>(square.GetHeight());
    EXPECT_EQ(square.AlphaGet(w / 2, h / 2), 255);
    CxImage empty;
    EXPECT_FALSE(empty.Rotate(10.0f));
    EXPECT_FALSE(square.Rotate(std::numeric_limits<float>::quiet_NaN()));
}

TEST(Skew, ShearsRowsByTheirDistanceToThePivot) {
    CxImage image = Numbered(6, 3);
    CxImage unchanged(image);
    ASSERT_TRUE(unchanged.Skew(0, 0, 0, 0, false));
    for (long y = 0; y < 3; ++y)
        for (long x = 0; x < 6; ++x)
            EXPECT_EQ(unchanged.GetPixelIndex(x, y), image.GetPixelIndex(x, y));
    CxImage sheared(image);
    ASSERT_TRUE(sheared.Skew(1, 0, 0, 0, false));
    EXPECT_EQ(sheared.GetPixelIndex(0, 2), image.GetPixelIndex(2, 2));
    EXPECT_EQ(sheared.GetPixelIndex(3, 1), image.GetPixelIndex(4, 1));
    EXPECT_EQ(sheared.GetPixelIndex(5, 0), image.GetPixelIndex(5, 0));
}

// Pivots at the extremes of long, whatever its width: the distance to the
// pivot is taken without overflow, so every pixel reads from far outside,
// exactly as with a pivot a billion pixels away.
TEST(Skew, ExtremePivotsReadFromFarOutside) {
    const long min = std::numeric_limits<long>::min(), max = std::numeric_limits<long>::max();
    const long away = 1L << 30;
    const long pivots[][4] = {{min, 0, -away, 0}, {0, max, 0, away}, {max, min, away, -away}};
    for (const auto& p : pivots)
        for (bool interpolate : {false, true}) {
            CxImage extreme = Numbered(4, 3), distant = Numbered(4, 3);
            ASSERT_TRUE(extreme.Skew(1.0f, 1.0f, p[0], p[1], interpolate));
            ASSERT_TRUE(distant.Skew(1.0f, 1.0f, p[2], p[3], interpolate));
            for (long y = 0; y < 3; ++y)
                for (long x = 0; x < 4; ++x)
                    EXPECT_EQ(extreme.GetPixelIndex(x, y), distant.GetPixelIndex(x, y))
                        << p[0] << ", " << p[1] << " at " << x << ", " << y;
        }
}

TEST(Skew, OnlySelectedPixelsChange) {
    CxImage image = Numbered(6, 3);
    CxImage selected(image);
    selected.SelectionAddRect(RECT{0, 3, 3, 2}); // row 2, columns 0..2
    ASSERT_TRUE(selected.Skew(1, 0, 0, 0, false));
    EXPECT_EQ(selected.GetPixelIndex(0, 2), image.GetPixelIndex(2, 2));
    EXPECT_EQ(selected.GetPixelIndex(4, 2), image.GetPixelIndex(4, 2));
    EXPECT_EQ(selected.GetPixelIndex(0, 1), image.GetPixelIndex(0, 1));
    EXPECT_TRUE(selected.SelectionIsValid());
}

TEST(CircleTransform, AutomaticRadiusAndBackgroundOutside) {
    CxImage image(100, 100, 24);
    image.Clear(80);
    image.SetTransIndex(0);
    image.SetTransColor(RGBQUAD{1, 2, 3, 0});
    ASSERT_TRUE(image.CircleTransform(0, 0, 0));
    // R = trunc(sqrt(50² + 50²)) = 70.
    EXPECT_EQ(image.GetPixelColor(50, 50).rgbRed, 80);
    EXPECT_EQ(image.GetPixelColor(1, 1).rgbRed, 80); // distance 69.3
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbRed, 3);
}

TEST(CircleTransform, SawtoothShift) {
    CxImage image = Numbered(64, 2);
    image.SetTransIndex(0);
    CxImage shifted(image);
    ASSERT_TRUE(shifted.CircleTransform(5, 200, 0));
    EXPECT_EQ(shifted.GetPixelIndex(0, 0), 0); // reads column -16
    EXPECT_EQ(shifted.GetPixelIndex(16, 0), image.GetPixelIndex(16, 0));
    EXPECT_EQ(shifted.GetPixelIndex(31, 1), image.GetPixelIndex(46, 1));
}

TEST(CircleTransform, SwirlWithHugeCoefficientMirrorsAboutTheCentreColumn) {
    CxImage image = Numbered(20, 20);
    CxImage swirled(image);
    ASSERT_TRUE(swirled.CircleTransform(2, 8, 1.0e9f));
    EXPECT_EQ(swirled.GetPixelIndex(7, 10), image.GetPixelIndex(13, 10));
    EXPECT_EQ(swirled.GetPixelIndex(12, 10), image.GetPixelIndex(8, 10));
}

} // namespace
