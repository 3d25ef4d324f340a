#include "TransformTestUtil.h"

using namespace testutil;

namespace {

// 8 bpp, 10 x 10, index = 10 * stored row + column.
CxImage Numbered() {
    CxImage image(10, 10, 8);
    image.SetGrayPalette();
    for (long y = 0; y < 10; ++y)
        for (long x = 0; x < 10; ++x)
            image.SetPixelIndex(x, y, static_cast<unsigned char>(10 * y + x));
    return image;
}

} // namespace

TEST(Crop, PictureCoordinates) {
    CxImage image = Numbered();
    CxImage top;
    ASSERT_TRUE(image.Crop(0, 0, 10, 1, &top));
    ASSERT_EQ(top.GetHeight(), 1u);
    EXPECT_EQ(top.GetPixelIndex(3, 0), 93); // the top picture row is the last stored row

    CxImage piece, swapped;
    ASSERT_TRUE(image.Crop(2, 3, 5, 7, &piece)); // columns 2..4, stored rows 3..6
    ASSERT_TRUE(image.Crop(5, 7, 2, 3, &swapped));
    ASSERT_EQ(piece.GetWidth(), 3u);
    ASSERT_EQ(piece.GetHeight(), 4u);
    EXPECT_EQ(piece.GetPixelIndex(0, 0), 32);
    EXPECT_EQ(piece.GetPixelIndex(2, 3), 64);
    ExpectSameImage(piece, swapped);

    EXPECT_FALSE(image.Crop(5, 5, 5, 20));
    RECT all{-10, -10, 20, 20};
    CxImage whole;
    ASSERT_TRUE(image.Crop(all, &whole));
    ExpectSameImage(whole, image);
}

TEST(Crop, InPlaceKeepsPaletteAlphaDropsSelection) {
    CxImage image = MakeImage(6, 5, 8, true);
    image.SetTransIndex(4);
    image.SetXDPI(300);
    image.SelectionCreate();
    CxImage before(image);
    ASSERT_TRUE(image.Crop(0, 0, 6, 5));
    ExpectSameImage(image, before);
    EXPECT_EQ(image.GetTransIndex(), 4);
    EXPECT_FALSE(image.SelectionIsValid());
    EXPECT_EQ(image.GetXDPI(), 96);
}

TEST(Crop, OneBitAtOddColumn) {
    CxImage image = MakeImage(21, 3, 1, false);
    CxImage piece;
    ASSERT_TRUE(image.Crop(3, 0, 16, 3, &piece));
    ASSERT_EQ(piece.GetWidth(), 13u);
    for (long y = 0; y < 3; ++y)
        for (long x = 0; x < 13; ++x)
            EXPECT_EQ(piece.GetPixelIndex(x, y), image.GetPixelIndex(x + 3, y));
}

TEST(Expand, Margins) {
    CxImage image = MakeImage(10, 10, 24, true);
    CxImage out;
    const RGBQUAD canvas = Rgb(1, 2, 3);
    ASSERT_TRUE(image.Expand(1, 2, 3, 4, canvas, &out));
    ASSERT_EQ(out.GetWidth(), 14u);
    ASSERT_EQ(out.GetHeight(), 16u);
    EXPECT_FALSE(out.AlphaIsValid());
    for (long y = 0; y < 16; ++y)
        for (long x = 0; x < 14; ++x) {
            const bool inside = x >= 1 && x <= 10 && y >= 4 && y <= 13;
            const RGBQUAD c = out.GetPixelColor(x, y);
            const RGBQUAD e = inside ? image.GetPixelColor(x - 1, y - 4) : canvas;
            EXPECT_TRUE(c.rgbRed == e.rgbRed && c.rgbGreen == e.rgbGreen && c.rgbBlue == e.rgbBlue)
                << x << "," << y;
        }
    EXPECT_FALSE(image.Expand(-1, 0, 0, 0, canvas));
}

TEST(CropExpand, Progress) {
    // With a destination the source keeps the last progress value set.
    CxImage image = MakeImage(10, 10, 24, false);
    CxImage out;
    ASSERT_TRUE(image.Crop(0, 2, 10, 10, &out)); // stored rows 0..7
    EXPECT_EQ(image.GetProgress(), 100 * 7 / 8);
    // Rows are counted against the image's height: a top margin leaves the
    // last value at 100 * 9 / 10, a bottom margin would pass 100 and is held.
    ASSERT_TRUE(image.Expand(0, 10, 0, 0, Rgb(0, 0, 0), &out));
    EXPECT_EQ(image.GetProgress(), 90);
    ASSERT_TRUE(image.Expand(0, 0, 0, 5, Rgb(0, 0, 0), &out));
    EXPECT_EQ(image.GetProgress(), 100);
    CxImage four = MakeImage(10, 10, 4, false);
    ASSERT_TRUE(four.Expand(0, 10, 0, 5, Rgb(0, 0, 0), &out)); // result rows of 25
    EXPECT_EQ(four.GetProgress(), 100 * 24 / 25);
}

TEST(Expand, NewSizeOddDifferences) {
    CxImage image = Numbered();
    CxImage out;
    ASSERT_TRUE(image.Expand(13, 12, Rgb(0, 0, 0), &out));
    ASSERT_EQ(out.GetWidth(), 13u);
    ASSERT_EQ(out.GetHeight(), 12u);
    // 1 column left, 2 right, 1 row at the top and 1 at the bottom.
    EXPECT_EQ(out.GetPixelIndex(1, 1), 0);
    EXPECT_EQ(out.GetPixelIndex(10, 10), 99);
    EXPECT_FALSE(image.Expand(9, 12, Rgb(0, 0, 0)));

    // A canvas colour absent from the palette takes the nearest entry.
    CxImage four(3, 3, 4);
    four.SetPaletteColor(0, 0, 0, 0);
    four.SetPaletteColor(9, 200, 10, 10);
    ASSERT_TRUE(four.Expand(5, 5, Rgb(190, 0, 20)));
    EXPECT_EQ(four.GetPixelIndex(0, 0), 9);
    EXPECT_EQ(four.GetPixelIndex(4, 4), 9);
}

TEST(Thumbnail, ShrinksAndCentres) {
    CxImage wide(640, 480, 24);
    CxImage out;
    ASSERT_TRUE(wide.Thumbnail(160, 120, Rgb(0, 0, 0), &out));
    EXPECT_EQ(out.GetWidth(), 160u);
    EXPECT_EQ(out.GetHeight(), 120u);

    CxImage tall(480, 640, 24);
    tall.Clear(200);
    const RGBQUAD canvas = Rgb(9, 9, 9);
    ASSERT_TRUE(tall.Thumbnail(160, 120, canvas));
    ASSERT_EQ(tall.GetWidth(), 160u);
    ASSERT_EQ(tall.GetHeight(), 120u);
    for (long x : {0L, 34L, 125L, 159L}) EXPECT_EQ(tall.GetPixelColor(x, 60).rgbRed, 9) << x;
    // Box averaging truncates each weighted share: one less is possible.
    for (long x : {35L, 124L}) EXPECT_NEAR(tall.GetPixelColor(x, 60).rgbRed, 200, 1) << x;

    CxImage small = Numbered();
    ASSERT_TRUE(small.Thumbnail(14, 10, canvas));
    EXPECT_EQ(small.GetPixelIndex(2, 0), 0); // only centred: 2 columns on each side
    EXPECT_EQ(small.GetPixelIndex(11, 9), 99);

    // A picture too narrow to keep a whole column still fits the box.
    CxImage strip(1000, 1, 8);
    ASSERT_TRUE(strip.Thumbnail(10, 10, canvas));
    EXPECT_EQ(strip.GetWidth(), 10u);
    EXPECT_EQ(strip.GetHeight(), 10u);
    EXPECT_FALSE(strip.Thumbnail(0, 10, canvas));
}
