#include "tests/image/TestImage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ImageImport, RejectsNullSourcesAndOddDepths) {
    CxImage image(2, 2, 8);
    image.Clear(7);
    unsigned char data[64] = {};
    EXPECT_FALSE(image.CreateFromArray(nullptr, 2, 2, 8, 2, false));
    EXPECT_FALSE(image.CreateFromArray(data, 2, 2, 16, 4, false));
    EXPECT_FALSE(image.CreateFromArray(data, 2, 2, 2, 4, false));
    EXPECT_FALSE(image.CreateFromMatrix(nullptr, 2, 2, 8, 2, false));
    EXPECT_TRUE(image.IsValid());
    EXPECT_EQ(image.GetPixelIndex(1, 1), 7);
    EXPECT_FALSE(image.CreateFromArray(data, 0, 2, 8, 2, false));
    EXPECT_FALSE(image.IsValid());
}

TEST(ImageImport, FlipPutsTheFirstSourceRowOnTop) {
    unsigned char data[] = {10, 20, 30, 40};
    CxImage image;
    ASSERT_TRUE(image.CreateFromArray(data, 2, 2, 8, 2, true));
    EXPECT_EQ(image.GetPixelIndex(0, 1), 10);
    EXPECT_EQ(image.GetPixelIndex(1, 1), 20);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 30);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 40);
    EXPECT_TRUE(image.IsGrayScale());
    EXPECT_EQ(image.GetType(), 0u);
    ASSERT_TRUE(image.CreateFromArray(data, 2, 2, 8, 2, false));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 10);
    EXPECT_EQ(image.GetPixelIndex(0, 1), 30);
}

TEST(ImageImport, ThirtyTwoBitsCarryAlpha) {
    unsigned char pixel[] = {1, 2, 3, 4};
    for (bool flip : {false, true}) {
        CxImage image;
        ASSERT_TRUE(image.CreateFromArray(pixel, 1, 1, 32, 4, flip));
        EXPECT_EQ(image.GetBpp(), 24);
        EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0, false), Rgb(3, 2, 1)));
        EXPECT_EQ(image.AlphaGet(0, 0), 4);
    }
    unsigned char rows[] = {1, 1, 1, 10, 2, 2, 2, 20};
    CxImage image;
    ASSERT_TRUE(image.CreateFromArray(rows, 1, 2, 32, 4, true));
    EXPECT_EQ(image.AlphaGet(0, 1), 10);
    EXPECT_EQ(image.AlphaGet(0, 0), 20);
}

TEST(ImageImport, ThirtyTwoBitsReadNoMoreThanTheLineLength) {
    // Two 3-pixel rows with room for one pixel each: a read past the line
    // would take the next row's bytes (or, on the last row, run off the end).
    std::vector<unsigned char> data = {1, 2, 3, 4, 5, 6, 7, 8};
    CxImage image;
    ASSERT_TRUE(image.CreateFromArray(data.data(), 3, 2, 32, 4, false));
    EXPECT_TRUE(SameColour(image.GetPixelColor(1, 0, false), Rgb(0, 0, 0)));
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 1, false), Rgb(7, 6, 5)));
    EXPECT_EQ(image.AlphaGet(1, 0), 255);
    unsigned char* rows[] = {data.data(), data.data() + 4};
    ASSERT_TRUE(image.CreateFromMatrix(rows, 3, 2, 32, 4, false));
    EXPECT_TRUE(SameColour(image.GetPixelColor(1, 0, false), Rgb(0, 0, 0)));
    EXPECT_EQ(image.AlphaGet(0, 1), 8);
}

TEST(ImageImport, SameSizeFramesReuseTheBuffer) {
    unsigned char first[] = {1, 2, 3, 4}, second[] = {5, 6, 7, 8};
    CxImage image;
    ASSERT_TRUE(image.CreateFromArray(first, 2, 2, 8, 2, false));
    image.SetXDPI(300);
    image.AlphaCreate();
    void* buffer = image.GetDIB();
    ASSERT_TRUE(image.CreateFromArray(second, 2, 2, 8, 2, false));
    EXPECT_EQ(image.GetDIB(), buffer);
    EXPECT_EQ(image.GetXDPI(), 300);
    EXPECT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(image.GetPixelIndex(1, 1), 8);
    image.Destroy();
    ASSERT_TRUE(image.CreateFromArray(second, 2, 2, 8, 2, false));
    EXPECT_FALSE(image.AlphaIsValid());
}

TEST(ImageImport, LineLengthBoundsEachRowCopy) {
    // Rows of width 5 stored 16 bytes apart: 8 bytes (the effective width) copied.
    std::vector<unsigned char> data(32);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i);
    CxImage image;
    ASSERT_TRUE(image.CreateFromArray(data.data(), 5, 2, 8, 16, false));
    EXPECT_EQ(image.GetBits(0)[7], 7);
    EXPECT_EQ(image.GetBits(1)[0], 16);
    EXPECT_EQ(image.GetBits(1)[7], 23);
    // A shorter line leaves the rest of each row as it was.
    image.Clear(99);
    ASSERT_TRUE(image.CreateFromArray(data.data(), 5, 2, 8, 3, false));
    EXPECT_EQ(image.GetBits(1)[0], 3);
    EXPECT_EQ(image.GetBits(1)[2], 5);
    EXPECT_EQ(image.GetBits(1)[3], 99);
}

TEST(ImageImport, PackedDepthsKeepTheirBits) {
    unsigned char mono[] = {0x80, 0, 0, 0, 0x01, 0, 0, 0};
    CxImage image;
    ASSERT_TRUE(image.CreateFromArray(mono, 8, 2, 1, 4, false));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(image.GetPixelIndex(7, 1), 1);
    EXPECT_TRUE(SameColour(image.GetPaletteColor(1), Rgb(255, 255, 255)));
    unsigned char nibbles[] = {0x4F, 0, 0, 0};
    ASSERT_TRUE(image.CreateFromArray(nibbles, 2, 1, 4, 4, false));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 4);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 15);
    EXPECT_EQ(image.GetPaletteColor(4).rgbRed, 68);
}

TEST(ImageImport, MatrixSkipsNullRowsAndNeverReuses) {
    unsigned char r0[] = {1, 2}, r1[] = {3, 4}, r2[] = {5, 6};
    unsigned char* rows[] = {r0, r1, r2, nullptr};
    CxImage image(2, 4, 8);
    image.AlphaCreate();
    ASSERT_TRUE(image.CreateFromMatrix(rows, 2, 4, 8, 2, true));
    EXPECT_FALSE(image.AlphaIsValid()); // re-created
    EXPECT_EQ(image.GetPixelIndex(0, 3), 1);
    EXPECT_EQ(image.GetPixelIndex(1, 1), 6);
}

TEST(ImageImport, BitfieldsExpandInto24Bits) {
    TestImage image(2, 1, 24);
    unsigned char words[] = {0xFF, 0xFF, 0x1F, 0x00}; // 0xFFFF, 0x001F
    image.Bitfield2RGB(words, 0xF800, 0x07E0, 0x001F, 16);
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0), Rgb(248, 252, 248)));
    EXPECT_TRUE(SameColour(image.GetPixelColor(1, 0), Rgb(0, 0, 248)));
    unsigned char word555[] = {0xE0, 0x03, 0x00, 0x7C}; // green max, red max
    image.Bitfield2RGB(word555, 0x7C00, 0x03E0, 0x001F, 16);
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0), Rgb(0, 248, 0)));
    EXPECT_TRUE(SameColour(image.GetPixelColor(1, 0), Rgb(248, 0, 0)));
    unsigned char quads[] = {1, 2, 3, 99, 4, 5, 6, 99};
    image.Bitfield2RGB(quads, 0, 0, 0, 32);
    EXPECT_TRUE(SameColour(image.GetPixelColor(1, 0), Rgb(6, 5, 4)));
    // Masks with unusual widths stay defined.
    image.Bitfield2RGB(words, 0xFFFF, 0xFFFF, 0xFFFF, 16);
    image.Bitfield2RGB(words, 0, 0, 0, 16);
    image.Bitfield2RGB(nullptr, 0, 0, 0, 32);
}

TEST(ImageImport, RgbToBgrSwapsWholeGroups) {
    TestImage image(4, 1, 24);
    EXPECT_EQ(image.GetEffWidth(), 12u);
    unsigned char bytes[100];
    for (int i = 0; i < 100; ++i) bytes[i] = static_cast<unsigned char>(i);
    image.RGBtoBGR(bytes, 100);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[11], 9);
    EXPECT_EQ(bytes[12], 12);
    for (int i = 0; i < 100; ++i) bytes[i] = static_cast<unsigned char>(i);
    image.RGBtoBGR(bytes, 4);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[3], 3);
    EXPECT_EQ(bytes[5], 5);
    image.RGBtoBGR(bytes, -5);
    EXPECT_EQ(bytes[0], 2);
}

} // namespace
