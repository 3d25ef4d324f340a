// CxRect2: a rectangle of float corners, its size, surface, centre and cross-
// section with another. Infinite corners that leave a size or a centre
// without a value (inf - inf, 0 * inf) give the one NaN of OneNaN.

#include "interpolation/CxRect2.h"

#include "interpolation/Elementary.h"

CxRect2::CxRect2() : corner1(0.0f, 0.0f), corner2(0.0f, 0.0f) {}

CxRect2::CxRect2(float x1, float y1, float x2, float y2) : corner1(x1, y1), corner2(x2, y2) {}

CxRect2::CxRect2(const CxRect2& r) = default;

CxRect2& CxRect2::operator=(const CxRect2& r) = default;

float CxRect2::Width() const {
    return elementary::OneNaN(static_cast<float>(corner2.x - corner1.x));
}

float CxRect2::Height() const {
    return elementary::OneNaN(static_cast<float>(corner2.y - corner1.y));
}

float CxRect2::Surface() const {
    return elementary::OneNaN(static_cast<float>(Height() * Width()));
}

CxPoint2 CxRect2::Center() {
    return CxPoint2(elementary::OneNaN(static_cast<float>((corner2.x + corner1.x) * 0.5f)),
                    elementary::OneNaN(static_cast<float>((corner2.y + corner1.y) * 0.5f)));
}

CxRect2 CxRect2::CrossSection(const CxRect2& r) const {
    const float x1 = corner1.x > r.corner1.x ? corner1.x : r.corner1.x;
    const float y1 = corner1.y > r.corner1.y ? corner1.y : r.corner1.y;
    const float x2 = corner2.x < r.corner2.x ? corner2.x : r.corner2.x;
    const float y2 = corner2.y < r.corner2.y ? corner2.y : r.corner2.y;
    if (x2 >= x1 && y2 >= y1) return CxRect2(x1, y1, x2, y2);
    return CxRect2();
}
