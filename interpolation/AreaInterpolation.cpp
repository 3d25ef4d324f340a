#include "image/CxImage.h"
#include "image/Truncate.h"
#include "interpolation/CxRect2.h"

namespace {

// The unit cell of pixel (i, j), centred on the pixel.
CxRect2 PixelCell(long i, long j) {
    return CxRect2(static_cast<float>(i - 0.5), static_cast<float>(j - 0.5),
                   static_cast<float>(i + 0.5), static_cast<float>(j + 0.5));
}

} // namespace

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

    const double halfW = static_cast<double>(w) / 2, halfH = static_cast<double>(h) / 2;
    CxRect2 area(static_cast<float>(xc - halfW), static_cast<float>(yc - halfH),
                 static_cast<float>(xc + halfW), static_cast<float>(yc + halfH));
    const long xmin = TruncateToLong(area.corner1.x + 0.5);
    const long ymin = TruncateToLong(area.corner1.y + 0.5);
    const long xmax = TruncateToLong(area.corner2.x + 0.5);
    const long ymax = TruncateToLong(area.corner2.y + 0.5);

    float red = 0, green = 0, blue = 0, alphaSum = 0;
    auto add = [&](long x, long y, float weight) {
        AddAveragingCont(GetPixelColorWithOverflow(x, y, overflow, replacement), weight, red, green,
                         blue, alphaSum);
    };

    if (h > 1 && w > 1) {
        const CxRect2 first = area.CrossSection(PixelCell(xmin, ymin));
        const CxRect2 last = area.CrossSection(PixelCell(xmax, ymax));
        const float wFirst = first.Width(), hFirst = first.Height();
        const float wLast = last.Width(), hLast = last.Height();

        add(xmin, ymin, wFirst * hFirst);
        add(xmax, ymin, wLast * hFirst);
        add(xmin, ymax, wFirst * hLast);
        add(xmax, ymax, wLast * hLast);
        for (long x = xmin + 1; x < xmax; ++x) {
            add(x, ymin, hFirst);
            add(x, ymax, hLast);
        }
        for (long y = ymin + 1; y < ymax; ++y) {
            add(xmin, y, wFirst);
            add(xmax, y, wLast);
        }
        for (long y = ymin + 1; y < ymax; ++y)
            for (long x = xmin + 1; x < xmax; ++x) add(x, y, 1.0f);
    } else {
        for (long y = ymin; y <= ymax; ++y) {
            for (long x = xmin; x <= xmax; ++x) {
                CxRect2 part = area.CrossSection(PixelCell(x, y));
                const RGBQUAD c = GetPixelColorInterpolated(part.Center().x, part.Center().y,
                                                            method, overflow, replacement);
                AddAveragingCont(c, part.Surface(), red, green, blue, alphaSum);
            }
        }
    }

    // Divided by the nominal area, not by the sum of the weights.
    const float surface = area.Surface();
    return RGBQUAD{ClampChannel(blue / surface), ClampChannel(green / surface),
                   ClampChannel(red / surface),
                   AlphaIsValid() ? ClampChannel(alphaSum / surface) : uint8_t(0)};
}
