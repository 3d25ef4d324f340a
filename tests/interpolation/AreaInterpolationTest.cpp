#include "image/CxImage.h"
#include "image/RowBands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

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

// Resample2's area samples against GetAreaColorInterpolated pixel by pixel,
// each written as SetPixelColor writes it: grids (both axes shrink) and
// per-cell samples (one axis shrinks, or keeps its size), over grey-ramp,
// 24-bit (with and without alpha) and palette sources, with edges sampled
// through the overflow, on one thread and on bands that split the row
// blocks.
TEST(AreaInterpolation, Resample2TakesThePlainAreaSamples) {
    std::mt19937 random(99);
    const long width = 37, height = 23;
    const struct {
        unsigned bpp;
        bool alpha;
    } sources[] = {{8, false}, {24, false}, {24, true}, {4, false}};
    const long sizes[][2] = {{12, 7}, {5, 40}, {1, 50}, {80, 6}, {37, 9}, {9, 23}};
    for (const auto& kind : sources) {
        CxImage image(width, height, kind.bpp);
        if (kind.bpp == 8) image.SetGrayPalette();
        for (long y = 0; y < height; ++y)
            for (long x = 0; x < width; ++x)
                image.SetPixelColor(x, y,
                                    RGBQUAD{static_cast<uint8_t>(random()),
                                            static_cast<uint8_t>(random()),
                                            static_cast<uint8_t>(random()), 0});
        if (kind.alpha) {
            image.AlphaCreate();
            for (long y = 0; y < height; ++y)
                for (long x = 0; x < width; ++x)
                    image.AlphaSet(x, y, static_cast<uint8_t>(random()));
        }
        for (const auto& size : sizes)
            for (auto method :
                 {CxImage::IM_BILINEAR, CxImage::IM_BICUBIC, CxImage::IM_NEAREST_NEIGHBOUR})
                for (auto overflow : {CxImage::OM_REPEAT, CxImage::OM_BACKGROUND})
                    for (int threads : {1, 3}) {
                        CxImage::SetThreadCount(threads);
                        RowBands::SetMinimumPixels(threads > 1 ? 0
                                                               : RowBands::kDefaultMinimumPixels);
                        CxImage result;
                        ASSERT_TRUE(image.Resample2(size[0], size[1], method, overflow, &result));
                        CxImage::SetThreadCount(1);
                        RowBands::SetMinimumPixels(RowBands::kDefaultMinimumPixels);
                        const float xs = static_cast<float>(static_cast<double>(width) / size[0]);
                        const float ys = static_cast<float>(static_cast<double>(height) / size[1]);
                        CxImage expected(result);
                        for (long y = 0; y < size[1]; ++y)
                            for (long x = 0; x < size[0]; ++x)
                                expected.SetPixelColor(x, y,
                                                       image.GetAreaColorInterpolated(
                                                           static_cast<float>((x + 0.5) * xs - 0.5),
                                                           static_cast<float>((y + 0.5) * ys - 0.5),
                                                           xs, ys, method, overflow, nullptr),
                                                       true);
                        const size_t rowBytes = result.GetEffWidth();
                        for (long y = 0; y < size[1]; ++y)
                            ASSERT_EQ(std::memcmp(result.GetBits(y), expected.GetBits(y), rowBytes),
                                      0)
                                << kind.bpp << " bpp to " << size[0] << " x " << size[1]
                                << ", method " << method << ", overflow " << overflow << ", row "
                                << y << ", threads " << threads;
                        if (kind.alpha) {
                            ASSERT_EQ(std::memcmp(result.AlphaGetPointer(),
                                                  expected.AlphaGetPointer(),
                                                  size_t(size[0]) * size_t(size[1])),
                                      0);
                        }
                    }
    }
}

} // namespace
