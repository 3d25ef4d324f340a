#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An 8-bit grey image from rows of levels given top row first.
CxImage GreyImage(const std::vector<std::vector<uint8_t>>& topDown) {
    const long height = static_cast<long>(topDown.size());
    const long width = static_cast<long>(topDown[0].size());
    CxImage image(width, height, 8);
    image.SetGrayPalette();
    for (long row = 0; row < height; ++row)
        for (long x = 0; x < width; ++x) image.SetPixelIndex(x, height - 1 - row, topDown[row][x]);
    return image;
}

// Stored rows from row 0 (the bottom) upwards, '1' for white.
std::string StoredBits(CxImage& image) {
    std::string bits;
    for (long y = 0; y < static_cast<long>(image.GetHeight()); ++y) {
        if (y > 0) bits += '/';
        for (long x = 0; x < static_cast<long>(image.GetWidth()); ++x)
            bits += image.GetPixelIndex(x, y) ? '1' : '0';
    }
    return bits;
}

std::string DitherStored(std::vector<std::vector<uint8_t>> topDown, long method) {
    CxImage image = GreyImage(topDown);
    EXPECT_TRUE(image.Dither(method));
    EXPECT_EQ(image.GetBpp(), 1);
    return StoredBits(image);
}

TEST(Dither, UniformExtremesWithEveryMethod) {
    for (long method = 0; method <= 8; ++method) {
        EXPECT_EQ(DitherStored({{0, 0, 0}, {0, 0, 0}}, method), "000/000") << method;
        EXPECT_EQ(DitherStored({{255, 255, 255}, {255, 255, 255}}, method), "111/111") << method;
    }
}

TEST(Dither, FloydSteinbergTracedByHand) {
    // Stored row 0: 100 -> black (e 100): right +43 = 143, up +31 = 131,
    // up-right +6 = 106. 143 -> white (e -112): up -21 = 110, up-right -35 = 71.
    // Row 1: 110 -> black (e 110): right +48 = 119 -> black.
    EXPECT_EQ(DitherStored({{100, 100}, {100, 100}}, 0), "01/00");
    // A one-pixel-wide image diffuses only upwards: 100 + 100·5/16 = 131.
    EXPECT_EQ(DitherStored({{100}, {100}}, 0), "0/1");
}

TEST(Dither, ErrorSharesTruncateTowardZero) {
    // 254 is white with error -1; -1·7/16 is 0, so 129 stays white.
    EXPECT_EQ(DitherStored({{254, 129}}, 0), "11");
}

// The first current-row weight of each kernel: a seed of 128 (black, error
// 128) lifts the next pixel by exactly 128·w/D, so a sensor one level short
// of the threshold after the share turns white, one level lower stays black.
TEST(Dither, CurrentRowWeights) {
    struct Case {
        long method;
        int share;
    } cases[] = {{0, 128 * 7 / 16}, {2, 128 * 8 / 32}, {3, 128 * 8 / 42},
                 {4, 128 * 7 / 48}, {5, 128 * 5 / 32}, {99, 128 * 7 / 16}};
    for (const Case& c : cases) {
        const uint8_t atThreshold = static_cast<uint8_t>(129 - c.share);
        EXPECT_EQ(DitherStored({{128, atThreshold}}, c.method), "01") << c.method;
        EXPECT_EQ(DitherStored({{128, static_cast<uint8_t>(atThreshold - 1)}}, c.method), "00")
            << c.method;
    }
}

TEST(Dither, StevensonArceSkipsTheNextPixel) {
    // Nothing goes to x+1; x+2 gets 128·32/200 = 20.
    EXPECT_EQ(DitherStored({{128, 128, 109}}, 6), "001");
    EXPECT_EQ(DitherStored({{128, 128, 108}}, 6), "000");
}

TEST(Dither, SecondRowReachedByTwoRowKernels) {
    // Row y+2 of a one-column image: Stucki gives 128·4/42 = 12 from the seed
    // and the middle pixel (0 + 128·8/42 = 24, black, error 24) adds 24·8/42 = 4.
    EXPECT_EQ(DitherStored({{113}, {0}, {128}}, 3), "0/0/1");
    EXPECT_EQ(DitherStored({{112}, {0}, {128}}, 3), "0/0/0");
}

TEST(Dither, OrderedPatternsAtMidGrey) {
    std::vector<std::vector<uint8_t>> grey(4, std::vector<uint8_t>(4, 128));
    // Matrix entries below 8 are white; rows listed from stored row 0.
    EXPECT_EQ(DitherStored(grey, 1), "1010/0101/1010/0101");
    // Interleaved: white where the threshold is below 128 (strictly greater test).
    EXPECT_EQ(DitherStored(grey, 7), "1010/0101/1010/0101");
}

TEST(Dither, OneBitImagesPassThrough) {
    CxImage image(5, 3, 1);
    image.Clear(0);
    image.SetPixelIndex(2, 1, 1);
    void* buffer = image.GetDIB();
    EXPECT_TRUE(image.Dither(3));
    EXPECT_EQ(image.GetDIB(), buffer);
    EXPECT_EQ(image.GetPixelIndex(2, 1), 1);
    CxImage empty;
    EXPECT_FALSE(empty.Dither(0));
}

TEST(Dither, ColourImagesKeepAlphaAndSelection) {
    CxImage image(3, 1, 24);
    image.SetPixelColor(0, 0, RGBQUAD{0, 0, 255, 0}); // red: grey 76
    image.SetPixelColor(1, 0, RGBQUAD{255, 255, 255, 0});
    image.SetPixelColor(2, 0, RGBQUAD{0, 0, 0, 0});
    image.AlphaCreate();
    image.AlphaSet(1, 0, 5);
    image.SelectionAddPixel(0, 0);
    ASSERT_TRUE(image.Dither(1));
    EXPECT_EQ(image.GetBpp(), 1);
    EXPECT_EQ(image.AlphaGet(1, 0), 5);
    EXPECT_TRUE(image.SelectionIsInside(0, 0));
    EXPECT_FALSE(image.SelectionIsInside(1, 0));
    EXPECT_EQ(image.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(image.GetPixelIndex(2, 0), 0);
}

} // namespace
