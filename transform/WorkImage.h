#pragma once

#include "image/CxImage.h"

#include <cstdint>
#include <cstring>

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

    // Pixels x to x + count − 1. Without alpha each but the last is one
    // 4-byte store of its colour, whose fourth byte the next pixel's store
    // then writes over.
    void StoreRun(long x, const RGBQUAD* colours, long count) {
        static_assert(sizeof(RGBQUAD) == 4, "blue, green, red and one byte more");
        long k = 0;
        if (alpha == nullptr)
            for (; k + 1 < count; ++k) std::memcpy(pixels + 3 * (x + k), colours + k, 4);
        for (; k < count; ++k) Store(x + k, colours[k]);
    }
};

} // namespace transform_detail
