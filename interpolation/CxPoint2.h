#pragma once

#include "platform/Export.h"

// A point with float coordinates.
class UEYE_EXPORT CxPoint2 {
public:
    CxPoint2();
    CxPoint2(float x, float y);
    CxPoint2(const CxPoint2& p);
    CxPoint2& operator=(const CxPoint2& p);

    // Euclidean distance: differences in double, the sum of squares and its
    // root each rounded to float.
    float Distance(CxPoint2 p);
    float Distance(float px, float py);

    float x;
    float y;
};
