#pragma once

#include "image/PickedGroups.h"
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
    // out[x] = low byte of trunc(right·dx[x] + left·(1 − dx[x])) in double
    // precision, left and right the blended values at ix[x] and
    // ix[x] + step; `groups` as PickGroups gives them for ix and step over
    // the blended row. A step of 3 blends 24-bit pixels: count is a multiple
    // of 3 and pixel p's channels have ix[3p + c] = ix[3p] + c and
    // dx[3p + c] = dx[3p].
    void (*horizontalGreyBlend)(const double* blended, long step, const int32_t* ix,
                                const float* dx, const PickedGroups& groups, long count,
                                uint8_t* out);

    // The picked groups of a row's lanes (PickGroups) where this level's
    // walk picks them, else null: the groups are prepared only where they
    // are read, and left empty elsewhere.
    void (*pickGroups)(const int32_t* index, const char* inside, const char* usable, size_t count,
                       long step, size_t entries, uint8_t* picks, int32_t* runs);
};

UEYE_DECLARE_KERNEL_TABLES(ResizeKernels, kResizeKernels);
const ResizeKernels& ResizeKernelsInUse();
