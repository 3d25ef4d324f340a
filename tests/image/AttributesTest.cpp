#include "tests/image/TestImage.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ImageAttributes, ResolutionKeepsPixelsPerMetreInStep) {
    CxImage image;
    const BITMAPINFOHEADER& head = RecordView(image).Header();
    struct Case {
        long dpi, stored;
        int32_t perMetre;
    } cases[] = {{96, 96, 3780}, {72, 72, 2835}, {300, 300, 11811},
                 {1, 1, 39},     {0, 96, 3780},  {-5, 96, 3780}};
    for (const Case& c : cases) {
        image.SetXDPI(c.dpi);
        image.SetYDPI(c.dpi);
        EXPECT_EQ(image.GetXDPI(), c.stored);
        EXPECT_EQ(head.biXPelsPerMeter, c.perMetre) << c.dpi;
        EXPECT_EQ(head.biYPelsPerMeter, c.perMetre) << c.dpi;
    }
    // Extreme resolutions stay within the 32-bit field.
    image.SetXDPI(2000000000);
    EXPECT_EQ(head.biXPelsPerMeter, INT32_MAX);
}

TEST(ImageAttributes, ResolutionChangesDoNotReachTheBlockHeader) {
    CxImage image(2, 2, 8);
    image.SetXDPI(300);
    BITMAPINFOHEADER copy;
    std::memcpy(&copy, image.GetDIB(), sizeof(copy));
    EXPECT_EQ(copy.biXPelsPerMeter, 3780);
}

TEST(ImageAttributes, FlagsKeepLowHalfOnRequest) {
    CxImage image;
    image.SetFlags(0x00030005, true);
    EXPECT_EQ(image.GetFlags(), 5u);
    image.SetFlags(0x00030005, false);
    EXPECT_EQ(image.GetFlags(), 0x00030005u);
}

TEST(ImageAttributes, ClrImportantIsBoundedByDepth) {
    CxImage nibbles(2, 2, 4);
    nibbles.SetClrImportant(20);
    EXPECT_EQ(nibbles.GetClrImportant(), 16u);
    nibbles.SetClrImportant(300);
    EXPECT_EQ(nibbles.GetClrImportant(), 0u);
    CxImage mono(2, 2, 1);
    mono.SetClrImportant(5);
    EXPECT_EQ(mono.GetClrImportant(), 2u);
    CxImage grey(2, 2, 8);
    grey.SetClrImportant(200);
    EXPECT_EQ(grey.GetClrImportant(), 200u);
    CxImage colour(2, 2, 24);
    colour.SetClrImportant(5);
    EXPECT_EQ(colour.GetClrImportant(), 0u);
}

TEST(ImageAttributes, TransparentColourComesFromThePaletteBelow24Bits) {
    CxImage image(2, 2, 8);
    image.SetPaletteColor(7, 3, 2, 1, 0);
    image.SetTransColor(Rgb(9, 9, 9, 200));
    EXPECT_EQ(image.GetTransColor().rgbReserved, 0);
    image.SetTransIndex(7);
    EXPECT_TRUE(SameColour(image.GetTransColor(), Rgb(3, 2, 1)));
    EXPECT_TRUE(image.IsTransparent());
    image.SetTransIndex(-1);
    EXPECT_TRUE(SameColour(image.GetTransColor(), Rgb(9, 9, 9)));
    EXPECT_FALSE(image.IsTransparent());
    // An index beyond the palette reads through its low 8 bits.
    image.SetTransIndex(0x107);
    EXPECT_TRUE(SameColour(image.GetTransColor(), Rgb(3, 2, 1)));

    CxImage colour(2, 2, 24);
    colour.SetTransColor(Rgb(5, 6, 7));
    colour.SetTransIndex(2);
    EXPECT_TRUE(SameColour(colour.GetTransColor(), Rgb(5, 6, 7)));
}

TEST(ImageAttributes, CodecOptionsIndexByImageTypeForZero) {
    CxImage image(3);
    EXPECT_TRUE(image.SetCodecOption(9, 0));
    EXPECT_EQ(image.GetCodecOption(3), 9u);
    EXPECT_EQ(image.GetCodecOption(0), 9u);
    EXPECT_EQ(image.GetCodecOption(16), 0u);
    EXPECT_FALSE(image.SetCodecOption(1, 16));
    CxImage wide(20);
    EXPECT_FALSE(wide.SetCodecOption(1, 0));
    EXPECT_EQ(wide.GetCodecOption(0), 0u);
}

TEST(ImageAttributes, ColourTypeAndVersion) {
    CxImage grey(2, 2, 8), colour(2, 2, 24);
    EXPECT_EQ(grey.GetColorType(), 1);
    EXPECT_EQ(colour.GetColorType(), 2);
    grey.AlphaCreate();
    colour.AlphaCreate();
    EXPECT_EQ(grey.GetColorType(), 4);
    EXPECT_EQ(colour.GetColorType(), 4);
    EXPECT_STREQ(grey.GetVersion(), "CxImage 5.99c");
    const float version = grey.GetVersionNumber();
    uint32_t bits;
    std::memcpy(&bits, &version, sizeof(bits));
    EXPECT_EQ(bits, 0x40BFAE53u);
}

TEST(ImageAttributes, PlainFieldsRoundTrip) {
    CxImage image;
    long x = 0, y = 0;
    image.SetOffset(-3, 4);
    image.GetOffset(&x, &y);
    EXPECT_EQ(x, -3);
    EXPECT_EQ(y, 4);
    image.GetOffset(nullptr, nullptr);
    image.SetFrame(2);
    image.SetFrameDelay(40);
    image.SetJpegQuality(75);
    image.SetJpegScale(2);
    image.SetEscape(1);
    image.SetProgress(50);
    image.Enable(false);
    EXPECT_EQ(image.GetFrame(), 2);
    EXPECT_EQ(image.GetFrameDelay(), 40u);
    EXPECT_EQ(image.GetJpegQuality(), 75);
    EXPECT_EQ(image.GetJpegScale(), 2);
    EXPECT_EQ(image.GetEscape(), 1);
    EXPECT_EQ(image.GetProgress(), 50);
    EXPECT_FALSE(image.IsEnabled());
}

} // namespace
