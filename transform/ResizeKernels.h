#pragma once

#include "image/SimdLevel.h"

#include <cstdint>

// Row kernels of the bilinear Resample on byte rows (the grey ramp, each
// channel of 24-bit pixels): the same double-precision arithmetic as the
// colour form, several bytes a step at the vector levels.

struct ResizeKernels {
    // blended[c] = (float)(p1[c]·dy + p0[c]·(1 − dy)) for every column
    // c < width, held as a double; dy is a float value, so that p1[c]·dy is
    // exact.
    void (*verticalGreyBlend)(const uint8_t* p0, const uint8_t* p1, long width, double dy,
                              double* blended);
    // out[x] = low byte of trunc(right·dx[x] + left·rest[x]) in double
    // precision, left and right the blended values at ix[x] and
    // ix[x] + step (rest[x] = 1 − dx[x]); blended holds `entries` values.
    void (*horizontalGreyBlend)(const double* blended, long entries, long step, const int32_t* ix,
                                const double* dx, const double* rest, long count, uint8_t* out);
};

UEYE_DECLARE_KERNEL_TABLES(ResizeKernels, kResizeKernels);
const ResizeKernels& ResizeKernelsInUse();
