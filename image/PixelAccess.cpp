// Single pixels: indices, colours and grey levels read and written, a colour
// blended into a pixel, and lines.

#include "image/CxImage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

unsigned char GreyLevel(const RGBQUAD& c) {
    return static_cast<unsigned char>((306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10);
}

} // namespace

unsigned char CxImage::GetPixelIndex(long x, long y) {
    if (pixelBuffer == nullptr || head.biClrUsed == 0) return 0;
    if (!IsInside(x, y)) {
        if (info.transIndex != -1) return static_cast<unsigned char>(info.transIndex & 0xFF);
        return info.firstRow[0];
    }
    return BlindGetPixelIndex(x, y);
}

RGBQUAD CxImage::GetPixelColor(long x, long y, bool getalpha) {
    if (pixelBuffer == nullptr || !IsInside(x, y)) {
        if (info.transIndex != -1) {
            if (head.biBitCount >= 24) return info.transColor;
            return GetPaletteColor(static_cast<unsigned char>(info.transIndex & 0xFF));
        }
        if (pixelBuffer != nullptr) return GetPixelColor(0, 0, true);
        return info.transColor;
    }

    RGBQUAD colour;
    if (head.biClrUsed != 0) {
        colour = GetPaletteColor(BlindGetPixelIndex(x, y));
    } else {
        const uint8_t* pixel = info.firstRow + static_cast<size_t>(y) * info.effWidth + 3 * x;
        colour = RGBQUAD{pixel[0], pixel[1], pixel[2], 0};
    }
    if (getalpha && alpha != nullptr) colour.rgbReserved = BlindAlphaGet(x, y);
    return colour;
}

unsigned char CxImage::GetPixelGray(long x, long y) {
    return GreyLevel(GetPixelColor(x, y, true));
}

void CxImage::SetPixelIndex(long x, long y, unsigned char index) {
    if (pixelBuffer == nullptr || head.biClrUsed == 0 || !IsInside(x, y)) return;
    BlindSetPixelIndex(x, y, index);
}

void CxImage::SetPixelColor(long x, long y, RGBQUAD colour, bool setalpha) {
    if (pixelBuffer == nullptr || !IsInside(x, y)) return;
    BlindSetPixelColor(x, y, colour, setalpha);
}

void CxImage::SetPixelColor(long x, long y, unsigned long colour) {
    SetPixelColor(x, y, RGBtoRGBQUAD(colour), false);
}

void CxImage::BlendPixelColor(long x, long y, RGBQUAD colour, float blend, bool setalpha) {
    if (pixelBuffer == nullptr || !IsInside(x, y)) return;
    // The weight is the blend factor in 1/256 steps; factors outside 0..1
    // (and NaN) are held to that range so the 8-bit mix stays defined.
    long a1 = 0;
    if (blend >= 1.0f)
        a1 = 256;
    else if (blend > 0.0f)
        a1 = static_cast<long>(blend * 256);
    const long a0 = 256 - a1;

    const RGBQUAD current = BlindGetPixelColor(x, y);
    RGBQUAD mixed;
    mixed.rgbBlue = static_cast<uint8_t>((current.rgbBlue * a0 + colour.rgbBlue * a1) >> 8);
    mixed.rgbGreen = static_cast<uint8_t>((current.rgbGreen * a0 + colour.rgbGreen * a1) >> 8);
    mixed.rgbRed = static_cast<uint8_t>((current.rgbRed * a0 + colour.rgbRed * a1) >> 8);
    mixed.rgbReserved = colour.rgbReserved;
    BlindSetPixelColor(x, y, mixed, setalpha);
}

bool CxImage::IsTransparent(long x, long y) {
    if (pixelBuffer == nullptr) return false;
    if (info.transIndex >= 0) {
        if (head.biClrUsed != 0) {
            if (GetPixelIndex(x, y) == info.transIndex) return true;
        } else {
            const RGBQUAD c = GetPixelColor(x, y, false);
            if (c.rgbBlue == info.transColor.rgbBlue && c.rgbGreen == info.transColor.rgbGreen &&
                c.rgbRed == info.transColor.rgbRed)
                return true;
        }
    }
    if (alpha != nullptr) return AlphaGet(x, y) == 0;
    return false;
}

void CxImage::DrawLine(int startX, int endX, int startY, int endY, RGBQUAD colour, bool setalpha) {
    if (pixelBuffer == nullptr) return;
    // 64-bit walk, whatever the width of long: the extremes of int would
    // overflow the differences.
    const long long dx = std::llabs(static_cast<long long>(endX) - startX);
    const long long dy = std::llabs(static_cast<long long>(endY) - startY);

    // Every point steps once along the major axis; the minor axis steps when
    // the accumulated numerator passes the denominator.
    const bool xMajor = dx >= dy;
    const long long majorStart = xMajor ? startX : startY, minorStart = xMajor ? startY : startX;
    const long long majorStep = (xMajor ? endX >= startX : endY >= startY) ? 1 : -1;
    const long long minorStep = (xMajor ? endY >= startY : endX >= startX) ? 1 : -1;
    const long long majorSize = static_cast<long long>(xMajor ? GetWidth() : GetHeight());
    const long long den = xMajor ? dx : dy, numadd = xMajor ? dy : dx, count = den;

    // Points whose major coordinate lies outside the image draw nothing, so
    // the walk starts at the first point that can be inside and stops after
    // the last: a line between far-away end points costs no more than one
    // across the image, and draws the same pixels.
    long long first = majorStep > 0 ? -majorStart : majorStart - (majorSize - 1);
    long long last = majorStep > 0 ? majorSize - 1 - majorStart : majorStart;
    first = std::max(first, 0LL);
    last = std::min(last, count);
    if (first > last) return;

    // State of the walk before point `first`: each step adds numadd <= den,
    // so the minor axis has stepped once per whole den in the running sum.
    const uint64_t advanced = static_cast<uint64_t>(den / 2) +
                              static_cast<uint64_t>(first) * static_cast<uint64_t>(numadd);
    long long num =
        den != 0 ? static_cast<long long>(advanced % static_cast<uint64_t>(den)) : den / 2;
    long long minor =
        minorStart +
        (den != 0 ? static_cast<long long>(advanced / static_cast<uint64_t>(den)) : 0) * minorStep;
    long long major = majorStart + first * majorStep;

    for (long long i = first; i <= last; ++i) {
        // Both lie within the range of int: the major coordinate inside the
        // image, the minor one between the end points.
        SetPixelColor(static_cast<long>(xMajor ? major : minor),
                      static_cast<long>(xMajor ? minor : major), colour, setalpha);
        num += numadd;
        if (num >= den) {
            num -= den;
            minor += minorStep;
        }
        major += majorStep;
    }
}

void CxImage::DrawLine(int startX, int endX, int startY, int endY, unsigned long colour) {
    DrawLine(startX, endX, startY, endY, RGBtoRGBQUAD(colour), false);
}
