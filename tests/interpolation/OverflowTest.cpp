#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool Same(const RGBQUAD& a, const RGBQUAD& b) {
    return std::memcmp(&a, &b, 4) == 0;
}

long FoldX(CxImage& image, long x, CxImage::OverflowMethod method) {
    long y = 0;
    image.OverflowCoordinates(x, y, method);
    return x;
}

float FoldX(CxImage& image, float x, CxImage::OverflowMethod method) {
    float y = 0;
    image.OverflowCoordinates(x, y, method);
    return x;
}

TEST(Overflow, IntegerFolds) {
    CxImage image(4, 4, 8);
    const long wrap[][2] = {{-1, 3}, {-4, 0}, {-5, 3}, {4, 0}, {9, 1}};
    for (auto& c : wrap) EXPECT_EQ(FoldX(image, c[0], CxImage::OM_WRAP), c[1]) << c[0];
    const long repeat[][2] = {{-7, 0}, {4, 3}, {100, 3}};
    for (auto& c : repeat) EXPECT_EQ(FoldX(image, c[0], CxImage::OM_REPEAT), c[1]) << c[0];
    const long mirror[][2] = {{-1, 1}, {-3, 3}, {-4, 0}, {4, 3}, {5, 2}, {8, 3}};
    for (auto& c : mirror) EXPECT_EQ(FoldX(image, c[0], CxImage::OM_MIRROR), c[1]) << c[0];
    for (int m : {0, 1, 2, 3, 7}) {
        EXPECT_EQ(FoldX(image, -9L, static_cast<CxImage::OverflowMethod>(m)), -9);
    }
    // Inside points stay for every method.
    for (int m = 0; m <= 7; ++m) {
        long x = 2, y = 3;
        image.OverflowCoordinates(x, y, static_cast<CxImage::OverflowMethod>(m));
        EXPECT_EQ(x, 2);
        EXPECT_EQ(y, 3);
    }
    // No pixels: nothing to fold onto and no division by zero.
    CxImage empty;
    long x = -3, y = 5;
    empty.OverflowCoordinates(x, y, CxImage::OM_WRAP);
    empty.OverflowCoordinates(x, y, CxImage::OM_MIRROR);
    EXPECT_EQ(x, -3);
}

TEST(Overflow, FloatFolds) {
    CxImage image(4, 4, 8);
    EXPECT_EQ(FoldX(image, -0.25f, CxImage::OM_WRAP), 3.75f);
    EXPECT_EQ(FoldX(image, 4.0f, CxImage::OM_WRAP), 0.0f);
    EXPECT_EQ(FoldX(image, -0.25f, CxImage::OM_MIRROR), 0.25f);
    EXPECT_EQ(FoldX(image, 4.25f, CxImage::OM_MIRROR), 2.75f);
    EXPECT_EQ(FoldX(image, 4.0f, CxImage::OM_MIRROR), 3.0f);
    EXPECT_EQ(FoldX(image, 7.5f, CxImage::OM_REPEAT), 3.0f);
    EXPECT_EQ(FoldX(image, -0.5f, CxImage::OM_REPEAT), 0.0f);
    float x = 5.0f, y = 3.5f;
    image.OverflowCoordinates(x, y, CxImage::OM_REPEAT);
    EXPECT_EQ(x, 3.0f);
    EXPECT_EQ(y, 3.0f);
    x = 2.0f, y = 3.5f;
    image.OverflowCoordinates(x, y, CxImage::OM_REPEAT);
    EXPECT_EQ(y, 3.5f);
    // NaN fails the inside test; edge-repeat turns it into 0.
    x = std::numeric_limits<float>::quiet_NaN(), y = 1.0f;
    image.OverflowCoordinates(x, y, CxImage::OM_REPEAT);
    EXPECT_EQ(x, 0.0f);
}

TEST(Overflow, ColourMethods) {
    CxImage image(2, 2, 24);
    image.Clear(10);
    const RGBQUAD white = {255, 255, 255, 0};
    EXPECT_TRUE(Same(image.GetPixelColorWithOverflow(-1, 0, CxImage::OM_COLOR, nullptr), white));
    RGBQUAD replacement = {1, 2, 3, 4};
    EXPECT_TRUE(
        Same(image.GetPixelColorWithOverflow(-1, 0, CxImage::OM_COLOR, &replacement), replacement));
    for (int m : {0, 7, -3}) {
        EXPECT_TRUE(Same(image.GetPixelColorWithOverflow(
                             5, 5, static_cast<CxImage::OverflowMethod>(m), &replacement),
                         replacement));
    }
    // Background: the stored transparent colour, all four bytes.
    image.SetTransColor(RGBQUAD{7, 8, 9, 0});
    image.SetTransIndex(0);
    EXPECT_TRUE(Same(image.GetPixelColorWithOverflow(9, 0, CxImage::OM_BACKGROUND, nullptr),
                     (RGBQUAD{7, 8, 9, 0})));
    // Transparent: with an alpha plane the fallback with a zero fourth byte.
    image.AlphaCreate();
    EXPECT_TRUE(Same(image.GetPixelColorWithOverflow(9, 0, CxImage::OM_TRANSPARENT, &replacement),
                     (RGBQUAD{1, 2, 3, 0})));

    CxImage grey(2, 2, 8);
    grey.SetPaletteColor(5, 50, 60, 70);
    grey.SetTransIndex(5);
    EXPECT_TRUE(Same(grey.GetPixelColorWithOverflow(9, 0, CxImage::OM_TRANSPARENT, nullptr),
                     (RGBQUAD{70, 60, 50, 0})));
    grey.SetTransIndex(-1);
    EXPECT_TRUE(
        Same(grey.GetPixelColorWithOverflow(9, 0, CxImage::OM_TRANSPARENT, nullptr), white));
    // The transparent method only takes indices of 0 and above.
    grey.SetTransIndex(-2);
    EXPECT_TRUE(
        Same(grey.GetPixelColorWithOverflow(9, 0, CxImage::OM_TRANSPARENT, nullptr), white));
}

TEST(Overflow, RemappingMethodsReadFoldedPixels) {
    CxImage image(4, 1, 8);
    image.SetGrayPalette();
    for (long x = 0; x < 4; ++x) image.SetPixelIndex(x, 0, static_cast<unsigned char>(x * 10));
    EXPECT_EQ(image.GetPixelColorWithOverflow(-1, 0, CxImage::OM_WRAP, nullptr).rgbRed, 30);
    EXPECT_EQ(image.GetPixelColorWithOverflow(-1, 0, CxImage::OM_MIRROR, nullptr).rgbRed, 10);
    EXPECT_EQ(image.GetPixelColorWithOverflow(9, 7, CxImage::OM_REPEAT, nullptr).rgbRed, 30);
    CxImage empty;
    EXPECT_EQ(empty.GetPixelColorWithOverflow(0, 0, CxImage::OM_WRAP, nullptr).rgbRed, 255);
}

// The extremes of long, whatever its width, fold to the pixel the rules give
// (no negation of the most negative value, no read outside the row).
TEST(Overflow, ExtremeLongsFoldInside) {
    CxImage image(7, 1, 8);
    image.SetGrayPalette();
    for (long x = 0; x < 7; ++x) image.SetPixelIndex(x, 0, static_cast<unsigned char>(x * 10));
    const long min = std::numeric_limits<long>::min(), max = std::numeric_limits<long>::max();
    // |min| mod 7 and max mod 7, computed without overflow.
    const long minMod = static_cast<long>(-(min + 7) % 7), maxMod = max % 7;
    const struct {
        long x;
        CxImage::OverflowMethod method;
        long folded;
    } cases[] = {
        {min, CxImage::OM_WRAP, (7 - minMod) % 7},
        {max, CxImage::OM_WRAP, maxMod},
        {min, CxImage::OM_MIRROR, minMod},
        {max, CxImage::OM_MIRROR, 6 - maxMod},
        {min, CxImage::OM_REPEAT, 0},
        {max, CxImage::OM_REPEAT, 6},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FoldX(image, c.x, c.method), c.folded) << c.x << " method " << c.method;
        EXPECT_EQ(image.GetPixelColorWithOverflow(c.x, 0, c.method, nullptr).rgbRed, c.folded * 10)
            << c.x << " method " << c.method;
    }
}

} // namespace
