#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

RGBQUAD Grey(uint8_t v) {
    return RGBQUAD{v, v, v, 0};
}

// A 24-bit image of one row with the given grey levels.
CxImage GreyRow(std::initializer_list<uint8_t> levels) {
    CxImage image(static_cast<unsigned long>(levels.size()), 1, 24);
    long x = 0;
    for (uint8_t v : levels) image.SetPixelColor(x++, 0, Grey(v));
    return image;
}

std::string Bits(CxImage& image) {
    std::string bits;
    for (long y = static_cast<long>(image.GetHeight()) - 1; y >= 0; --y) {
        for (long x = 0; x < static_cast<long>(image.GetWidth()); ++x)
            bits += image.GetPixelIndex(x, y) ? '1' : '0';
        if (y > 0) bits += '/';
    }
    return bits;
}

TEST(DecreaseBpp, NearestColourToBlackAndWhite) {
    CxImage image = GreyRow({100, 200});
    ASSERT_TRUE(image.DecreaseBpp(1, false, nullptr, 0));
    EXPECT_EQ(image.GetBpp(), 1);
    EXPECT_EQ(Bits(image), "01");
    EXPECT_EQ(image.GetPaletteColor(1).rgbRed, 255);
}

TEST(DecreaseBpp, ErrorDiffusionCarriesSevenSixteenths) {
    // 100 is black with error +100; 100·7/16 = 43 lifts the next pixel to
    // 143, nearer to white.
    CxImage diffused = GreyRow({100, 100});
    ASSERT_TRUE(diffused.DecreaseBpp(1, true, nullptr, 0));
    EXPECT_EQ(Bits(diffused), "01");
    CxImage plain = GreyRow({100, 100});
    ASSERT_TRUE(plain.DecreaseBpp(1, false, nullptr, 0));
    EXPECT_EQ(Bits(plain), "00");
}

TEST(DecreaseBpp, ErrorSharesTruncateTowardZero) {
    // 200 is white with error -55: -55·7/16 = -24.06 gives -24, so 152 ends
    // at 128 and is white; rounding down would give 127 and black.
    CxImage image = GreyRow({200, 152});
    ASSERT_TRUE(image.DecreaseBpp(1, true, nullptr, 0));
    EXPECT_EQ(Bits(image), "11");
}

TEST(DecreaseBpp, SameDepthRules) {
    CxImage image(4, 4, 8);
    image.SetGrayPalette();
    image.Clear(77);
    void* buffer = image.GetDIB();
    ASSERT_TRUE(image.DecreaseBpp(8, false, nullptr, 0));
    EXPECT_EQ(image.GetDIB(), buffer);
    ASSERT_TRUE(image.DecreaseBpp(8, false, nullptr, 16));
    EXPECT_NE(image.GetDIB(), buffer);
    EXPECT_EQ(image.GetClrImportant(), 16u);
    CxImage standard(1, 1, 8);
    standard.SetStdPalette();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(CxImage::RGBQUADtoRGB(image.GetPaletteColor(static_cast<unsigned char>(i))),
                  CxImage::RGBQUADtoRGB(standard.GetPaletteColor(static_cast<unsigned char>(i))));
    // With a smaller important count already set, nothing happens.
    buffer = image.GetDIB();
    ASSERT_TRUE(image.DecreaseBpp(8, false, nullptr, 20));
    EXPECT_EQ(image.GetDIB(), buffer);
}

TEST(DecreaseBpp, DepthsAndFailures) {
    CxImage colour = GreyRow({1, 2, 3});
    CxImage copy(colour);
    EXPECT_FALSE(copy.DecreaseBpp(16, false, nullptr, 0));
    EXPECT_EQ(copy.GetBpp(), 24);
    ASSERT_TRUE(copy.DecreaseBpp(2, false, nullptr, 0));
    EXPECT_EQ(copy.GetBpp(), 4);
    EXPECT_FALSE(copy.DecreaseBpp(8, false, nullptr, 0));
    CxImage empty;
    EXPECT_FALSE(empty.DecreaseBpp(1, false, nullptr, 0));
    // A caller's palette is used for the result.
    RGBQUAD palette[16] = {};
    palette[5] = RGBQUAD{0, 0, 255, 0};
    CxImage red(2, 1, 24);
    red.SetPixelColor(0, 0, RGBQUAD{0, 0, 250, 0});
    ASSERT_TRUE(red.DecreaseBpp(4, false, palette, 0));
    EXPECT_EQ(red.GetPixelIndex(0, 0), 5);
}

TEST(DecreaseBpp, CarriesSelectionAndAlpha) {
    CxImage image = GreyRow({10, 250, 30});
    image.AlphaCreate();
    image.AlphaSet(1, 0, 9);
    image.SelectionAddPixel(2, 0);
    ASSERT_TRUE(image.DecreaseBpp(1, false, nullptr, 0));
    EXPECT_EQ(image.AlphaGet(1, 0), 9);
    EXPECT_TRUE(image.SelectionIsInside(2, 0));
    EXPECT_FALSE(image.SelectionIsInside(1, 0));
}

TEST(IncreaseBpp, KeepsColoursAndTransparency) {
    CxImage mono(3, 1, 1);
    mono.SetPaletteColor(0, 10, 20, 30);
    mono.SetPaletteColor(1, 40, 50, 60);
    mono.SetPixelIndex(1, 0, 1);
    CxImage nibbles(mono);
    ASSERT_TRUE(mono.IncreaseBpp(24));
    EXPECT_EQ(CxImage::RGBQUADtoRGB(mono.GetPixelColor(1, 0)), 0x003C3228ul);
    EXPECT_EQ(CxImage::RGBQUADtoRGB(mono.GetPixelColor(0, 0)), 0x001E140Aul);

    ASSERT_TRUE(nibbles.IncreaseBpp(4));
    EXPECT_EQ(nibbles.GetBpp(), 4);
    EXPECT_EQ(nibbles.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(nibbles.GetPaletteColor(1).rgbRed, 40);
    ASSERT_TRUE(nibbles.IncreaseBpp(8));
    EXPECT_EQ(nibbles.GetPixelIndex(1, 0), 1);

    CxImage grey(2, 2, 8);
    grey.SetPaletteColor(3, 7, 8, 9);
    grey.SetTransIndex(3);
    ASSERT_TRUE(grey.IncreaseBpp(24));
    EXPECT_EQ(CxImage::RGBQUADtoRGB(grey.GetTransColor()), 0x00090807ul);
    EXPECT_EQ(grey.GetTransIndex(), 3);
}

TEST(IncreaseBpp, PaletteAlphaBecomesAnAlphaPlane) {
    CxImage image(2, 1, 8);
    image.SetPaletteColor(1, 1, 1, 1, 77);
    image.SetPixelIndex(0, 0, 1);
    image.SetPixelIndex(1, 0, 0);
    ASSERT_TRUE(image.IncreaseBpp(24));
    ASSERT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(image.AlphaGet(0, 0), 77);
    EXPECT_EQ(image.AlphaGet(1, 0), 0);
}

TEST(IncreaseBpp, Failures) {
    CxImage colour(2, 2, 24);
    EXPECT_FALSE(colour.IncreaseBpp(8));
    EXPECT_FALSE(colour.IncreaseBpp(16));
    EXPECT_TRUE(colour.IncreaseBpp(24));
    CxImage empty;
    EXPECT_FALSE(empty.IncreaseBpp(24));
}

} // namespace
