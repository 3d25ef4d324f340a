#pragma once

#include "image/SimdLevel.h"

#include <cstdint>

// Row kernels of the bilinear Resample on the grey ramp: one channel, the
// same double-precision arithmetic as the colour form, several pixels a step
// at the vector levels.

// A destination column: its two source columns (a row's width fits 32 bits),
// the weight of the second and of the first (1 − dx, the same value on every
// row). The second column is the next one, or the first itself at the last
// column.
struct BilinearColumn {
    int32_t ix, ix1;
    double dx, rest;
};

struct ResizeKernels {
    // blended[c] = (float)(p1[c]·dy + p0[c]·(1 − dy)) for every column
    // c < width, held as a double, and blended[width] = blended[width − 1], so
    // that a column's right neighbour is always the next entry.
    void (*verticalGreyBlend)(const uint8_t* p0, const uint8_t* p1, long width, double dy,
                              double* blended);
    // out[x] = low byte of trunc(right·dx + left·(1 − dx)) in double
    // precision, left and right the blended values of the column's two source
    // columns.
    void (*horizontalGreyBlend)(const double* blended, const BilinearColumn* columns, long count,
                                uint8_t* out);
};

UEYE_DECLARE_KERNEL_TABLES(ResizeKernels, kResizeKernels);
const ResizeKernels& ResizeKernelsInUse();
