#include "tests/image/TestImage.h"

#include <gtest/gtest.h>

namespace {

TEST(ImageAlpha, CreateKeepsAnExistingPlane) {
    CxImage image(3, 2, 24);
    image.AlphaCreate();
    EXPECT_EQ(image.AlphaGet(2, 1), 255);
    image.AlphaSet(2, 1, 9);
    image.AlphaCreate();
    EXPECT_EQ(image.AlphaGet(2, 1), 9);
    image.AlphaInvert();
    EXPECT_EQ(image.AlphaGet(2, 1), 246);
    EXPECT_EQ(image.AlphaGet(0, 0), 0);
    image.AlphaClear();
    EXPECT_EQ(image.AlphaGet(2, 1), 0);
    image.AlphaDelete();
    EXPECT_FALSE(image.AlphaIsValid());
    CxImage empty;
    empty.AlphaCreate();
    EXPECT_FALSE(empty.AlphaIsValid());
}

TEST(ImageAlpha, OutsideReadsAndWrites) {
    CxImage image(3, 2, 8);
    image.AlphaCreate();
    EXPECT_EQ(image.AlphaGet(-1, 0), 0);
    EXPECT_EQ(image.AlphaGet(3, 0), 0);
    EXPECT_EQ(image.AlphaGetPointer(3, 0), nullptr);
    EXPECT_NE(image.AlphaGetPointer(2, 1), nullptr);
    image.AlphaSet(3, 0, 1); // ignored
    CxImage none(3, 2, 8);
    EXPECT_EQ(none.AlphaGet(0, 0), 0);
    EXPECT_EQ(none.AlphaGetPointer(0, 0), nullptr);
}

TEST(ImageAlpha, FlipAndMirror) {
    CxImage image(3, 2, 24);
    image.AlphaCreate();
    for (long y = 0; y < 2; ++y)
        for (long x = 0; x < 3; ++x) image.AlphaSet(x, y, static_cast<unsigned char>(10 * y + x));
    ASSERT_TRUE(image.AlphaFlip());
    EXPECT_EQ(image.AlphaGet(0, 0), 10);
    EXPECT_EQ(image.AlphaGet(2, 1), 2);
    ASSERT_TRUE(image.AlphaMirror());
    EXPECT_EQ(image.AlphaGet(0, 0), 12);
    EXPECT_EQ(image.AlphaGet(2, 1), 0);
    ASSERT_TRUE(image.AlphaMirror());
    ASSERT_TRUE(image.AlphaFlip());
    EXPECT_EQ(image.AlphaGet(1, 1), 11);
    CxImage none(2, 2, 8);
    EXPECT_FALSE(none.AlphaFlip());
    EXPECT_FALSE(none.AlphaMirror());
}

TEST(ImageAlpha, CopyNeedsEqualSize) {
    CxImage source(3, 2, 24), same(3, 2, 8), other(4, 2, 24);
    source.AlphaCreate();
    source.AlphaSet(1, 1, 5);
    source.AlphaSetMax(100);
    other.AlphaCreate();
    EXPECT_FALSE(other.AlphaCopy(source));
    EXPECT_EQ(other.AlphaGet(1, 1), 255);
    ASSERT_TRUE(same.AlphaCopy(source));
    EXPECT_EQ(same.AlphaGet(1, 1), 5);
    EXPECT_EQ(same.AlphaGetMax(), 100);
    CxImage none(3, 2, 24);
    EXPECT_FALSE(same.AlphaCopy(none));
}

TEST(ImageAlpha, SetFromGreyImage) {
    CxImage image(2, 2, 24);
    CxImage grey(2, 2, 8);
    grey.SetGrayPalette();
    grey.SetPixelIndex(1, 0, 77);
    grey.SetPixelIndex(0, 1, 3);
    ASSERT_TRUE(image.AlphaSet(grey));
    EXPECT_EQ(image.AlphaGet(1, 0), 77);
    EXPECT_EQ(image.AlphaGet(0, 1), 3);
    CxImage colour(2, 2, 24);
    EXPECT_FALSE(image.AlphaSet(colour));
    grey.SetPaletteColor(5, 1, 2, 3);
    EXPECT_FALSE(image.AlphaSet(grey));
}

TEST(ImageAlpha, SplitsIntoGreyImages) {
    CxImage image(2, 2, 24);
    EXPECT_FALSE(image.AlphaSplit(nullptr));
    CxImage target(9, 9, 24);
    EXPECT_FALSE(image.AlphaSplit(&target));
    image.AlphaCreate();
    image.AlphaSet(1, 1, 42);
    ASSERT_TRUE(image.AlphaSplit(&target));
    EXPECT_EQ(target.GetWidth(), 2u);
    EXPECT_EQ(target.GetBpp(), 8);
    EXPECT_TRUE(target.IsGrayScale());
    EXPECT_EQ(target.GetPixelIndex(1, 1), 42);
    EXPECT_TRUE(image.AlphaIsValid());

    CxImage indexed(2, 1, 8);
    indexed.Clear(0);
    EXPECT_FALSE(indexed.AlphaPaletteSplit(&target));
    indexed.SetPaletteColor(1, 0, 0, 0, 99);
    indexed.SetPixelIndex(1, 0, 1);
    ASSERT_TRUE(indexed.AlphaPaletteIsValid());
    ASSERT_TRUE(indexed.AlphaPaletteSplit(&target));
    EXPECT_EQ(target.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(target.GetPixelIndex(1, 0), 99);
    indexed.AlphaPaletteClear();
    EXPECT_FALSE(indexed.AlphaPaletteIsValid());
}

TEST(ImageAlpha, StripAt24BitsCompositesOverTheTransparentColour) {
    CxImage image(2, 1, 24);
    image.Clear(255);
    image.AlphaCreate();
    image.AlphaSet(0, 0, 128);
    image.AlphaSet(1, 0, 255);
    image.AlphaStrip();
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_EQ(image.GetBpp(), 24);
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0), Rgb(128, 128, 128)));
    EXPECT_TRUE(SameColour(image.GetPixelColor(1, 0), Rgb(255, 255, 255)));

    CxImage scaled(1, 1, 24);
    scaled.Clear(255);
    scaled.AlphaCreate();
    scaled.AlphaSet(0, 0, 128);
    scaled.AlphaSetMax(128);
    scaled.SetTransColor(Rgb(0, 0, 0));
    scaled.AlphaStrip();
    EXPECT_TRUE(SameColour(scaled.GetPixelColor(0, 0), Rgb(64, 64, 64)));
}

TEST(ImageAlpha, StripBelow24BitsMakesAFreshColourImage) {
    CxImage plain(2, 2, 8);
    plain.SetGrayPalette();
    plain.Clear(9);
    plain.AlphaStrip();
    EXPECT_EQ(plain.GetBpp(), 8);

    CxImage image(2, 1, 8, 4);
    image.SetXDPI(300);
    image.SetTransColor(Rgb(0, 0, 200));
    image.SetPaletteColor(0, 255, 255, 255, 255);
    image.SetPaletteColor(1, 100, 100, 100, 0);
    image.SetPixelIndex(0, 0, 0);
    image.SetPixelIndex(1, 0, 1);
    image.SetTransIndex(1);
    image.SelectionCreate();
    image.AlphaStrip();
    EXPECT_EQ(image.GetBpp(), 24);
    EXPECT_EQ(image.GetTransIndex(), -1);
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetType(), 0u);
    EXPECT_FALSE(image.SelectionIsValid());
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0), Rgb(255, 255, 255)));
    // Palette alpha 0 shows the background, the stored transparent colour.
    EXPECT_TRUE(SameColour(image.GetPixelColor(1, 0), Rgb(0, 0, 200)));
}

} // namespace
