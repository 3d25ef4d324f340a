#include "TransformTestUtil.h"
#include "image/RecordView.h"

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

using namespace testutil;

namespace {

struct Shape {
    long w, h;
    unsigned bpp;
};

// 1-bit widths off the multiples of 8 and 32, tiles cut at the edges.
const Shape kShapes[] = {{13, 7, 1},  {37, 70, 1}, {5, 3, 4},     {67, 9, 4},
                         {70, 65, 8}, {3, 1, 8},   {66, 131, 24}, {1, 5, 24}};

// Opens Ghost to the tests: a ghost cannot take a transformed result.
class GhostImage : public CxImage {
public:
    using CxImage::Ghost;
};

// Colour bytes of a pixel (palette entry when indexed), for comparisons.
uint32_t Bgr(CxImage& image, long x, long y) {
    const RGBQUAD c = image.GetPixelColor(x, y, false);
    return static_cast<uint32_t>(c.rgbBlue) | static_cast<uint32_t>(c.rgbGreen) << 8 |
           static_cast<uint32_t>(c.rgbRed) << 16;
}

} // namespace

TEST(Orientation, QuarterTurnsRestoreEveryDepth) {
    for (const Shape& s : kShapes) {
        SCOPED_TRACE(::testing::Message() << s.w << "x" << s.h << "@" << s.bpp);
        CxImage original = MakeImage(s.w, s.h, s.bpp, true);
        CxImage image(original);
        ASSERT_TRUE(image.RotateLeft());
        EXPECT_EQ(image.GetWidth(), static_cast<unsigned long>(s.h));
        EXPECT_EQ(image.GetHeight(), static_cast<unsigned long>(s.w));
        ASSERT_TRUE(image.RotateRight());
        ExpectSameImage(image, original);

        for (int i = 0; i < 4; ++i) ASSERT_TRUE(image.RotateLeft());
        ExpectSameImage(image, original);
        ASSERT_TRUE(image.Rotate180());
        ASSERT_TRUE(image.Rotate180());
        ExpectSameImage(image, original);
    }
}

TEST(Orientation, QuarterTurnMappingEveryDepth) {
    // Sizes that cut the 64-pixel tiles and, at 1 bpp, the bytes.
    for (const Shape& s : kShapes) {
        SCOPED_TRACE(::testing::Message() << s.w << "x" << s.h << "@" << s.bpp);
        CxImage image = MakeImage(s.w, s.h, s.bpp, true);
        CxImage left, right;
        ASSERT_TRUE(image.RotateLeft(&left));
        ASSERT_TRUE(image.RotateRight(&right));
        ASSERT_EQ(left.GetWidth(), static_cast<unsigned long>(s.h));
        ASSERT_EQ(right.GetHeight(), static_cast<unsigned long>(s.w));
        for (long y = 0; y < s.w; ++y)
            for (long x = 0; x < s.h; ++x) {
                ASSERT_EQ(Bgr(left, x, y), Bgr(image, y, s.h - 1 - x)) << x << "," << y;
                ASSERT_EQ(left.AlphaGet(x, y), image.AlphaGet(y, s.h - 1 - x));
                ASSERT_EQ(Bgr(right, x, y), Bgr(image, s.w - 1 - y, x)) << x << "," << y;
                ASSERT_EQ(right.AlphaGet(x, y), image.AlphaGet(s.w - 1 - y, x));
            }
    }
}

TEST(Orientation, ProgressOfTheTurns) {
    // With a destination the source keeps the last progress value set.
    CxImage image = MakeImage(70, 130, 8, false);
    CxImage out;
    ASSERT_TRUE(image.RotateLeft(&out));
    EXPECT_EQ(image.GetProgress(), 100 * 129 / 130); // destination column x of H
    ASSERT_TRUE(image.RotateRight(&out));
    EXPECT_EQ(image.GetProgress(), 100 * 69 / 70); // destination row y of W
    image.SetProgress(0);
    ASSERT_TRUE(image.Rotate180(&out));
    EXPECT_EQ(image.GetProgress(), 100 * 129 / 130);
}

TEST(Orientation, QuarterTurnMapping) {
    // 3 wide, 2 high at 24 bpp: red channel = 10 * stored row + column.
    CxImage image(3, 2, 24);
    for (long y = 0; y < 2; ++y)
        for (long x = 0; x < 3; ++x)
            image.SetPixelColor(x, y, Rgb(static_cast<uint8_t>(10 * y + x), 0, 0));
    CxImage left, right;
    ASSERT_TRUE(image.RotateLeft(&left));
    ASSERT_TRUE(image.RotateRight(&right));
    ASSERT_EQ(left.GetWidth(), 2u);
    ASSERT_EQ(left.GetHeight(), 3u);
    for (long y = 0; y < 3; ++y)
        for (long x = 0; x < 2; ++x) {
            EXPECT_EQ(left.GetPixelColor(x, y).rgbRed, 10 * (1 - x) + y);  // source (y, H-1-x)
            EXPECT_EQ(right.GetPixelColor(x, y).rgbRed, 10 * x + (2 - y)); // source (W-1-y, x)
        }
}

TEST(Orientation, DestinationLeavesSourceUnchanged) {
    CxImage image = MakeImage(9, 4, 8, true);
    image.SetXDPI(300);
    image.SetTransIndex(3);
    CxImage before(image);
    CxImage rotated;
    ASSERT_TRUE(image.RotateLeft(&rotated));
    ExpectSameImage(image, before);
    EXPECT_EQ(rotated.GetWidth(), 4u);
    EXPECT_EQ(rotated.GetXDPI(), 300);
    EXPECT_EQ(rotated.GetTransIndex(), 3);
    EXPECT_TRUE(rotated.IsSamePalette(image));
    CxImage turned;
    ASSERT_TRUE(image.Rotate180(&turned));
    ExpectSameImage(image, before);
    EXPECT_EQ(turned.GetPixelIndex(0, 0), image.GetPixelIndex(8, 3));
}

TEST(Orientation, OneBitPaddingNeverLeaks) {
    CxImage image(13, 5, 1);
    // Every bit set, the padding of each row included.
    std::memset(image.GetBits(0), 0xFF, image.GetEffWidth() * image.GetHeight());
    for (int turn = 0; turn < 2; ++turn) {
        CxImage rotated;
        ASSERT_TRUE(turn == 0 ? image.RotateLeft(&rotated) : image.RotateRight(&rotated));
        const uint8_t* bits = rotated.GetBits(0);
        long set = 0;
        for (size_t i = 0; i < rotated.GetEffWidth() * rotated.GetHeight(); ++i)
            for (int b = 0; b < 8; ++b) set += (bits[i] >> b) & 1;
        EXPECT_EQ(set, 13 * 5);
    }
}

TEST(Orientation, FlipMirrorDropSelectionKeepAlpha) {
    CxImage original = MakeImage(7, 5, 4, true);
    for (int op = 0; op < 2; ++op) {
        CxImage image(original);
        ASSERT_TRUE(image.SelectionCreate());
        ASSERT_TRUE(op == 0 ? image.Flip() : image.Mirror());
        EXPECT_FALSE(image.SelectionIsValid());
        for (long y = 0; y < 5; ++y)
            for (long x = 0; x < 7; ++x) {
                const long sx = op == 0 ? x : 6 - x, sy = op == 0 ? 4 - y : y;
                EXPECT_EQ(image.GetPixelIndex(x, y), original.GetPixelIndex(sx, sy));
                EXPECT_EQ(image.AlphaGet(x, y), original.AlphaGet(sx, sy));
            }
    }
    for (unsigned bpp : {8u, 24u}) {
        CxImage image = MakeImage(6, 3, bpp, false);
        CxImage copy(image);
        ASSERT_TRUE(image.Mirror());
        ASSERT_TRUE(image.Mirror());
        ASSERT_TRUE(image.Flip());
        ASSERT_TRUE(image.Flip());
        ExpectSameImage(image, copy);
    }
}

TEST(Orientation, GrayScale) {
    CxImage rgb(2, 1, 24);
    rgb.SetPixelColor(0, 0, Rgb(255, 255, 255));
    rgb.SetPixelColor(1, 0, Rgb(0, 0, 255));
    rgb.SelectionCreate();
    ASSERT_TRUE(rgb.GrayScale());
    EXPECT_EQ(rgb.GetBpp(), 8);
    EXPECT_TRUE(rgb.IsGrayScale());
    EXPECT_EQ(rgb.GetPixelIndex(0, 0), 255);
    EXPECT_EQ(rgb.GetPixelIndex(1, 0), 29);
    EXPECT_TRUE(rgb.SelectionIsValid());

    CxImage indexed(4, 2, 8);
    indexed.SetPaletteColor(5, 255, 0, 0);
    indexed.SetPaletteColor(6, 0, 255, 0);
    indexed.SetPixelIndex(0, 0, 5);
    indexed.SetPixelIndex(1, 1, 6);
    indexed.SetTransIndex(5);
    ASSERT_TRUE(indexed.GrayScale());
    EXPECT_TRUE(indexed.IsGrayScale());
    EXPECT_EQ(indexed.GetPixelIndex(0, 0), 76);
    EXPECT_EQ(indexed.GetPixelIndex(1, 1), (601 * 255) >> 10);
    EXPECT_EQ(indexed.GetTransIndex(), 76);

    CxImage fourBit = MakeImage(5, 3, 4, true);
    CxImage before(fourBit);
    ASSERT_TRUE(fourBit.GrayScale());
    EXPECT_EQ(fourBit.GetBpp(), 8);
    const RGBQUAD c = before.GetPixelColor(4, 2);
    EXPECT_EQ(fourBit.GetPixelIndex(4, 2),
              (306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10);
    EXPECT_EQ(fourBit.AlphaGet(4, 2), before.AlphaGet(4, 2));
}

TEST(Orientation, FailedGrayScaleLeavesPaletteAndTransparency) {
    // A ghost refuses the result of the 4 and 1 bpp paths: the shared palette
    // and the transparent index must be as they were.
    for (unsigned bpp : {4u, 1u}) {
        CxImage owner = MakeImage(6, 3, bpp, false);
        owner.SetPaletteColor(1, 200, 30, 40);
        owner.SetTransIndex(1);
        CxImage before(owner);
        GhostImage ghost;
        ghost.Ghost(&owner);
        EXPECT_FALSE(ghost.GrayScale());
        EXPECT_EQ(ghost.GetTransIndex(), 1);
        EXPECT_EQ(ghost.GetBpp(), bpp);
        ExpectSameImage(owner, before);
    }
    // The 8 bpp path works in place, on the shared buffer.
    CxImage owner(2, 1, 8);
    owner.SetPaletteColor(3, 255, 0, 0);
    owner.SetPixelIndex(1, 0, 3);
    GhostImage ghost;
    ghost.Ghost(&owner);
    ASSERT_TRUE(ghost.GrayScale());
    EXPECT_EQ(owner.GetPixelIndex(1, 0), 76);
}

TEST(Orientation, Negative) {
    CxImage rgb = MakeImage(5, 3, 24, false);
    rgb.SetTransColor(Rgb(1, 2, 3));
    CxImage before(rgb);
    ASSERT_TRUE(rgb.Negative());
    EXPECT_EQ(rgb.GetPixelColor(2, 1).rgbRed, 255 - before.GetPixelColor(2, 1).rgbRed);
    EXPECT_EQ(rgb.GetTransColor().rgbRed, 254);
    ASSERT_TRUE(rgb.Negative());
    ExpectSameImage(rgb, before);
    EXPECT_EQ(rgb.GetTransColor().rgbBlue, 3);

    // A colour palette: only the palette changes.
    CxImage indexed = MakeImage(5, 3, 8, false);
    CxImage copy(indexed);
    ASSERT_TRUE(indexed.Negative());
    EXPECT_EQ(0, std::memcmp(indexed.GetBits(0), copy.GetBits(0), copy.GetEffWidth() * 3));
    EXPECT_EQ(indexed.GetPaletteColor(7).rgbGreen, 255 - copy.GetPaletteColor(7).rgbGreen);

    // An identity grey palette: the indices change, only inside the selection.
    CxImage grey(4, 4, 8);
    grey.SetGrayPalette();
    grey.Clear(10);
    RECT box{1, 3, 3, 1}; // picture coordinates: columns 1..2, two rows
    ASSERT_TRUE(grey.SelectionAddRect(box));
    ASSERT_TRUE(grey.Negative());
    long inverted = 0;
    for (long y = 0; y < 4; ++y)
        for (long x = 0; x < 4; ++x) {
            const unsigned char v = grey.GetPixelIndex(x, y);
            EXPECT_EQ(v, grey.SelectionIsInside(x, y) ? 245 : 10);
            inverted += v == 245;
        }
    EXPECT_GT(inverted, 0);
}

namespace {

// The attributes a transformation can change (struct padding aside), for a
// comparison of whole records.
std::vector<long long> Attributes(CxImage& image) {
    const CxImage::Info& info = RecordView(image).Attributes();
    const RECT& box = info.selectionBox;
    return {info.effWidth,     info.transIndex,   info.xDpi,        info.yDpi,
            box.left,          box.top,           box.right,        box.bottom,
            info.nearestValid, info.nearestIndex, info.alphaMax,    static_cast<long>(info.flags),
            info.progress,     info.imageType,    info.lastError[0]};
}

// Flip or Mirror through a work image and Transfer, the plain form.
void ThroughWorkImage(CxImage& image, bool flip) {
    CxImage work(image, false, false, true);
    const long w = static_cast<long>(image.GetWidth()), h = static_cast<long>(image.GetHeight());
    for (long y = 0; y < h; ++y) {
        if (flip) {
            std::memcpy(work.GetBits(static_cast<unsigned long>(y)),
                        image.GetBits(static_cast<unsigned long>(h - 1 - y)), image.GetEffWidth());
            continue;
        }
        for (long x = 0; x < w; ++x) {
            if (image.IsIndexed())
                work.SetPixelIndex(x, y, image.GetPixelIndex(w - 1 - x, y));
            else
                work.SetPixelColor(x, y, image.GetPixelColor(w - 1 - x, y, false));
        }
    }
    if (flip)
        work.AlphaFlip();
    else
        work.AlphaMirror();
    image.Transfer(work);
}

} // namespace

// In place, Flip and Mirror leave the whole record (header, attributes,
// palette, pixel block with its padding, planes) as the work-image form does.
TEST(Orientation, FlipAndMirrorInPlaceMatchTheWorkImageForm) {
    for (unsigned bpp : {1u, 4u, 8u, 24u})
        for (bool flip : {true, false}) {
            CxImage a(7, 5, bpp), b(7, 5, bpp);
            for (CxImage* r : {&a, &b}) {
                CxImage source = MakeImage(7, 5, bpp, true);
                r->Copy(source);
                r->SetXDPI(300);
                r->SetClrImportant(bpp == 8 ? 100 : 0);
                r->SelectionAddRect(RECT{1, 4, 5, 1});
                // Non-zero row padding, as an imported image can have.
                for (unsigned long y = 0; y < 5; ++y) r->GetBits(y)[r->GetEffWidth() - 1] |= 0x5A;
                r->GetNearestIndex(RGBQUAD{1, 2, 3, 0});
            }
            ASSERT_TRUE(flip ? a.Flip() : a.Mirror());
            ThroughWorkImage(b, flip);
            const std::string what = std::to_string(bpp) + (flip ? " flip" : " mirror");
            const RecordView ra(a), rb(b);
            EXPECT_EQ(std::memcmp(&ra.Header(), &rb.Header(), sizeof(BITMAPINFOHEADER)), 0) << what;
            EXPECT_EQ(Attributes(a), Attributes(b)) << what;
            EXPECT_EQ(std::memcmp(ra.Block(), rb.Block(), static_cast<size_t>(a.GetSize())), 0)
                << what;
            EXPECT_EQ(std::memcmp(ra.AlphaPlane(), rb.AlphaPlane(), 35), 0) << what;
            EXPECT_EQ(ra.SelectionPlane(), nullptr);
        }
}

// A destination whose pixel block has the result's size lends it to the work
// image: the result record is the one a fresh destination takes, whatever the
// block held (pixels, row padding) and whatever planes came with it.
TEST(Orientation, UsedDestinationTakesTheRecordOfAFreshOne) {
    using Operation = bool (*)(CxImage&, CxImage*);
    const Operation operations[] = {
        [](CxImage& i, CxImage* d) { return i.RotateLeft(d); },
        [](CxImage& i, CxImage* d) { return i.RotateRight(d); },
        [](CxImage& i, CxImage* d) { return i.Rotate180(d); },
        [](CxImage& i, CxImage* d) {
            return i.Resample2(9, 6, CxImage::IM_BILINEAR, CxImage::OM_REPEAT, d);
        },
        [](CxImage& i, CxImage* d) { return i.Rotate2(30.0f, d, CxImage::IM_BICUBIC); },
        [](CxImage& i, CxImage* d) { return i.Resample(9, 6, 0, d); },
        [](CxImage& i, CxImage* d) { return i.Resample(3, 2, 0, d); },
        [](CxImage& i, CxImage* d) { return i.Resample(9, 6, 1, d); },
        [](CxImage& i, CxImage* d) { return i.Resample(9, 6, 2, d); },
        [](CxImage& i, CxImage* d) { return i.QIShrink(3, 2, d); }};
    for (unsigned bpp : {8u, 24u})
        for (size_t op = 0; op < std::size(operations); ++op) {
            // A new source for each run: the record takes its progress.
            auto run = [&](CxImage* destination) {
                CxImage source = MakeImage(7, 5, bpp, true);
                source.SetXDPI(300);
                return operations[op](source, destination);
            };
            CxImage fresh, used;
            ASSERT_TRUE(run(&fresh));
            used.Copy(MakeImage(static_cast<long>(fresh.GetWidth()),
                                static_cast<long>(fresh.GetHeight()), bpp, false));
            for (unsigned long y = 0; y < used.GetHeight(); ++y)
                used.GetBits(y)[used.GetEffWidth() - 1] |= 0x5A;
            used.SelectionAddRect(RECT{0, 2, 2, 0});
            ASSERT_TRUE(run(&used));
            const std::string what = std::to_string(bpp) + " bpp, operation " + std::to_string(op);
            const RecordView rf(fresh), ru(used);
            EXPECT_EQ(std::memcmp(&rf.Header(), &ru.Header(), sizeof(BITMAPINFOHEADER)), 0) << what;
            EXPECT_EQ(Attributes(fresh), Attributes(used)) << what;
            EXPECT_EQ(std::memcmp(rf.Block(), ru.Block(), static_cast<size_t>(fresh.GetSize())), 0)
                << what;
            const size_t pixels = fresh.GetWidth() * fresh.GetHeight();
            EXPECT_EQ(std::memcmp(rf.AlphaPlane(), ru.AlphaPlane(), pixels), 0) << what;
            EXPECT_EQ(ru.SelectionPlane(), nullptr) << what;
        }
}
