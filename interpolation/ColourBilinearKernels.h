#pragma once

// The colour bilinear kernels' table: bilinear samples of a 24-bit image in
// 1/256 steps, a row of Resample2's or the area rows' targets, or single
// samples.

#include "image/SimdLevel.h"
#include "platform/WinTypes.h"

#include <cstdint>

struct BilinearSource;

// The columns of Resample2's 24-bit bilinear samples: each target column's
// base cell and 1/256 fraction, and the same for each of its three bytes
// (byteIndex[3x + c] = 3·cell[x] + c, byteFraction[3x + c] = fraction[x]).
struct ColourColumns {
    const int32_t* cell;
    const int32_t* fraction;
    const int32_t* byteIndex;
    const int32_t* byteFraction;
};

struct ColourBilinearKernels {
    // Resample2's 24-bit bilinear samples (BilinearSource) of target columns
    // first .. first + count − 1 on one row, their windows inside: base row
    // cellY and fraction fy. Blue, green and red go to pixels[3k ..], alpha
    // (or 0 without a plane) to alpha[k] when alpha is not null. At avx512,
    // without an alpha plane, sixteen bytes a step pick their corners from
    // 32 loaded bytes of each row.
    void (*colourBilinearRow)(const BilinearSource& source, int32_t cellY, int32_t fy,
                              const ColourColumns& columns, long first, long count, uint8_t* pixels,
                              uint8_t* alpha);

    // Bilinear samples of a 24-bit image in 1/256 steps (BilinearSource),
    // each 2 × 2 window inside it: sample k has base cell (xi[k], yi[k]) and
    // fractions fx[k], fy[k] in 0..255; out[k] holds its blue, green and red
    // and, with an alpha plane, its alpha (else 0). Integer sums, exact in
    // any order.
    void (*colourBilinearSamples)(const BilinearSource& source, const int32_t* xi,
                                  const int32_t* yi, const int32_t* fx, const int32_t* fy,
                                  long count, RGBQUAD* out);
};

UEYE_DECLARE_KERNEL_TABLES(ColourBilinearKernels, kColourBilinearKernels);
const ColourBilinearKernels& ColourBilinearKernelsInUse();
