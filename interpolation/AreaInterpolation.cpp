// Area sampling of one point (GetAreaColorInterpolated): the colours of the
// covered pixels, each weighted by its covered surface.

#include "image/CxImage.h"
#include "image/Truncate.h"
#include "interpolation/AreaCells.h"
#include "interpolation/CxRect2.h"

CxRect2 PixelCell(long i, long j) {
    return CxRect2(static_cast<float>(i - 0.5), static_cast<float>(j - 0.5),
                   static_cast<float>(i + 0.5), static_cast<float>(j + 0.5));
}

void CxImage::AddAveragingCont(const RGBQUAD& colour, float weight, float& red, float& green,
                               float& blue, float& alphaSum) {
    const double w = weight;
    red = static_cast<float>(red + colour.rgbRed * w);
    green = static_cast<float>(green + colour.rgbGreen * w);
    blue = static_cast<float>(blue + colour.rgbBlue * w);
    alphaSum = static_cast<float>(alphaSum + colour.rgbReserved * w);
}

RGBQUAD CxImage::GetAreaColorInterpolated(float xc, float yc, float w, float h,
                                          InterpolationMethod method, OverflowMethod overflow,
                                          RGBQUAD* const replacement) {
    if (w <= 1 && h <= 1) return GetPixelColorInterpolated(xc, yc, method, overflow, replacement);

    const AreaCells area(xc, yc, w, h);
    float red = 0, green = 0, blue = 0, alphaSum = 0;
    if (h > 1 && w > 1) {
        area.Walk([&](long x, long y, float weight) {
            AddAveragingCont(GetPixelColorWithOverflow(x, y, overflow, replacement), weight, red,
                             green, blue, alphaSum);
        });
    } else {
        for (long y = area.ymin; y <= area.ymax; ++y) {
            for (long x = area.xmin; x <= area.xmax; ++x) {
                CxRect2 part = area.area.CrossSection(PixelCell(x, y));
                const RGBQUAD c = GetPixelColorInterpolated(part.Center().x, part.Center().y,
                                                            method, overflow, replacement);
                AddAveragingCont(c, part.Surface(), red, green, blue, alphaSum);
            }
        }
    }

    // Divided by the nominal area, not by the sum of the weights.
    const float surface = area.area.Surface();
    return RGBQUAD{ClampChannel(blue / surface), ClampChannel(green / surface),
                   ClampChannel(red / surface),
                   AlphaIsValid() ? ClampChannel(alphaSum / surface) : uint8_t(0)};
}

AreaCells::AreaCells(float xc, float yc, float w, float h)
    : area(static_cast<float>(xc - static_cast<double>(w) / 2),
           static_cast<float>(yc - static_cast<double>(h) / 2),
           static_cast<float>(xc + static_cast<double>(w) / 2),
           static_cast<float>(yc + static_cast<double>(h) / 2)),
      xmin(TruncateToLong(area.corner1.x + 0.5)), ymin(TruncateToLong(area.corner1.y + 0.5)),
      xmax(TruncateToLong(area.corner2.x + 0.5)), ymax(TruncateToLong(area.corner2.y + 0.5)) {
    const CxRect2 first = area.CrossSection(PixelCell(xmin, ymin));
    const CxRect2 last = area.CrossSection(PixelCell(xmax, ymax));
    wFirst = first.Width(), hFirst = first.Height();
    wLast = last.Width(), hLast = last.Height();
}
