// CxPoint2: a point with float coordinates, and distances.

#include "interpolation/CxPoint2.h"

#include "interpolation/Elementary.h"

#include <cmath>

CxPoint2::CxPoint2() : x(0.0f), y(0.0f) {}

CxPoint2::CxPoint2(float x_, float y_) : x(x_), y(y_) {}

CxPoint2::CxPoint2(const CxPoint2& p) = default;

CxPoint2& CxPoint2::operator=(const CxPoint2& p) = default;

float CxPoint2::Distance(CxPoint2 p) {
    return Distance(p.x, p.y);
}

float CxPoint2::Distance(float px, float py) {
    const double dx = static_cast<double>(x) - static_cast<double>(px);
    const double dy = static_cast<double>(y) - static_cast<double>(py);
    const float sum = static_cast<float>(dx * dx + dy * dy);
    // Two infinite coordinates of one sign on an axis: no distance.
    return elementary::OneNaN(static_cast<float>(std::sqrt(static_cast<double>(sum))));
}
