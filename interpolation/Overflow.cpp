// Overflow: coordinates outside the image folded back inside (wrap, repeat,
// mirror) or answered with a fallback colour, and pixel colours read with an
// overflow method.

#include "image/CxImage.h"
#include "image/RecordView.h"

#include <cmath>

namespace {

const RGBQUAD kWhiteFallback = {255, 255, 255, 0};

// The integer folds work on 64-bit values whatever the width of long, so a
// sampler can fold the cells around a coordinate near the 32-bit limits.
long long Wrap(long long v, long long size) {
    v %= size;
    return v < 0 ? v + size : v;
}

long long Repeat(long long v, long long size) {
    v = v > 0 ? v : 0;
    return v < size - 1 ? v : size - 1;
}

// |v| mod size for negative v, without negating the most negative value.
long long Mirror(long long v, long long size) {
    if (v < 0) {
        const long long remainder = -(v + 1) % size + 1;
        return remainder == size ? 0 : remainder;
    }
    if (v >= size) return size - (v % size) - 1;
    return v;
}

float Wrap(float v, float size) {
    v = static_cast<float>(std::fmod(v, size));
    return v < 0 ? static_cast<float>(static_cast<double>(size) + v) : v;
}

float Repeat(float v, float size) {
    v = v > 0 ? v : 0.0f;
    const float last = static_cast<float>(size - 1);
    return last > v ? v : last;
}

float Mirror(float v, float size) {
    if (v < 0) return static_cast<float>(std::fmod(-v, size));
    if (v >= size) {
        const float remainder = static_cast<float>(std::fmod(v, size));
        return static_cast<float>(static_cast<double>(size) -
                                  (static_cast<double>(remainder) + 1.0));
    }
    return v;
}

// Folds both coordinates with the remapping methods; the colour methods and
// unknown values leave them as they are.
template <typename T> void FoldBoth(T& x, T& y, T width, T height, CxImage::OverflowMethod method) {
    switch (method) {
    case CxImage::OM_WRAP:
        x = Wrap(x, width);
        y = Wrap(y, height);
        break;
    case CxImage::OM_REPEAT:
        x = Repeat(x, width);
        y = Repeat(y, height);
        break;
    case CxImage::OM_MIRROR:
        x = Mirror(x, width);
        y = Mirror(y, height);
        break;
    default:
        break;
    }
}

} // namespace

void CxImage::OverflowCoordinates(long& x, long& y, OverflowMethod method) {
    long long wideX = x, wideY = y;
    RecordView(*this).FoldWide(wideX, wideY, method);
    // Every fold lands inside the image, so the results fit a long.
    x = static_cast<long>(wideX);
    y = static_cast<long>(wideY);
}

void RecordView::FoldWide(long long& x, long long& y, CxImage::OverflowMethod method) const {
    const long long width = Header().biWidth, height = Header().biHeight;
    if (x >= 0 && x < width && y >= 0 && y < height) return;
    // An image without pixels has nothing to fold onto.
    if (width <= 0 || height <= 0) return;
    FoldBoth(x, y, width, height, method);
}

void CxImage::OverflowCoordinates(float& x, float& y, OverflowMethod method) {
    const float width = static_cast<float>(head.biWidth);
    const float height = static_cast<float>(head.biHeight);
    if (x >= 0 && x < width && y >= 0 && y < height) return;
    if (head.biWidth <= 0 || head.biHeight <= 0) return;
    FoldBoth(x, y, width, height, method);
}

RGBQUAD CxImage::GetPixelColorWithOverflow(long x, long y, OverflowMethod method,
                                           RGBQUAD* const replacement) {
    return PixelColorWithOverflowWide(x, y, method, replacement);
}

RGBQUAD CxImage::PixelColorWithOverflowWide(long long x, long long y, OverflowMethod method,
                                            RGBQUAD* const replacement) {
    const bool inside = x >= 0 && x < head.biWidth && y >= 0 && y < head.biHeight;
    if (pixelBuffer != nullptr && inside)
        return BlindGetPixelColor(static_cast<long>(x), static_cast<long>(y));

    RGBQUAD fallback = replacement != nullptr ? *replacement : kWhiteFallback;
    if (pixelBuffer == nullptr) return fallback;

    switch (method) {
    case OM_BACKGROUND:
        if (info.transIndex != -1) return GetTransColor();
        return fallback;
    case OM_TRANSPARENT:
        if (AlphaIsValid()) {
            fallback.rgbReserved = 0;
            return fallback;
        }
        if (info.transIndex >= 0) return GetTransColor();
        return fallback;
    case OM_WRAP:
    case OM_REPEAT:
    case OM_MIRROR:
        RecordView(*this).FoldWide(x, y, method);
        return BlindGetPixelColor(static_cast<long>(x), static_cast<long>(y));
    default:
        return fallback;
    }
}
