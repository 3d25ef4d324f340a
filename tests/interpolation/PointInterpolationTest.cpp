#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool Same(const RGBQUAD& a, const RGBQUAD& b) {
    return std::memcmp(&a, &b, 4) == 0;
}

// A 24-bit image whose pixel (x, y) has red 10x + y, green x + 20y, blue 7.
CxImage Ramp(long width, long height) {
    CxImage image(width, height, 24);
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
            image.SetPixelColor(
                x, y,
                RGBQUAD{7, static_cast<uint8_t>(x + 20 * y), static_cast<uint8_t>(10 * x + y), 0});
    return image;
}

TEST(PointInterpolation, NearestRoundsHalfUpFromTruncation) {
    CxImage image = Ramp(5, 5);
    const RGBQUAD p02 = image.GetPixelColor(0, 2);
    EXPECT_TRUE(Same(image.GetPixelColorInterpolated(-0.7f, 2.2f, CxImage::IM_NEAREST_NEIGHBOUR,
                                                     CxImage::OM_COLOR, nullptr),
                     p02));
    // (-1.6, 0) reads column -1 through the overflow method.
    EXPECT_TRUE(Same(image.GetPixelColorInterpolated(-1.6f, 0.0f, CxImage::IM_NEAREST_NEIGHBOUR,
                                                     CxImage::OM_MIRROR, nullptr),
                     image.GetPixelColor(1, 0)));
}

TEST(PointInterpolation, BilinearFixedPointFastPath) {
    CxImage image(3, 3, 24);
    image.Clear(0);
    image.SetPixelColor(1, 1, RGBQUAD{0, 0, 0, 0});
    image.SetPixelColor(2, 1, RGBQUAD{0, 0, 100, 0});
    image.SetPixelColor(1, 2, RGBQUAD{0, 0, 200, 0});
    image.SetPixelColor(2, 2, RGBQUAD{0, 0, 100, 0});
    EXPECT_EQ(
        image
            .GetPixelColorInterpolated(1.5f, 1.5f, CxImage::IM_BILINEAR, CxImage::OM_COLOR, nullptr)
            .rgbRed,
        100);
    CxImage ramp = Ramp(6, 6);
    EXPECT_TRUE(Same(ramp.GetPixelColorInterpolated(3.0f, 4.0f, CxImage::IM_BILINEAR,
                                                    CxImage::OM_COLOR, nullptr),
                     ramp.GetPixelColor(3, 4)));
    // Out-of-range method values are bilinear.
    for (int m : {0, 99, -4}) {
        EXPECT_TRUE(Same(
            ramp.GetPixelColorInterpolated(2.3f, 1.7f, static_cast<CxImage::InterpolationMethod>(m),
                                           CxImage::OM_COLOR, nullptr),
            ramp.GetPixelColorInterpolated(2.3f, 1.7f, CxImage::IM_BILINEAR, CxImage::OM_COLOR,
                                           nullptr)));
    }
}

TEST(PointInterpolation, BilinearAtTheBorder) {
    CxImage image = Ramp(4, 4);
    const RGBQUAD white = {255, 255, 255, 0};
    // x = -1.0 has base cell -2: the window is all outside.
    EXPECT_TRUE(Same(image.GetPixelColorInterpolated(-1.0f, 2.0f, CxImage::IM_BILINEAR,
                                                     CxImage::OM_COLOR, nullptr),
                     white));
    EXPECT_TRUE(Same(image.GetPixelColorInterpolated(-1.0f, 2.0f, CxImage::IM_BILINEAR,
                                                     CxImage::OM_REPEAT, nullptr),
                     image.GetPixelColor(0, 2, false)));
    // Half way between the white fallback and pixel (0, 2): red 0.5·255 + 0.5·2.
    const RGBQUAD half = image.GetPixelColorInterpolated(-0.5f, 2.0f, CxImage::IM_BILINEAR,
                                                         CxImage::OM_COLOR, nullptr);
    EXPECT_EQ(half.rgbRed, static_cast<int>(0.5 * 255 + 0.5 * 2));
    EXPECT_EQ(half.rgbReserved, 0);
}

TEST(PointInterpolation, KernelWindowsOutside) {
    CxImage image = Ramp(4, 4);
    for (int m = CxImage::IM_BSPLINE; m <= CxImage::IM_CATROM; ++m) {
        const auto method = static_cast<CxImage::InterpolationMethod>(m);
        EXPECT_TRUE(
            Same(image.GetPixelColorInterpolated(-20.0f, 1.0f, method, CxImage::OM_COLOR, nullptr),
                 (RGBQUAD{255, 255, 255, 0})))
            << m;
    }
    // Overflow 0 folds nothing: box weights add to 1 over the fallback.
    EXPECT_TRUE(
        Same(image.GetPixelColorInterpolated(-20.0f, 1.0f, CxImage::IM_BOX,
                                             static_cast<CxImage::OverflowMethod>(0), nullptr),
             (RGBQUAD{255, 255, 255, 0})));
}

TEST(PointInterpolation, BoxPicksTheCoveringPixel) {
    CxImage image = Ramp(8, 8);
    EXPECT_TRUE(Same(
        image.GetPixelColorInterpolated(3.5f, 4.0f, CxImage::IM_BOX, CxImage::OM_COLOR, nullptr),
        image.GetPixelColor(3, 4, false)));
}

// An interior point of a 24-bit image takes the direct path; the same image
// seen through an indexed copy's slow path must agree when the colours match.
TEST(PointInterpolation, FastAndSlowPathsAgreeInside) {
    CxImage colour(16, 16, 24);
    CxImage indexed(16, 16, 8);
    indexed.SetGrayPalette();
    for (long y = 0; y < 16; ++y)
        for (long x = 0; x < 16; ++x) {
            const uint8_t v = static_cast<uint8_t>((x * 37 + y * 11) & 0xFF);
            colour.SetPixelColor(x, y, RGBQUAD{v, v, v, 0});
            indexed.SetPixelIndex(x, y, v);
        }
    for (int m = CxImage::IM_BSPLINE; m <= CxImage::IM_CATROM; ++m) {
        const auto method = static_cast<CxImage::InterpolationMethod>(m);
        for (float x : {6.25f, 7.5f, 8.0f}) {
            const RGBQUAD fast =
                colour.GetPixelColorInterpolated(x, 7.75f, method, CxImage::OM_REPEAT, nullptr);
            const RGBQUAD slow =
                indexed.GetPixelColorInterpolated(x, 7.75f, method, CxImage::OM_REPEAT, nullptr);
            EXPECT_TRUE(Same(fast, slow)) << "method " << m << " x " << x;
        }
    }
}

TEST(PointInterpolation, NonFiniteCoordinatesStayInBounds) {
    CxImage image = Ramp(5, 5);
    image.AlphaCreate();
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         3.0e20f,
                         -3.0e20f,
                         3.0e9f,
                         -3.0e9f,
                         2147483520.0f,
                         -2147483648.0f,
                         -2147483904.0f};
    for (int m = 0; m <= 17; ++m)
        for (int o = 0; o <= 7; ++o)
            for (float v : odd) {
                image.GetPixelColorInterpolated(v, 1.0f,
                                                static_cast<CxImage::InterpolationMethod>(m),
                                                static_cast<CxImage::OverflowMethod>(o), nullptr);
                image.GetPixelColorInterpolated(2.0f, v,
                                                static_cast<CxImage::InterpolationMethod>(m),
                                                static_cast<CxImage::OverflowMethod>(o), nullptr);
            }
    CxImage empty;
    EXPECT_EQ(
        empty.GetPixelColorInterpolated(1.0f, 1.0f, CxImage::IM_LANCZOS, CxImage::OM_WRAP, nullptr)
            .rgbRed,
        255);
}

} // namespace
