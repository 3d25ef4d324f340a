#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

CxImage Pattern(long width, long height, unsigned bpp = 24) {
    CxImage image(width, height, bpp);
    if (bpp <= 8) image.SetGrayPalette();
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x) {
            const uint8_t v = static_cast<uint8_t>((x * 29 + y * 53) & 0xFF);
            image.SetPixelColor(x, y, RGBQUAD{v, static_cast<uint8_t>(255 - v), v, 0});
        }
    return image;
}

bool SamePixels(CxImage& a, CxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (long y = 0; y < static_cast<long>(a.GetHeight()); ++y)
        for (long x = 0; x < static_cast<long>(a.GetWidth()); ++x)
            if (CxImage::RGBQUADtoRGB(a.GetPixelColor(x, y)) !=
                CxImage::RGBQUADtoRGB(b.GetPixelColor(x, y)))
                return false;
    return true;
}

TEST(Resample2, SameSizeAndInvalidSizes) {
    CxImage image = Pattern(6, 4);
    CxImage copy;
    EXPECT_TRUE(image.Resample2(6, 4, CxImage::IM_BICUBIC, CxImage::OM_REPEAT, &copy));
    EXPECT_TRUE(SamePixels(copy, image));
    void* buffer = image.GetDIB();
    EXPECT_TRUE(image.Resample2(6, 4));
    EXPECT_EQ(image.GetDIB(), buffer);
    EXPECT_FALSE(image.Resample2(0, 10));
    EXPECT_FALSE(image.Resample2(10, -1));
    CxImage empty;
    EXPECT_FALSE(empty.Resample2(3, 3));
}

TEST(Resample2, EnlargingWithNearestRepeatsPixels) {
    CxImage image = Pattern(2, 2);
    CxImage large;
    ASSERT_TRUE(image.Resample2(4, 4, CxImage::IM_NEAREST_NEIGHBOUR, CxImage::OM_REPEAT, &large));
    EXPECT_EQ(image.GetWidth(), 2u);
    for (long y = 0; y < 4; ++y)
        for (long x = 0; x < 4; ++x)
            EXPECT_EQ(CxImage::RGBQUADtoRGB(large.GetPixelColor(x, y)),
                      CxImage::RGBQUADtoRGB(image.GetPixelColor(x / 2, y / 2)));
}

// Each target pixel of a nearest-neighbour or bilinear resampling is the
// single sample at its source point, whatever the image: grey ramp, 24 bits
// with alpha, a palette of four bits; at the edges the samples fall outside
// and overflow.
TEST(Resample2, PointSamplesMatchSingleSamples) {
    CxImage grey = Pattern(7, 5, 8), colour = Pattern(7, 5), palette = Pattern(7, 5, 4);
    colour.AlphaCreate();
    for (long x = 0; x < 7; ++x) colour.AlphaSet(x, 2, static_cast<uint8_t>(40 * x));
    palette.SetPaletteColor(3, 10, 200, 30);
    struct Case {
        long width, height;
        bool disableAveraging;
    };
    for (auto method : {CxImage::IM_NEAREST_NEIGHBOUR, CxImage::IM_BILINEAR})
        for (CxImage* image : {&grey, &colour, &palette})
            for (const Case& c : {Case{16, 11, false}, Case{9, 3, true}, Case{30, 5, false}})
                for (auto overflow : {CxImage::OM_BACKGROUND, CxImage::OM_MIRROR, CxImage::OM_WRAP,
                                      CxImage::OM_REPEAT}) {
                    CxImage result;
                    ASSERT_TRUE(image->Resample2(c.width, c.height, method, overflow, &result,
                                                 c.disableAveraging));
                    const double xs = static_cast<float>(7.0 / c.width);
                    const double ys = static_cast<float>(5.0 / c.height);
                    CxImage expected(c.width, c.height, image->GetBpp());
                    expected.SetPalette(image->GetPalette(), image->GetNumColors());
                    if (image->AlphaIsValid()) expected.AlphaCreate();
                    for (long y = 0; y < c.height; ++y)
                        for (long x = 0; x < c.width; ++x)
                            expected.SetPixelColor(x, y,
                                                   image->GetPixelColorInterpolated(
                                                       static_cast<float>((x + 0.5) * xs - 0.5),
                                                       static_cast<float>((y + 0.5) * ys - 0.5),
                                                       method, overflow),
                                                   true);
                    for (long y = 0; y < c.height; ++y)
                        for (long x = 0; x < c.width; ++x) {
                            const RGBQUAD a = result.GetPixelColor(x, y, true);
                            const RGBQUAD b = expected.GetPixelColor(x, y, true);
                            ASSERT_TRUE(a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen &&
                                        a.rgbRed == b.rgbRed && a.rgbReserved == b.rgbReserved)
                                << method << ", " << image->GetBpp() << " bpp to " << c.width
                                << " x " << c.height << ", overflow " << overflow << ", pixel " << x
                                << ", " << y;
                        }
                }
}

TEST(Resample2, ShrinkingAveragesAreas) {
    // 4 x 4 to 2 x 2: each target pixel covers a 2 x 2 block centred at
    // (2x + 0.5, 2y + 0.5), so it is the block's mean.
    CxImage image(4, 4, 24);
    image.Clear(0);
    image.SetPixelColor(0, 0, RGBQUAD{0, 0, 200, 0});
    image.SetPixelColor(1, 1, RGBQUAD{0, 0, 100, 0});
    ASSERT_TRUE(image.Resample2(2, 2, CxImage::IM_BILINEAR, CxImage::OM_REPEAT));
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbRed, 75);
    EXPECT_EQ(image.GetPixelColor(1, 1).rgbRed, 0);
    // Without averaging, the point sample at (0.5, 0.5) is bilinear.
    CxImage point(4, 4, 24);
    point.Clear(0);
    point.SetPixelColor(0, 0, RGBQUAD{0, 0, 200, 0});
    ASSERT_TRUE(point.Resample2(2, 2, CxImage::IM_BILINEAR, CxImage::OM_REPEAT, nullptr, true));
    EXPECT_EQ(point.GetPixelColor(0, 0).rgbRed, 50);
}

TEST(Resample2, IndexedImagesKeepTheirPalette) {
    CxImage image = Pattern(8, 8, 8);
    ASSERT_TRUE(image.Resample2(3, 5, CxImage::IM_BICUBIC2, CxImage::OM_REPEAT));
    EXPECT_EQ(image.GetBpp(), 8);
    EXPECT_TRUE(image.IsGrayScale());
    EXPECT_EQ(image.GetWidth(), 3u);
}

TEST(Rotate2, RightAngleShortcuts) {
    CxImage image = Pattern(5, 3);
    CxImage expected(image), result;
    expected.RotateRight();
    ASSERT_TRUE(image.Rotate2(90.0f, &result));
    EXPECT_TRUE(SamePixels(result, expected));
    expected = image;
    expected.RotateLeft();
    ASSERT_TRUE(image.Rotate2(-90.0f, &result));
    EXPECT_TRUE(SamePixels(result, expected));
    expected = image;
    expected.Rotate180();
    ASSERT_TRUE(image.Rotate2(180.0f, &result));
    EXPECT_TRUE(SamePixels(result, expected));
    ASSERT_TRUE(image.Rotate2(360.0f, &result));
    EXPECT_TRUE(SamePixels(result, image));
}

TEST(Rotate2, CanvasSizes) {
    CxImage image = Pattern(10, 10);
    CxImage result;
    ASSERT_TRUE(image.Rotate2(45.0f, &result));
    EXPECT_EQ(result.GetWidth(), 14u);
    EXPECT_EQ(result.GetHeight(), 14u);
    // Corners map outside: the sample colour (white) with background overflow.
    EXPECT_EQ(CxImage::RGBQUADtoRGB(result.GetPixelColor(0, 0)), 0x00FFFFFFul);

    CxImage kept;
    ASSERT_TRUE(Pattern(6, 4).Rotate2(90.0f, &kept, CxImage::IM_BILINEAR, CxImage::OM_BACKGROUND,
                                      nullptr, true, true));
    EXPECT_EQ(kept.GetWidth(), 6u);
    EXPECT_EQ(kept.GetHeight(), 4u);
    CxImage empty;
    EXPECT_FALSE(empty.Rotate2(10.0f));
}

TEST(CropRotatedRectangle, TinyAnglesCropAndOutsideCornersFail) {
    CxImage image = Pattern(10, 10);
    CxImage cropped, expected;
    ASSERT_TRUE(image.CropRotatedRectangle(2, 3, 4, 5, 0.0001f, &cropped));
    ASSERT_TRUE(image.Crop(2, 3, 6, 8, &expected));
    EXPECT_TRUE(SamePixels(cropped, expected));
    EXPECT_FALSE(image.CropRotatedRectangle(8, 3, 6, 5, 0.5f, &cropped));
    EXPECT_FALSE(
        image.CropRotatedRectangle(2, 3, 4, 5, std::numeric_limits<float>::quiet_NaN(), &cropped));
    ASSERT_TRUE(image.CropRotatedRectangle(2, 1, 4, 3, 0.3f, &cropped));
    EXPECT_TRUE(cropped.IsValid());
}

} // namespace

// Corners and sides at the extremes of long: sums saturate instead of wrapping
// back inside the image, so the corner test refuses them.
TEST(CropRotatedRectangle, ExtremeArgumentsAreRefused) {
    const long min = std::numeric_limits<long>::min(), max = std::numeric_limits<long>::max();
    const long cases[][4] = {
        {max, 0, max, 1}, {0, min, 2, min}, {1, 1, max, max}, {min, max, min, max}};
    for (const auto& c : cases)
        for (float angle : {0.5f, -2.0f}) {
            CxImage image(8, 8, 24);
            EXPECT_FALSE(image.CropRotatedRectangle(c[0], c[1], c[2], c[3], angle))
                << c[0] << " " << c[1] << " " << c[2] << " " << c[3] << " " << angle;
        }
    // A tiny angle is a plain crop, which holds the saturated far corner to the image.
    CxImage image(8, 8, 24);
    ASSERT_TRUE(image.CropRotatedRectangle(1, 1, max, max, 0.0001f));
    EXPECT_EQ(image.GetWidth(), 7u);
    EXPECT_EQ(image.GetHeight(), 7u);
}
