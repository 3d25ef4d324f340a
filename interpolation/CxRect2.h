#pragma once

#include "interpolation/CxPoint2.h"
#include "platform/Export.h"

// An axis-aligned rectangle given by two corners. The first corner is meant
// to hold the smaller coordinates, but nothing enforces it: the corners are
// stored as given, and Width, Height and Surface are then negative. The empty
// rectangle has all four values 0.
class UEYE_EXPORT CxRect2 {
public:
    CxRect2();
    CxRect2(float x1, float y1, float x2, float y2);
    CxRect2(const CxRect2& r);
    CxRect2& operator=(const CxRect2& r);

    float Width() const;
    float Height() const;
    // Signed area, Height() * Width().
    float Surface() const;
    CxPoint2 Center();
    // The intersection with r; rectangles that only touch give a zero-width
    // (or zero-height) result in place, disjoint ones the empty rectangle.
    CxRect2 CrossSection(const CxRect2& r) const;

    CxPoint2 corner1; // (x1, y1)
    CxPoint2 corner2; // (x2, y2)
};
