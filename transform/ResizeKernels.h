#pragma once

#include <cstdint>

// Row kernels of the bilinear Resample on the grey ramp: one channel, the
// same double-precision arithmetic as the colour form, with SSE2 over several
// pixels where the build has it.

// A destination column: its two source columns (a row's width fits 32 bits),
// the weight of the second and
// of the first (1 − dx, the same value on every row).
struct BilinearColumn {
    int32_t ix, ix1;
    double dx, rest;
};

// blended[c] = (float)(p1[c]·dy + p0[c]·(1 − dy)) for the columns c < width
// (those not marked in `read` may be computed too).
void VerticalGreyBlend(const uint8_t* p0, const uint8_t* p1, const char* read, long width,
                       double dy, float* blended);

// out[x] = low byte of trunc(right·dx + left·(1 − dx)) in double precision,
// left and right the blended values of the column's two source columns.
void HorizontalGreyBlend(const float* blended, const BilinearColumn* columns, long count,
                         uint8_t* out);
