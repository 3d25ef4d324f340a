#include "image/CxImage.h"

#include <gtest/gtest.h>

namespace {

TEST(AreaInterpolation, GridWeightsCornersEdgesAndInner) {
    // Centre (2, 2), 2 x 2: corners weigh 0.25, edges 0.5, the middle 1; the
    // total 4 is the area. Red 200 in the middle and 100 at (2, 1):
    // (200 + 0.5·100) / 4 = 62.5.
    CxImage image(5, 5, 24);
    image.Clear(0);
    image.SetPixelColor(2, 2, RGBQUAD{0, 0, 200, 0});
    image.SetPixelColor(2, 1, RGBQUAD{0, 0, 100, 0});
    image.SetPixelColor(1, 1, RGBQUAD{0, 0, 40, 0}); // corner: 0.25·40 = 10
    const RGBQUAD c = image.GetAreaColorInterpolated(
        2.0f, 2.0f, 2.0f, 2.0f, CxImage::IM_NEAREST_NEIGHBOUR, CxImage::OM_REPEAT, nullptr);
    EXPECT_EQ(c.rgbRed, 65); // (200 + 50 + 10) / 4
    EXPECT_EQ(c.rgbBlue, 0);
    EXPECT_EQ(c.rgbReserved, 0);
}

TEST(AreaInterpolation, UniformColourSurvivesBothPaths) {
    CxImage image(8, 8, 24);
    image.Clear(90);
    const RGBQUAD grid = image.GetAreaColorInterpolated(
        3.5f, 3.5f, 3.0f, 2.5f, CxImage::IM_BILINEAR, CxImage::OM_REPEAT, nullptr);
    EXPECT_GE(grid.rgbRed, 89);
    EXPECT_LE(grid.rgbRed, 90);
    const RGBQUAD cells = image.GetAreaColorInterpolated(
        3.5f, 3.5f, 3.0f, 0.5f, CxImage::IM_BILINEAR, CxImage::OM_REPEAT, nullptr);
    EXPECT_GE(cells.rgbGreen, 89);
    EXPECT_LE(cells.rgbGreen, 90);
}

TEST(AreaInterpolation, PerCellSamplingAtCoveredCentres) {
    // w = 3, h = 0.5 at (2, 2): cells 1, 2, 3 are half covered, cell 4 only
    // touched (weight 0); nearest sampling gives the mean of columns 1 to 3.
    CxImage image(6, 4, 24);
    for (long x = 0; x < 6; ++x)
        for (long y = 0; y < 4; ++y)
            image.SetPixelColor(x, y, RGBQUAD{0, 0, static_cast<uint8_t>(10 * x), 0});
    const RGBQUAD c = image.GetAreaColorInterpolated(
        2.0f, 2.0f, 3.0f, 0.5f, CxImage::IM_NEAREST_NEIGHBOUR, CxImage::OM_REPEAT, nullptr);
    EXPECT_EQ(c.rgbRed, 20);
}

TEST(AreaInterpolation, SmallAreasArePointSamples) {
    CxImage image(4, 4, 24);
    for (long x = 0; x < 4; ++x)
        for (long y = 0; y < 4; ++y)
            image.SetPixelColor(x, y, RGBQUAD{0, static_cast<uint8_t>(x + 4 * y), 0, 0});
    for (int m = 1; m <= 16; ++m) {
        const auto method = static_cast<CxImage::InterpolationMethod>(m);
        const RGBQUAD area = image.GetAreaColorInterpolated(1.3f, 2.2f, 1.0f, 1.0f, method,
                                                            CxImage::OM_REPEAT, nullptr);
        const RGBQUAD point =
            image.GetPixelColorInterpolated(1.3f, 2.2f, method, CxImage::OM_REPEAT, nullptr);
        EXPECT_EQ(CxImage::RGBQUADtoRGB(area), CxImage::RGBQUADtoRGB(point)) << m;
    }
}

TEST(AreaInterpolation, AlphaAveragedOnlyWithAPlane) {
    CxImage image(4, 4, 24);
    image.Clear(10);
    EXPECT_EQ(image
                  .GetAreaColorInterpolated(1.5f, 1.5f, 2.0f, 2.0f, CxImage::IM_BILINEAR,
                                            CxImage::OM_REPEAT, nullptr)
                  .rgbReserved,
              0);
    image.AlphaCreate();
    image.AlphaSet(static_cast<unsigned char>(200));
    EXPECT_GE(image
                  .GetAreaColorInterpolated(1.5f, 1.5f, 2.0f, 2.0f, CxImage::IM_BILINEAR,
                                            CxImage::OM_REPEAT, nullptr)
                  .rgbReserved,
              199);
}

} // namespace
