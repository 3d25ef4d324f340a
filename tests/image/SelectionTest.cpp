#include "tests/image/TestImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The selection drawn as text, top row of the picture first: '#' selected.
std::string Mask(CxImage& image) {
    std::string text;
    for (long y = static_cast<long>(image.GetHeight()) - 1; y >= 0; --y) {
        for (long x = 0; x < static_cast<long>(image.GetWidth()); ++x)
            text += image.SelectionIsInside(x, y) ? '#' : '.';
        text += '\n';
    }
    return text;
}

void ExpectBox(CxImage& image, long left, long top, long right, long bottom) {
    RECT box;
    image.SelectionGetBox(box);
    EXPECT_EQ(box.left, left);
    EXPECT_EQ(box.top, top);
    EXPECT_EQ(box.right, right);
    EXPECT_EQ(box.bottom, bottom);
}

TEST(ImageSelection, NoPlaneSelectsEverythingInside) {
    CxImage image(3, 3, 8);
    EXPECT_TRUE(image.SelectionIsInside(0, 0));
    EXPECT_TRUE(image.SelectionIsInside(2, 2));
    EXPECT_FALSE(image.SelectionIsInside(3, 0));
    EXPECT_FALSE(image.SelectionClear());
    EXPECT_FALSE(image.SelectionInvert());
    EXPECT_FALSE(image.SelectionSplit(&image));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_FALSE(image.SelectionToHRGN(region));
    DeleteObject(region);
    ASSERT_TRUE(image.SelectionCreate());
    ExpectBox(image, 3, 0, 0, 3);
    EXPECT_FALSE(image.SelectionIsInside(1, 1));
    CxImage empty;
    EXPECT_FALSE(empty.SelectionCreate());
}

TEST(ImageSelection, RectanglesSelectHalfOpenRanges) {
    CxImage image(10, 10, 8);
    ASSERT_TRUE(image.SelectionAddRect(RECT{2, 5, 6, 3}));
    ExpectBox(image, 2, 5, 6, 3);
    for (long y = 0; y < 10; ++y)
        for (long x = 0; x < 10; ++x)
            EXPECT_EQ(image.SelectionIsInside(x, y), x >= 2 && x < 6 && y >= 3 && y < 5)
                << x << "," << y;

    CxImage swapped(10, 10, 8);
    swapped.SelectionAddRect(RECT{6, 3, 2, 5});
    EXPECT_EQ(Mask(swapped), Mask(image));

    CxImage beyond(4, 4, 8);
    beyond.SelectionAddRect(RECT{-5, 100, 2, -3});
    ExpectBox(beyond, 0, 4, 2, 0);
    EXPECT_EQ(Mask(beyond), "##..\n##..\n##..\n##..\n");
    // A degenerate rectangle selects nothing but grows the box.
    CxImage flat(4, 4, 8);
    flat.SelectionAddRect(RECT{1, 2, 1, 2});
    ExpectBox(flat, 1, 2, 1, 2);
    EXPECT_EQ(Mask(flat), "....\n....\n....\n....\n");
}

TEST(ImageSelection, InvertCopyAndClear) {
    CxImage image(4, 2, 8);
    image.SelectionAddRect(RECT{0, 1, 2, 0});
    const std::string before = Mask(image);
    ASSERT_TRUE(image.SelectionInvert());
    EXPECT_EQ(Mask(image), "####\n..##\n");
    ExpectBox(image, 0, 1, 2, 0);
    image.SelectionInvert();
    EXPECT_EQ(Mask(image), before);

    CxImage other(5, 2, 8);
    other.SelectionAddPixel(4, 0);
    EXPECT_FALSE(other.SelectionCopy(image));
    EXPECT_TRUE(other.SelectionIsInside(4, 0));
    CxImage same(4, 2, 24);
    ASSERT_TRUE(same.SelectionCopy(image));
    EXPECT_EQ(Mask(same), before);
    ExpectBox(same, 0, 1, 2, 0);

    ASSERT_TRUE(image.SelectionClear());
    EXPECT_EQ(Mask(image), "....\n....\n");
    ExpectBox(image, 4, 0, 0, 2);
    EXPECT_TRUE(image.SelectionDelete());
    EXPECT_FALSE(image.SelectionIsValid());
}

TEST(ImageSelection, SplitMakesAGreyImage) {
    CxImage image(3, 2, 24);
    image.SelectionAddPixel(2, 1);
    CxImage grey;
    ASSERT_TRUE(image.SelectionSplit(&grey));
    EXPECT_EQ(grey.GetBpp(), 8);
    EXPECT_TRUE(grey.IsGrayScale());
    EXPECT_EQ(grey.GetPixelIndex(2, 1), 255);
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 0);
}

TEST(ImageSelection, EllipseOnSmallImage) {
    CxImage image(9, 9, 8);
    ASSERT_TRUE(image.SelectionAddEllipse(RECT{0, 8, 8, 0}));
    ExpectBox(image, 0, 8, 8, 0);
    // Centre (4, 4), radii 4. Column 4 reaches rows 1..7 (the upper half is
    // open at yc + yr = 8); columns 1 and 7 reach rows 2..5.
    EXPECT_EQ(Mask(image), ".........\n"
                           "....#....\n"
                           "..#####..\n"
                           ".#######.\n"
                           ".#######.\n"
                           ".#######.\n"
                           ".#######.\n"
                           "..#####..\n"
                           ".........\n");
    CxImage flat(9, 9, 8);
    EXPECT_FALSE(flat.SelectionAddEllipse(RECT{0, 4, 8, 5}));
    EXPECT_TRUE(flat.SelectionIsValid());
}

TEST(ImageSelection, PolygonSelectsOutlineAndInterior) {
    CxImage image(8, 8, 8);
    POINT triangle[] = {{1, 1}, {6, 1}, {1, 6}};
    ASSERT_TRUE(image.SelectionAddPolygon(triangle, 3));
    EXPECT_EQ(Mask(image), "........\n"
                           ".#......\n"
                           ".##.....\n"
                           ".###....\n"
                           ".####...\n"
                           ".#####..\n"
                           ".######.\n"
                           "........\n");
    ExpectBox(image, 0, 8, 8, 0);
    EXPECT_FALSE(image.SelectionAddPolygon(triangle, 2));
    EXPECT_FALSE(image.SelectionAddPolygon(nullptr, 3));
}

TEST(ImageSelection, PolygonSeparatorsStartNewShapes) {
    CxImage image(10, 4, 8);
    POINT shapes[] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {-1, 0}, {5, 1}, {7, 1}, {7, 2}, {5, 2}};
    ASSERT_TRUE(image.SelectionAddPolygon(shapes, 9));
    EXPECT_EQ(Mask(image), "..........\n"
                           "###..###..\n"
                           "###..###..\n"
                           "###.......\n");
}

TEST(ImageSelection, PolygonFloodNeedsMorePendingRowsThanTheBox) {
    // A comb: many narrow teeth make the outside flood queue far more rows
    // than the fill box's area would hold in a fixed ring.
    const long width = 64, height = 64;
    CxImage image(width, height, 8);
    std::vector<POINT> comb;
    comb.push_back(POINT{1, 1});
    for (int tooth = 0; tooth < 15; ++tooth) {
        const int x = 2 + 4 * tooth;
        comb.push_back(POINT{x, 62});
        comb.push_back(POINT{x + 1, 62});
        comb.push_back(POINT{x + 1, 2});
        comb.push_back(POINT{x + 3, 2});
    }
    comb.push_back(POINT{62, 62});
    comb.push_back(POINT{62, 1});
    ASSERT_TRUE(image.SelectionAddPolygon(comb.data(), static_cast<long>(comb.size())));
    // Outside the shape, between teeth near the top, stays unselected;
    // the base row is selected.
    EXPECT_TRUE(image.SelectionIsInside(10, 1));
    EXPECT_FALSE(image.SelectionIsInside(0, 63));
    // Huge coordinates stay defined.
    POINT wild[] = {{-2000000000, -2000000000}, {2000000000, 5}, {3, 2000000000}};
    EXPECT_TRUE(image.SelectionAddPolygon(wild, 3));
}

TEST(ImageSelection, ColourAndPixelAdditions) {
    CxImage image(5, 6, 24);
    image.Clear(0);
    image.SetPixelColor(3, 4, Rgb(1, 2, 3));
    ASSERT_TRUE(image.SelectionAddColor(Rgb(1, 2, 3, 99)));
    ExpectBox(image, 3, 4, 3, 4);
    EXPECT_TRUE(image.SelectionIsInside(3, 4));
    EXPECT_FALSE(image.SelectionIsInside(2, 4));

    CxImage pixels(3, 3, 8);
    EXPECT_FALSE(pixels.SelectionAddPixel(3, 0));
    EXPECT_TRUE(pixels.SelectionIsValid());
    EXPECT_TRUE(pixels.SelectionAddPixel(1, 2));
    ExpectBox(pixels, 3, 0, 0, 3);
    EXPECT_TRUE(pixels.SelectionIsInside(1, 2));
}

TEST(ImageSelection, RegionRowsFromRunsOf255) {
    CxImage image(8, 2, 8);
    image.SelectionCreate();
    uint8_t* plane = RecordView(image).SelectionPlane();
    plane[1] = plane[2] = plane[3] = plane[6] = 255;
    plane[4] = 1; // selected for SelectionIsInside, not for the region
    plane[8 + 7] = 255;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_TRUE(image.SelectionToHRGN(region));
    const std::vector<RECT> rects = RegionRectangles(region);
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0].left, 1);
    EXPECT_EQ(rects[0].right, 4);
    EXPECT_EQ(rects[0].top, 0);
    EXPECT_EQ(rects[0].bottom, 1);
    EXPECT_EQ(rects[1].left, 6);
    EXPECT_EQ(rects[1].right, 7);
    EXPECT_EQ(rects[2].left, 7);
    EXPECT_EQ(rects[2].right, 8);
    EXPECT_EQ(rects[2].top, 1);
    DeleteObject(region);
    HRGN none = nullptr;
    EXPECT_FALSE(image.SelectionToHRGN(none));
}

} // namespace
