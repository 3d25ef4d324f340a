#pragma once

// Box averaging of 24-bit pixels, the area average of a shrinking Resample
// (BoxAveraging.cpp).

#include "image/RowBands.h"

#include <cstddef>
#include <cstdint>

namespace transform_detail {

// A 24-bit pixel grid: `width` × `height` pixels, rows `stride` bytes apart.
struct PixelRows {
    uint8_t* firstRow;
    size_t stride;
    long width, height;
};

// Box averaging of the 24-bit `source` into the 24-bit `target`, whose rows
// start zeroed and are both narrower and lower; kx and ky are the source
// pixels per target pixel along each axis. `bands` splits the source rows
// (rows = source.height). False when the buffers cannot be had.
bool BoxAverage(const PixelRows& source, const PixelRows& target, float kx, float ky,
                RowBands& bands);

} // namespace transform_detail
