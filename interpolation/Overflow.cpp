#include "image/CxImage.h"

#include <cmath>

namespace {

const RGBQUAD kWhiteFallback = {255, 255, 255, 0};

long Wrap(long v, long size) {
    v %= size;
    return v < 0 ? v + size : v;
}

long Repeat(long v, long size) {
    v = v > 0 ? v : 0;
    return v < size - 1 ? v : size - 1;
}

long Mirror(long v, long size) {
    if (v < 0) return (-v) % size;
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
    if (IsInside(x, y)) return;
    const long width = head.biWidth, height = head.biHeight;
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
    if (pixelBuffer != nullptr && IsInside(x, y)) return BlindGetPixelColor(x, y);

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
        OverflowCoordinates(x, y, method);
        return BlindGetPixelColor(x, y);
    default:
        return fallback;
    }
}
