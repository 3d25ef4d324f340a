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

// Zeroes the bytes of every row beyond its last pixel, so that results do not
// carry undefined padding bytes. The pixel bytes are left as they are.
inline void ZeroRowPadding(CxImage& image) {
    uint8_t* bits = image.GetBits(0);
    if (bits == nullptr) return;
    const size_t stride = image.GetEffWidth();
    const size_t used = (static_cast<size_t>(image.GetWidth()) * image.GetBpp() + 7) / 8;
    if (used >= stride) return;
    const size_t height = image.GetHeight();
    for (size_t y = 0; y < height; ++y) std::memset(bits + y * stride + used, 0, stride - used);
}

// Zeroes all pixel rows, padding included.
inline void ZeroPixels(CxImage& image) {
    uint8_t* bits = image.GetBits(0);
    if (bits == nullptr) return;
    std::memset(bits, 0, static_cast<size_t>(image.GetEffWidth()) * image.GetHeight());
}

} // namespace transform_detail
