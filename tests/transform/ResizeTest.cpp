#include "TransformTestUtil.h"

#include <algorithm>
#include <cstring>
#include <functional>

using namespace testutil;

namespace {

// 24 bpp image whose blue channel holds the given values, row by stored row.
CxImage Blue(long w, long h, const std::vector<int>& values) {
    CxImage image(static_cast<unsigned long>(w), static_cast<unsigned long>(h), 24);
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x)
            image.SetPixelColor(x, y, Rgb(0, 0, static_cast<uint8_t>(values[y * w + x])));
    return image;
}

} // namespace

TEST(Resample, SameSizeAndZeroSize) {
    CxImage image = MakeImage(5, 4, 24, true);
    CxImage before(image), copy;
    ASSERT_TRUE(image.Resample(5, 4, 0));
    ExpectSameImage(image, before);
    ASSERT_TRUE(image.Resample(5, 4, 0, &copy));
    ExpectSameImage(copy, before);
    EXPECT_FALSE(image.Resample(0, 10));
    EXPECT_FALSE(image.Resample(-3, 10));
}

TEST(Resample, NearestEnlargementRepeatsBlocks) {
    CxImage image = Blue(2, 2, {10, 20, 30, 40});
    ASSERT_TRUE(image.Resample(4, 4, 1));
    for (long y = 0; y < 4; ++y)
        for (long x = 0; x < 4; ++x)
            EXPECT_EQ(image.GetPixelColor(x, y).rgbBlue, 10 + 10 * (x / 2) + 20 * (y / 2));
}

TEST(Resample, BoxAveragingByHand) {
    // 2 x 2 blocks of a 4 x 4 image: truncated means.
    CxImage halves = Blue(4, 4, {10, 20, 0, 0, 30, 41, 0, 0, 5, 5, 255, 255, 5, 6, 255, 254});
    ASSERT_TRUE(halves.Resample(2, 2, 0));
    EXPECT_EQ(halves.GetPixelColor(0, 0).rgbBlue, 25); // 101 / 4
    EXPECT_EQ(halves.GetPixelColor(1, 0).rgbBlue, 0);
    EXPECT_EQ(halves.GetPixelColor(0, 1).rgbBlue, 5);   // 21 / 4
    EXPECT_EQ(halves.GetPixelColor(1, 1).rgbBlue, 254); // 1019 / 4

    // 3 x 3 to 2 x 2: each destination pixel covers 1.5 x 1.5 source pixels,
    // corners whole, edges half, the centre a quarter, over 2.25.
    const std::vector<int> p = {0, 90, 180, 30, 120, 210, 60, 150, 240};
    auto at = [&](int x, int y) { return p[3 * y + x]; };
    CxImage thirds = Blue(3, 3, p);
    ASSERT_TRUE(thirds.Resample(2, 2, 0));
    EXPECT_EQ(thirds.GetPixelColor(0, 0).rgbBlue,
              (1000 * at(0, 0) + 500 * at(1, 0) + 500 * at(0, 1) + 250 * at(1, 1)) / 2250);
    EXPECT_EQ(thirds.GetPixelColor(1, 0).rgbBlue,
              (500 * at(1, 0) + 1000 * at(2, 0) + 250 * at(1, 1) + 500 * at(2, 1)) / 2250);
    EXPECT_EQ(thirds.GetPixelColor(0, 1).rgbBlue,
              (500 * at(0, 1) + 250 * at(1, 1) + 1000 * at(0, 2) + 500 * at(1, 2)) / 2250);
    EXPECT_EQ(thirds.GetPixelColor(1, 1).rgbBlue,
              (250 * at(1, 1) + 500 * at(2, 1) + 500 * at(1, 2) + 1000 * at(2, 2)) / 2250);

    // Uneven shrink of a uniform image stays uniform (up to truncation).
    CxImage uniform(37, 23, 24);
    uniform.Clear(200);
    ASSERT_TRUE(uniform.Resample(10, 7, 0));
    for (long y = 0; y < 7; ++y)
        for (long x = 0; x < 10; ++x) EXPECT_NEAR(uniform.GetPixelColor(x, y).rgbRed, 200, 1);
}

TEST(Resample, BilinearAndBSpline) {
    // 8 bpp halved with mode 0 samples source positions 0 and 2 (dx = dy = 0).
    CxImage grey(4, 4, 8);
    grey.SetGrayPalette();
    for (long y = 0; y < 4; ++y)
        for (long x = 0; x < 4; ++x)
            grey.SetPixelIndex(x, y, static_cast<unsigned char>(40 * y + x));
    CxImage half;
    ASSERT_TRUE(grey.Resample(2, 2, 0, &half));
    EXPECT_EQ(half.GetPixelIndex(1, 1), 82);
    // 2 -> 4 wide bilinear: midpoints between columns.
    CxImage ramp = Blue(2, 1, {100, 200});
    ASSERT_TRUE(ramp.Resample(4, 1, 0));
    EXPECT_EQ(ramp.GetPixelColor(1, 0).rgbBlue, 150);
    EXPECT_EQ(ramp.GetPixelColor(3, 0).rgbBlue, 200);
    // The B-spline weights sum to 1: a uniform image stays (almost) uniform.
    CxImage flat(5, 5, 24);
    flat.Clear(77);
    ASSERT_TRUE(flat.Resample(8, 3, 2));
    for (long x = 0; x < 8; ++x) EXPECT_NEAR(flat.GetPixelColor(x, 1).rgbGreen, 77, 1);
}

TEST(Resample, AlphaByNearestPixelInEveryMode) {
    for (int mode : {0, 1, 2}) {
        CxImage image = MakeImage(6, 6, 24, true);
        CxImage out;
        ASSERT_TRUE(image.Resample(3, 2, mode, &out));
        ASSERT_TRUE(out.AlphaIsValid());
        for (long y = 0; y < 2; ++y)
            for (long x = 0; x < 3; ++x)
                EXPECT_EQ(out.AlphaGet(x, y), image.AlphaGet(2 * x, 3 * y));
    }
}

TEST(Resize, EscapeDeliversPartialResult) {
    // Every mode and QIShrink stop at once and still deliver the result.
    for (int mode : {0, 1, 2, 3}) {
        CxImage image = MakeImage(8, 8, 24, true);
        image.SetEscape(1);
        CxImage out;
        EXPECT_TRUE(image.Resample(4, 2, mode, &out)) << mode;
        EXPECT_EQ(out.GetWidth(), 4u);
        EXPECT_EQ(out.GetHeight(), 2u);
        EXPECT_EQ(image.GetProgress(), 0);
        EXPECT_TRUE(out.AlphaIsValid());
    }
    CxImage image = MakeImage(8, 8, 8, false);
    image.SetEscape(1);
    EXPECT_TRUE(image.QIShrink(4, 2));
    EXPECT_EQ(image.GetWidth(), 4u);
}

TEST(Resize, Progress) {
    // With a destination the source keeps the last progress value set:
    // destination rows, or source rows for box averaging and QIShrink.
    CxImage image = MakeImage(9, 7, 24, false);
    CxImage out;
    ASSERT_TRUE(image.Resample(20, 11, 1, &out));
    EXPECT_EQ(image.GetProgress(), 100 * 10 / 11);
    ASSERT_TRUE(image.Resample(4, 3, 0, &out)); // box averaging
    EXPECT_EQ(image.GetProgress(), 100 * 6 / 7);
    ASSERT_TRUE(image.Resample(20, 3, 0, &out)); // bilinear
    EXPECT_EQ(image.GetProgress(), 100 * 2 / 3);
    ASSERT_TRUE(image.QIShrink(4, 2, &out));
    EXPECT_EQ(image.GetProgress(), 100 * 6 / 7);
}

TEST(QIShrink, AveragesByHand) {
    CxImage image = Blue(4, 4, {1, 2, 3, 100, 4, 5, 6, 50, 7, 7, 7, 7, 9, 9, 9, 9});
    CxImage out;
    ASSERT_TRUE(image.QIShrink(2, 2, &out));
    // Columns 0..2 into the first pixel and column 3 alone; rows 0-1 and 2-3.
    EXPECT_EQ(out.GetPixelColor(0, 0).rgbBlue, (1 + 2 + 3 + 4 + 5 + 6) / 6);
    EXPECT_EQ(out.GetPixelColor(1, 0).rgbBlue, (100 + 50) / 2);
    EXPECT_EQ(out.GetPixelColor(0, 1).rgbBlue, (7 * 3 + 9 * 3) / 6);
    EXPECT_EQ(out.GetPixelColor(1, 1).rgbBlue, 8);
}

TEST(QIShrink, SizesAndErrors) {
    CxImage image = MakeImage(4, 4, 8, true);
    CxImage copy;
    ASSERT_TRUE(image.QIShrink(4, 4, &copy));
    ExpectSameImage(copy, image);
    EXPECT_FALSE(image.QIShrink(5, 4));
    EXPECT_STREQ(image.GetLastError(), "QIShrink can't enlarge image");

    // Width kept: each column stays itself (no empty last column).
    CxImage rows = Blue(4, 2, {10, 20, 30, 40, 30, 40, 50, 60});
    ASSERT_TRUE(rows.QIShrink(4, 1));
    for (long x = 0; x < 4; ++x) EXPECT_EQ(rows.GetPixelColor(x, 0).rgbBlue, 20 + 10 * x);

    // The alpha plane is averaged at every depth.
    CxImage rgb = Blue(2, 1, {0, 0});
    rgb.AlphaCreate();
    rgb.AlphaSet(0, 0, 100);
    rgb.AlphaSet(1, 0, 51);
    ASSERT_TRUE(rgb.QIShrink(1, 1));
    EXPECT_EQ(rgb.AlphaGet(0, 0), 75);

    CxImage indexed(2, 2, 8);
    indexed.AlphaCreate();
    indexed.AlphaSet(0, 0, 10);
    indexed.AlphaSet(1, 0, 20);
    indexed.AlphaSet(0, 1, 30);
    indexed.AlphaSet(1, 1, 41);
    ASSERT_TRUE(indexed.QIShrink(1, 1));
    EXPECT_EQ(indexed.AlphaGet(0, 0), 25);
}

// Box averaging of sizes whose running float limits drift by whole pixels:
// 10970 columns to 10289 find only 10287 straddles, so the last destination
// column takes the rest of the row and the one after it is left black; the
// same with rows. The bytes are the sequential algorithm's, at every thread
// count.
TEST(Resample, BoxAveragingAfterLimitDrift) {
    auto digest = [](CxImage& image) {
        uint64_t hash = 1469598103934665603u;
        for (unsigned long y = 0; y < image.GetHeight(); ++y)
            for (unsigned long i = 0; i < 3 * image.GetWidth(); ++i)
                hash = (hash ^ image.GetBits(y)[i]) * 1099511628211u;
        return hash;
    };
    struct Case {
        long w, h, newWidth, newHeight;
        uint64_t expected;
    };
    const Case cases[] = {{10970, 5, 10289, 4, 4976956600352855594u},
                          {5, 10970, 4, 10289, 13990190343470319114u}};
    for (const Case& c : cases) {
        const CxImage image = MakeImage(c.w, c.h, 24, false);
        for (int threads : {1, 3}) {
            CxImage::SetThreadCount(threads);
            CxImage source(image), out;
            ASSERT_TRUE(source.Resample(c.newWidth, c.newHeight, 0, &out));
            EXPECT_EQ(digest(out), c.expected) << c.w << " x " << c.h << ", " << threads;
            const RGBQUAD last = out.GetPixelColor(c.newWidth - 1, c.newHeight - 1);
            EXPECT_EQ(last.rgbRed | last.rgbGreen | last.rgbBlue, 0);
        }
        CxImage::SetThreadCount(1);
    }
}

// An escape before the first row leaves the result as a fresh image would be,
// all zero, also when it lands in a block reused from the destination.
TEST(Resize, EscapeLeavesAReusedDestinationCleared) {
    const std::vector<std::function<bool(CxImage&, CxImage*)>> operations = {
        [](CxImage& i, CxImage* d) { return i.Resample(20, 11, 0, d); },
        [](CxImage& i, CxImage* d) { return i.Resample(20, 11, 1, d); },
        [](CxImage& i, CxImage* d) { return i.Resample(20, 11, 2, d); },
        [](CxImage& i, CxImage* d) {
            return i.Resample2(20, 11, CxImage::IM_BICUBIC, CxImage::OM_REPEAT, d);
        },
        [](CxImage& i, CxImage* d) { return i.Rotate2(30.0f, d); },
        [](CxImage& i, CxImage* d) { return i.Rotate(30.0f, d); },
    };
    for (unsigned bpp : {8u, 24u})
        for (size_t op = 0; op < operations.size(); ++op) {
            CxImage image = MakeImage(9, 7, bpp, false), out;
            ASSERT_TRUE(operations[op](image, &out));
            const size_t bytes = size_t(out.GetEffWidth()) * out.GetHeight();
            std::memset(out.GetBits(), 0x5A, bytes);
            image.SetEscape(1);
            ASSERT_TRUE(operations[op](image, &out));
            EXPECT_EQ(std::count(out.GetBits(), out.GetBits() + bytes, 0), long(bytes))
                << bpp << " bpp, operation " << op;
        }
}
