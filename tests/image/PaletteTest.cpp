#include "image/NearestIndexCache.h"
#include "tests/image/TestImage.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(ImagePalette, GreyPalettesByDepth) {
    CxImage mono(2, 2, 1);
    mono.SetGrayPalette();
    EXPECT_TRUE(SameColour(mono.GetPaletteColor(0), Rgb(0, 0, 0)));
    EXPECT_TRUE(SameColour(mono.GetPaletteColor(1), Rgb(255, 255, 255)));
    EXPECT_FALSE(mono.IsGrayScale());
    CxImage nibbles(2, 2, 4);
    nibbles.SetGrayPalette();
    EXPECT_EQ(nibbles.GetPaletteColor(1).rgbRed, 17);
    EXPECT_EQ(nibbles.GetPaletteColor(15).rgbRed, 255);
    CxImage grey(2, 2, 8);
    grey.SetGrayPalette();
    EXPECT_TRUE(grey.IsGrayScale());
    EXPECT_TRUE(SameColour(grey.GetPaletteColor(200), Rgb(200, 200, 200)));
}

TEST(ImagePalette, SetPaletteFromComponentArrays) {
    CxImage image(2, 2, 8);
    image.SetPaletteColor(3, 1, 2, 3, 44);
    unsigned char red[] = {10, 20, 30};
    image.SetPalette(3, red, nullptr, nullptr);
    EXPECT_TRUE(SameColour(image.GetPaletteColor(2), Rgb(30, 30, 30)));
    EXPECT_TRUE(SameColour(image.GetPaletteColor(3), Rgb(1, 2, 3, 44)));
    unsigned char green[] = {5, 6, 7};
    image.SetPalette(3, red, green, nullptr);
    EXPECT_TRUE(SameColour(image.GetPaletteColor(1), Rgb(20, 6, 6)));

    CxImage::rgb_color colours[2] = {{1, 2, 3}, {4, 5, 6}};
    image.SetPalette(colours, 2);
    EXPECT_TRUE(SameColour(image.GetPaletteColor(1), Rgb(4, 5, 6)));
    RGBQUAD quads[300] = {};
    quads[299] = Rgb(9, 9, 9);
    image.SetPalette(quads, 300); // more than the palette holds
    EXPECT_TRUE(SameColour(image.GetPaletteColor(255), Rgb(0, 0, 0)));
    image.SetPalette(static_cast<RGBQUAD*>(nullptr), 3);
}

TEST(ImagePalette, WritesBeyondThePaletteAreIgnored) {
    CxImage image(2, 2, 4);
    image.SetPaletteColor(16, 1, 1, 1, 1);
    EXPECT_TRUE(SameColour(image.GetPaletteColor(16), Rgb(0, 0, 0)));
    unsigned char r = 9, g = 9, b = 9;
    EXPECT_FALSE(image.GetPaletteColor(16, &r, &g, &b));
    EXPECT_EQ(r, 9);
    CxImage colour(2, 2, 24);
    EXPECT_EQ(colour.GetPalette(), nullptr);
    EXPECT_FALSE(colour.GetPaletteColor(0, &r, &g, &b));
}

TEST(ImagePalette, StandardPalettes) {
    CxImage nibbles(2, 2, 4);
    nibbles.SetStdPalette();
    EXPECT_TRUE(SameColour(nibbles.GetPaletteColor(7), Rgb(192, 192, 192)));
    EXPECT_TRUE(SameColour(nibbles.GetPaletteColor(9), Rgb(255, 0, 0)));

    CxImage image(2, 2, 8);
    image.SetStdPalette();
    auto bgr = [&](int index) {
        const RGBQUAD c = image.GetPaletteColor(static_cast<unsigned char>(index));
        return std::make_tuple(int(c.rgbBlue), int(c.rgbGreen), int(c.rgbRed), int(c.rgbReserved));
    };
    EXPECT_EQ(bgr(9), std::make_tuple(240, 202, 166, 0));
    EXPECT_EQ(bgr(10), std::make_tuple(212, 240, 255, 0));
    EXPECT_EQ(bgr(15), std::make_tuple(37, 170, 255, 0));
    EXPECT_EQ(bgr(16), std::make_tuple(0, 170, 255, 0));
    EXPECT_EQ(bgr(21), std::make_tuple(0, 50, 80, 0));
    EXPECT_EQ(bgr(22), std::make_tuple(212, 227, 255, 0));
    EXPECT_EQ(bgr(40), std::make_tuple(0, 0, 254, 0));
    EXPECT_EQ(bgr(76), std::make_tuple(254, 0, 254, 0));
    EXPECT_EQ(bgr(112), std::make_tuple(254, 0, 0, 0));
    EXPECT_EQ(bgr(225), std::make_tuple(0, 80, 80, 0));
    EXPECT_EQ(bgr(226), std::make_tuple(242, 242, 242, 0));
    EXPECT_EQ(bgr(245), std::make_tuple(14, 14, 14, 0));
    EXPECT_EQ(bgr(246), std::make_tuple(240, 251, 255, 0));
    EXPECT_EQ(bgr(255), std::make_tuple(255, 255, 255, 0));

    CxImage mono(2, 2, 1);
    mono.SetPaletteColor(1, 5, 5, 5);
    mono.SetStdPalette();
    EXPECT_TRUE(SameColour(mono.GetPaletteColor(1), Rgb(5, 5, 5)));
}

TEST(ImagePalette, BlendTintsEveryEntry) {
    CxImage image(2, 2, 8);
    image.SetGrayPalette();
    image.BlendPalette(0x0000FF, 50);
    EXPECT_TRUE(SameColour(image.GetPaletteColor(0), Rgb(127, 0, 0)));
    EXPECT_TRUE(SameColour(image.GetPaletteColor(255), Rgb(255, 127, 127)));
    image.BlendPalette(0x00FF0000, 500); // taken as 100
    EXPECT_TRUE(SameColour(image.GetPaletteColor(9), Rgb(0, 0, 255)));
    image.BlendPalette(0, -2000000000L); // no lower bound, but stays defined
}

TEST(ImagePalette, SwapIndexExchangesEntriesAndPixels) {
    CxImage image(3, 1, 8);
    image.SetPaletteColor(1, 10, 10, 10);
    image.SetPaletteColor(2, 20, 20, 20);
    image.SetPixelIndex(0, 0, 1);
    image.SetPixelIndex(1, 0, 2);
    image.SetPixelIndex(2, 0, 3);
    image.SwapIndex(1, 2);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 2);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(image.GetPixelIndex(2, 0), 3);
    EXPECT_TRUE(SameColour(image.GetPixelColor(0, 0, false), Rgb(10, 10, 10)));
}

TEST(ImagePalette, IsSamePaletteChecksAlphaOnRequest) {
    CxImage a(2, 2, 8), b(2, 2, 8), c(2, 2, 4);
    a.SetGrayPalette();
    b.SetGrayPalette();
    EXPECT_TRUE(a.IsSamePalette(b));
    b.SetPaletteColor(4, 4, 4, 4, 1);
    EXPECT_FALSE(a.IsSamePalette(b, true));
    EXPECT_TRUE(a.IsSamePalette(b, false));
    EXPECT_FALSE(a.IsSamePalette(c));
    CxImage d(2, 2, 24), e(2, 2, 24);
    EXPECT_FALSE(d.IsSamePalette(e));
}

TEST(ImagePalette, NearestIndexSearchAndTies) {
    CxImage image(2, 2, 4);
    image.SetStdPalette();
    EXPECT_EQ(image.GetNearestIndex(Rgb(250, 0, 0)), 9);
    EXPECT_EQ(image.GetNearestIndex(Rgb(100, 100, 100)), 8);
    // Equal distances keep the lower index: entries 0 and 1 set to the same colour.
    CxImage tie(2, 2, 8);
    tie.SetPaletteColor(3, 10, 0, 0);
    tie.SetPaletteColor(5, 10, 0, 0);
    for (int i = 0; i < 256; ++i)
        if (i != 3 && i != 5) tie.SetPaletteColor(static_cast<unsigned char>(i), 200, 200, 200);
    EXPECT_EQ(tie.GetNearestIndex(Rgb(12, 0, 0)), 3);
    // Only the important colours are candidates.
    CxImage few(2, 2, 8);
    few.SetPaletteColor(0, 0, 0, 0);
    few.SetPaletteColor(1, 50, 50, 50);
    few.SetPaletteColor(2, 255, 255, 255);
    few.SetClrImportant(2);
    EXPECT_EQ(few.GetNearestIndex(Rgb(250, 250, 250)), 1);
    few.SetClrImportant(0);
    EXPECT_EQ(few.GetNearestIndex(Rgb(250, 250, 250)), 2);
    CxImage colour(2, 2, 24);
    EXPECT_EQ(colour.GetNearestIndex(Rgb(1, 2, 3)), 0);
}

// Straight search over the entries the lookup may use, without any cache.
int ReferenceNearest(CxImage& image, const RGBQUAD& c) {
    const unsigned long n =
        image.GetClrImportant() ? image.GetClrImportant() : image.GetNumColors();
    int best = 0, bestDistance = 1 << 30;
    for (unsigned long k = 0; k < n; ++k) {
        const RGBQUAD e = image.GetPaletteColor(static_cast<unsigned char>(k));
        const int db = e.rgbBlue - c.rgbBlue, dg = e.rgbGreen - c.rgbGreen,
                  dr = e.rgbRed - c.rgbRed;
        const int d = db * db + dg * dg + dr * dr;
        if (d < bestDistance) bestDistance = d, best = static_cast<int>(k);
    }
    return best;
}

// Every palette writer must drop the cached answer for a colour looked up before.
TEST(ImagePalette, NearestIndexCacheIsInvalidatedByEveryWriter) {
    const RGBQUAD probe = Rgb(0, 0, 255);
    struct Writer {
        const char* name;
        void (*write)(CxImage&);
    } writers[] = {
        {"SetPaletteColor", [](CxImage& i) { i.SetPaletteColor(40, 0, 0, 255); }},
        {"SetPaletteColor quad", [](CxImage& i) { i.SetPaletteColor(41, Rgb(0, 0, 255)); }},
        {"SetPaletteColor ref", [](CxImage& i) { i.SetPaletteColor(42, 0x00FF0000ul); }},
        {"SetPalette arrays",
         [](CxImage& i) {
             unsigned char r[44] = {}, g[44] = {}, b[44] = {};
             b[43] = 255;
             i.SetPalette(44, r, g, b);
         }},
        {"SetPalette quads",
         [](CxImage& i) {
             RGBQUAD q[2] = {Rgb(0, 0, 255), Rgb(0, 0, 0)};
             i.SetPalette(q, 2);
         }},
        {"SetGrayPalette", [](CxImage& i) { i.SetGrayPalette(); }},
        {"SetStdPalette", [](CxImage& i) { i.SetStdPalette(); }},
        {"BlendPalette", [](CxImage& i) { i.BlendPalette(0x00FF0000ul, 100); }},
        {"SwapIndex", [](CxImage& i) { i.SwapIndex(7, 9); }},
        {"SetClrImportant", [](CxImage& i) { i.SetClrImportant(3); }},
        {"Copy",
         [](CxImage& i) {
             CxImage other(4, 4, 8);
             other.SetPaletteColor(77, 0, 0, 255);
             i.Copy(other);
         }},
        {"Create", [](CxImage& i) { i.Create(4, 4, 8, 0); }},
    };
    for (const Writer& w : writers) {
        CxImage image(4, 4, 8);
        for (int k = 0; k < 256; ++k)
            image.SetPaletteColor(static_cast<unsigned char>(k), 255, 255, 255);
        image.SetPaletteColor(7, 0, 0, 250);
        ASSERT_EQ(image.GetNearestIndex(probe), 7) << w.name;
        w.write(image);
        const int expected = ReferenceNearest(image, probe);
        ASSERT_NE(expected, 7) << w.name;
        EXPECT_EQ(image.GetNearestIndex(probe), expected) << w.name;
    }
}

TEST(ImagePalette, ColorrefConversions) {
    const RGBQUAD q = CxImage::RGBtoRGBQUAD(0x00332211);
    EXPECT_TRUE(SameColour(q, RGBQUAD{0x33, 0x22, 0x11, 0}));
    EXPECT_EQ(CxImage::RGBQUADtoRGB(q), 0x00332211ul);
    EXPECT_EQ(CxImage::RGBQUADtoRGB(RGBQUAD{1, 2, 3, 99}), 0x00010203ul);
}

} // namespace

// The cache of nearest indices answers exactly as GetNearestIndex does, on
// the identity grey ramp (computed directly), on a palette with repeated
// entries and a short search range, and with the image's own memory.
TEST(NearestIndexCache, AnswersAsTheSearch) {
    CxImage grey(2, 2, 8), mixed(2, 2, 8), reference(2, 2, 8);
    grey.SetGrayPalette();
    for (unsigned i = 0; i < 256; ++i)
        mixed.SetPaletteColor(static_cast<unsigned char>(i), static_cast<uint8_t>(i * 37 % 64 * 4),
                              static_cast<uint8_t>(i * 11), static_cast<uint8_t>(i / 3 * 3));
    mixed.SetClrImportant(200);
    for (CxImage* image : {&grey, &mixed}) {
        reference.Copy(*image);
        reference.SetClrImportant(image->GetClrImportant());
        NearestIndexCache cache(*image);
        uint32_t state = 7;
        for (int i = 0; i < 20000; ++i) {
            state = state * 1664525u + 1013904223u;
            RGBQUAD c{static_cast<uint8_t>(state >> 8), static_cast<uint8_t>(state >> 16),
                      static_cast<uint8_t>(state >> 24), static_cast<uint8_t>(i)};
            if (i % 3 == 0) c.rgbGreen = c.rgbRed = c.rgbBlue;
            ASSERT_EQ(cache.Find(c), reference.GetNearestIndex(c)) << i;
        }
    }
    // A remembered colour is answered from memory, as GetNearestIndex does,
    // even when the palette changed behind it.
    const RGBQUAD c{9, 9, 9, 0};
    EXPECT_EQ(grey.GetNearestIndex(c), 9);
    grey.GetPalette()[9] = RGBQUAD{0, 0, 0, 0};
    EXPECT_EQ(NearestIndexCache(grey).Find(c), 9);
}
