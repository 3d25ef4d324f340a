#include "tests/image/TestImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char kZeroSize[] = "CxImage::Create : width and height must be greater than zero";

TEST(ImageCreate, CoercesDepthAndSizesThePalette) {
    struct Case {
        unsigned long requested, bpp, colours;
    } cases[] = {{0, 1, 2},   {1, 1, 2},   {2, 4, 16}, {3, 4, 16},  {4, 4, 16},
                 {5, 8, 256}, {8, 8, 256}, {9, 24, 0}, {16, 24, 0}, {32, 24, 0}};
    for (const Case& c : cases) {
        CxImage image;
        ASSERT_NE(image.Create(7, 3, c.requested, 0), nullptr) << c.requested;
        EXPECT_EQ(image.GetBpp(), c.bpp) << c.requested;
        EXPECT_EQ(image.GetNumColors(), c.colours) << c.requested;
    }
}

TEST(ImageCreate, EffectiveWidthPadsRowsToFourBytes) {
    struct Case {
        unsigned long width, bpp, effWidth;
    } cases[] = {{1, 1, 4}, {33, 1, 8}, {5, 24, 16}, {640, 8, 640}, {3, 4, 4}, {9, 4, 8}};
    for (const Case& c : cases) {
        CxImage image(c.width, 2, c.bpp);
        EXPECT_EQ(image.GetEffWidth(), c.effWidth) << c.width << "x" << c.bpp;
    }
}

TEST(ImageCreate, BlockHoldsHeaderPaletteAndRows) {
    CxImage image;
    ASSERT_NE(image.Create(100, 100, 8, 0), nullptr);
    EXPECT_EQ(image.GetSize(), 11064);
    EXPECT_EQ(RecordView(image).Header().biSizeImage, 10000u);
    RGBQUAD* palette = image.GetPalette();
    ASSERT_NE(palette, nullptr);
    for (int i = 0; i < 256; ++i) EXPECT_TRUE(SameColour(palette[i], Rgb(0, 0, 0, 0)));
    // The header copy heads the block, the palette follows it, then row 0.
    BITMAPINFOHEADER copy;
    std::memcpy(&copy, image.GetDIB(), sizeof(copy));
    EXPECT_EQ(copy.biWidth, 100);
    EXPECT_EQ(copy.biBitCount, 8);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(palette), static_cast<uint8_t*>(image.GetDIB()) + 40);
    EXPECT_EQ(image.GetBits(0), static_cast<uint8_t*>(image.GetDIB()) + 40 + 1024);
}

TEST(ImageCreate, ZeroSizeFailsWithMessageAndEmptiesTheImage) {
    CxImage image(4, 4, 8);
    ASSERT_TRUE(image.IsValid());
    EXPECT_EQ(image.Create(0, 10, 8, 0), nullptr);
    EXPECT_STREQ(image.GetLastError(), kZeroSize);
    EXPECT_FALSE(image.IsValid());
    CxImage other;
    EXPECT_EQ(other.Create(10, 0, 8, 0), nullptr);
    EXPECT_STREQ(other.GetLastError(), kZeroSize);
}

TEST(ImageCreate, MemoryLimitAndOversizedDimensionsFailCleanly) {
    CxImage image;
    EXPECT_EQ(image.Create(100000, 100000, 24, 0), nullptr);
    EXPECT_STREQ(image.GetLastError(), "CXIMAGE_MAX_MEMORY exceeded");
    // Products that would wrap in 64 bits, and sizes beyond the 32-bit fields.
    EXPECT_EQ(image.Create(~0ul, ~0ul, 24, 0), nullptr);
    EXPECT_STREQ(image.GetLastError(), "CXIMAGE_MAX_MEMORY exceeded");
    EXPECT_EQ(image.Create(0x80000000ul, 1, 1, 0), nullptr);
    EXPECT_STREQ(image.GetLastError(), "CXIMAGE_MAX_MEMORY exceeded");
    // Under the limit but the rows would not fit the 32-bit size field.
    EXPECT_EQ(image.Create(0x7FFFFFFFul, 1, 24, 0), nullptr);
    EXPECT_STREQ(image.GetLastError(), "CxImage::Create can't allocate memory");
    // A later success does not clear the text.
    EXPECT_NE(image.Create(2, 2, 8, 0), nullptr);
    EXPECT_STREQ(image.GetLastError(), "CxImage::Create can't allocate memory");
}

TEST(ImageCreate, KeepsAttributesAcrossRecreation) {
    CxImage image(4, 4, 8, 3);
    image.SetXDPI(300);
    image.SetTransIndex(7);
    image.SelectionCreate();
    image.AlphaCreate();
    ASSERT_NE(image.Create(8, 8, 24, 5), nullptr);
    EXPECT_EQ(image.GetXDPI(), 300);
    EXPECT_EQ(image.GetTransIndex(), 7);
    EXPECT_EQ(image.GetType(), 5u);
    EXPECT_FALSE(image.SelectionIsValid());
    EXPECT_FALSE(image.AlphaIsValid());
}

TEST(ImageLifecycle, DefaultsOfANewImage) {
    CxImage image(6);
    EXPECT_EQ(image.GetType(), 6u);
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetYDPI(), 96);
    EXPECT_EQ(RecordView(image).Header().biXPelsPerMeter, 3780);
    EXPECT_EQ(RecordView(image).Header().biYPelsPerMeter, 3780);
    EXPECT_EQ(image.GetJpegQuality(), 90);
    EXPECT_EQ(image.GetTransIndex(), -1);
    EXPECT_EQ(image.AlphaGetMax(), 255);
    EXPECT_TRUE(image.IsEnabled());
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.GetBits(0), nullptr);
}

TEST(ImageLifecycle, GetBitsBoundsRows) {
    CxImage image(3, 2, 24);
    EXPECT_EQ(image.GetEffWidth(), 12u);
    EXPECT_EQ(image.GetBits(1), image.GetBits(0) + 12);
    EXPECT_EQ(image.GetBits(2), nullptr);
    EXPECT_EQ(image.GetBits(~0ul), nullptr);
}

TEST(ImageLifecycle, DestroyKeepsHeaderButReleasesPixels) {
    CxImage image(5, 4, 8);
    EXPECT_TRUE(image.Destroy());
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.GetWidth(), 5u);
    EXPECT_EQ(image.GetBits(0), nullptr);
    // Guarded pixel operations never touch the released memory.
    image.SetPixelIndex(0, 0, 1);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 0);
    image.Clear(3);
}

TEST(ImageLifecycle, ClearFillsEveryRowByte) {
    CxImage mono(9, 2, 1);
    mono.Clear(5);
    for (unsigned long i = 0; i < 2 * mono.GetEffWidth(); ++i) EXPECT_EQ(mono.GetBits(0)[i], 255);
    CxImage nibbles(9, 2, 4);
    nibbles.Clear(0x23);
    for (unsigned long i = 0; i < 2 * nibbles.GetEffWidth(); ++i)
        EXPECT_EQ(nibbles.GetBits(0)[i], 0x33);
    CxImage colour(2, 2, 24);
    colour.Clear(77);
    EXPECT_TRUE(SameColour(colour.GetPixelColor(1, 1, false), Rgb(77, 77, 77)));
}

TEST(ImageTransfer, MovesEverythingAndEmptiesTheSource) {
    CxImage source(4, 3, 8, 2);
    source.SetPaletteColor(1, 10, 20, 30);
    source.SetPixelIndex(2, 1, 1);
    source.AlphaCreate();
    source.SelectionCreate();
    source.SetXDPI(150);
    void* buffer = source.GetDIB();

    CxImage target(2, 2, 24);
    ASSERT_TRUE(target.Transfer(source));
    EXPECT_FALSE(source.IsValid());
    EXPECT_EQ(source.GetWidth(), 0u);
    EXPECT_FALSE(source.AlphaIsValid());
    EXPECT_EQ(target.GetDIB(), buffer);
    EXPECT_EQ(target.GetPixelIndex(2, 1), 1);
    EXPECT_TRUE(target.AlphaIsValid());
    EXPECT_TRUE(target.SelectionIsValid());
    EXPECT_EQ(target.GetXDPI(), 150);
    EXPECT_EQ(target.GetType(), 2u);
    EXPECT_TRUE(target.Transfer(target));
    EXPECT_TRUE(target.IsValid());
}

TEST(ImageCopy, EqualGeometryKeepsOwnAttributes) {
    CxImage source(4, 4, 8);
    source.SetXDPI(200);
    source.SetTransIndex(3);
    source.SetPaletteColor(5, 1, 2, 3);
    source.Clear(5);
    CxImage target(4, 4, 8);
    target.SetXDPI(72);
    target.Copy(source);
    EXPECT_EQ(target.GetXDPI(), 72);
    EXPECT_EQ(target.GetTransIndex(), -1);
    EXPECT_TRUE(SameColour(target.GetPixelColor(3, 3, false), Rgb(1, 2, 3)));
}

TEST(ImageCopy, OtherGeometryTakesSourceInfoAndPlanes) {
    CxImage source(3, 2, 24, 4);
    source.SetXDPI(200);
    source.Clear(9);
    source.AlphaCreate();
    source.AlphaSet(1, 1, 17);
    source.SelectionAddPixel(2, 0);
    CxImage target(10, 10, 8);
    target.Copy(source, true, true, false);
    EXPECT_EQ(target.GetWidth(), 3u);
    EXPECT_EQ(target.GetBpp(), 24);
    EXPECT_EQ(target.GetType(), 4u);
    EXPECT_EQ(target.GetXDPI(), 200);
    EXPECT_TRUE(SameColour(target.GetPixelColor(2, 1, false), Rgb(9, 9, 9)));
    EXPECT_TRUE(target.SelectionIsInside(2, 0));
    EXPECT_FALSE(target.SelectionIsInside(1, 0));
    EXPECT_FALSE(target.AlphaIsValid());
    // Copy construction and assignment copy the planes too.
    CxImage copy(source);
    EXPECT_EQ(copy.AlphaGet(1, 1), 17);
    CxImage assigned;
    assigned = source;
    EXPECT_EQ(assigned.AlphaGet(1, 1), 17);
    EXPECT_NE(assigned.GetDIB(), source.GetDIB());
}

TEST(ImageCopy, WithoutPixelsInstallsThePalette) {
    CxImage source(2, 2, 4);
    source.SetStdPalette();
    CxImage target;
    target.Copy(source, false, false, false);
    ASSERT_TRUE(target.IsValid());
    EXPECT_TRUE(target.IsSamePalette(source));
}

TEST(ImageGhost, SharesBuffersAndNeverReleasesThem) {
    TestImage owner(4, 4, 8);
    owner.Clear(1);
    owner.AlphaCreate();
    {
        TestImage ghost;
        ghost.Ghost(&owner);
        EXPECT_EQ(ghost.GetDIB(), owner.GetDIB());
        EXPECT_FALSE(ghost.Destroy());
        EXPECT_EQ(ghost.Create(2, 2, 8, 0), nullptr);
        CxImage other(2, 2, 8);
        EXPECT_FALSE(ghost.Transfer(other));
        EXPECT_TRUE(other.IsValid());
        // Copy of another geometry into a ghost would re-create it: refused.
        ghost.Copy(other);
        EXPECT_EQ(ghost.GetWidth(), 4u);
        // Equal geometry writes through into the shared pixels and planes.
        CxImage same(4, 4, 8);
        same.Clear(7);
        same.AlphaCreate();
        same.AlphaSet(static_cast<unsigned char>(9));
        ghost.Copy(same);
        EXPECT_EQ(owner.GetPixelIndex(0, 0), 7);
        EXPECT_EQ(owner.AlphaGet(0, 0), 9);
    }
    // The ghost is gone; the owner's buffers are intact.
    EXPECT_TRUE(owner.IsValid());
    EXPECT_EQ(owner.GetPixelIndex(3, 3), 7);
}

TEST(ImageGhost, CopyOutOfAGhostMakesAnOwningImage) {
    TestImage owner(3, 3, 8);
    owner.Clear(4);
    TestImage ghost;
    ghost.Ghost(&owner);
    {
        CxImage copy;
        copy.Copy(ghost);
        ASSERT_TRUE(copy.IsValid());
        EXPECT_NE(copy.GetDIB(), owner.GetDIB());
        EXPECT_EQ(copy.GetPixelIndex(1, 1), 4);
        EXPECT_TRUE(copy.Destroy());
    }
    EXPECT_EQ(owner.GetPixelIndex(1, 1), 4);
}

TEST(ImageGhost, TransformsOfAGhostBuildOwningResults) {
    TestImage owner(4, 2, 8);
    owner.SetGrayPalette();
    owner.SetPixelIndex(0, 0, 9);
    TestImage ghost;
    ghost.Ghost(&owner);
    // A work image takes the ghost's attributes but not its ghost owner.
    TestImage work;
    work.CopyInfo(ghost);
    EXPECT_NE(work.Create(2, 2, 8, 0), nullptr);
    CxImage turned;
    ASSERT_TRUE(ghost.RotateLeft(&turned));
    EXPECT_EQ(turned.GetWidth(), 2u);
    EXPECT_TRUE(turned.Destroy());
    EXPECT_EQ(owner.GetPixelIndex(0, 0), 9);
}

TEST(ImageCreate, RowsStartZeroed) {
    CxImage image(5, 3, 24);
    for (unsigned long i = 0; i < 3 * image.GetEffWidth(); ++i) ASSERT_EQ(image.GetBits(0)[i], 0);
}

TEST(ImageLifecycle, CompareColorsOrdersByLuminance) {
    const RGBQUAD red = Rgb(255, 0, 0), green = Rgb(0, 255, 0);
    EXPECT_EQ(TestImage::CompareColors(&red, &green), 76 - 149);
    EXPECT_EQ(TestImage::CompareColors(&green, &green), 0);
}

TEST(ImageLifecycle, IsInsideUsesSignedBounds) {
    CxImage image(3, 2, 8);
    EXPECT_TRUE(image.IsInside(0, 0));
    EXPECT_TRUE(image.IsInside(2, 1));
    EXPECT_FALSE(image.IsInside(3, 0));
    EXPECT_FALSE(image.IsInside(-1, 0));
    EXPECT_FALSE(image.IsInside(0, 2));
}

} // namespace
