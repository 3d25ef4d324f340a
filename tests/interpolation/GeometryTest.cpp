#include "interpolation/CxPoint2.h"
#include "interpolation/CxRect2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

static void ExpectRect(const CxRect2& r, float x1, float y1, float x2, float y2) {
    EXPECT_EQ(r.corner1.x, x1);
    EXPECT_EQ(r.corner1.y, y1);
    EXPECT_EQ(r.corner2.x, x2);
    EXPECT_EQ(r.corner2.y, y2);
}

TEST(Geometry, PointDistance) {
    CxPoint2 p(3.0f, 4.0f);
    EXPECT_EQ(p.Distance(0.0f, 0.0f), 5.0f);
    EXPECT_EQ(p.Distance(CxPoint2()), 5.0f);
    EXPECT_EQ(CxPoint2(-1.0f, -1.0f).Distance(2.0f, 3.0f), 5.0f);
    EXPECT_EQ(p.Distance(p), 0.0f);
}

TEST(Geometry, RectMeasuresKeepSigns) {
    CxRect2 r(0.0f, 0.0f, 2.0f, 3.0f);
    EXPECT_EQ(r.Width(), 2.0f);
    EXPECT_EQ(r.Height(), 3.0f);
    EXPECT_EQ(r.Surface(), 6.0f);
    CxPoint2 c = r.Center();
    EXPECT_EQ(c.x, 1.0f);
    EXPECT_EQ(c.y, 1.5f);

    CxRect2 reversed(2.0f, 3.0f, 0.0f, 0.0f);
    EXPECT_EQ(reversed.Width(), -2.0f);
    EXPECT_EQ(reversed.Height(), -3.0f);
    EXPECT_EQ(reversed.Surface(), 6.0f);
    ExpectRect(CxRect2(), 0.0f, 0.0f, 0.0f, 0.0f);
}

TEST(Geometry, CrossSection) {
    ExpectRect(CxRect2(0, 0, 2, 2).CrossSection(CxRect2(1, 1, 3, 3)), 1, 1, 2, 2);
    // Touching rectangles keep a zero-width result in place.
    CxRect2 touch = CxRect2(0, 0, 1, 1).CrossSection(CxRect2(1, 0, 2, 1));
    ExpectRect(touch, 1, 0, 1, 1);
    EXPECT_EQ(touch.Surface(), 0.0f);
    ExpectRect(CxRect2(0, 0, 1, 1).CrossSection(CxRect2(2, 2, 3, 3)), 0, 0, 0, 0);
    ExpectRect(CxRect2(-1.5f, -0.5f, 0.5f, 0.5f).CrossSection(CxRect2(-0.5f, -0.5f, 0.5f, 0.5f)),
               -0.5f, -0.5f, 0.5f, 0.5f);
}

// Infinite coordinates that leave a measure without a value (inf - inf,
// 0 * inf) give the NaN with a clear sign on every processor, bit for bit.
TEST(Geometry, MeasuresWithoutAValueAreOneNaN) {
    const float inf = INFINITY;
    const CxRect2 infinite(inf, -inf, inf, 1.0f), flat(-inf, 0.0f, inf, 0.0f);
    CxRect2 across(-inf, -inf, inf, inf);
    const float results[] = {CxPoint2(inf, 0.0f).Distance(inf, 0.0f), infinite.Width(),
                             flat.Surface(), across.Center().x, across.Center().y};
    for (float v : results) {
        uint32_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        EXPECT_EQ(bits, 0x7FC00000u);
    }
}
