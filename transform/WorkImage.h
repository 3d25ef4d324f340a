#pragma once

#include "image/CxImage.h"

#include <cstdint>

// Helpers shared by the transformation units. They use only the public
// interface of CxImage.
namespace transform_detail {

// Progress of `done` out of `total` as a percentage, without 32-bit overflow.
inline long Percent(long done, long total) {
    if (total <= 0) return 0;
    return static_cast<long>(static_cast<int64_t>(done) * 100 / total);
}

// One row of a 24-bit work image written straight through its pixel row and
// its alpha plane row (when there is one).
struct DirectRow {
    uint8_t* pixels;
    unsigned char* alpha;

    DirectRow(CxImage& work, long y)
        : pixels(work.GetBits(static_cast<unsigned long>(y))), alpha(work.AlphaGetPointer(0, y)) {}

    void Store(long x, const RGBQUAD& c) {
        pixels[3 * x] = c.rgbBlue;
        pixels[3 * x + 1] = c.rgbGreen;
        pixels[3 * x + 2] = c.rgbRed;
        if (alpha != nullptr) alpha[x] = c.rgbReserved;
    }
};

} // namespace transform_detail
