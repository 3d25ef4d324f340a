#pragma once

// The rotated-row kernels' table: along one row of a rotation's targets,
// where each lies in the source (Rotate) and Rotate2's bilinear samples.

#include "image/SimdLevel.h"

#include <cstddef>
#include <cstdint>

// One row of Rotate2's bilinear samples: for target column x the source
// point is srcX = (float)(columnCos[x] + rowSin), srcY = (float)(rowCos −
// columnSin[x]), each then shifted, when `shift`, as (float)(v + shiftX) and
// (float)(v + shiftY); a sample is inside when its 2 × 2 window lies in the
// width × height image. rowSin and rowCos are the row's terms of the two.
struct RotatedRow {
    const uint8_t* firstRow;
    size_t stride;
    const uint8_t* alpha; // a 24-bit image's alpha plane, or null
    long long width, height;
    const double* columnCos;
    const double* columnSin;
    double rowSin, rowCos;
    bool shift;
    double shiftX, shiftY;
};

struct RotatedRowKernels {
    // Source positions of one row of Rotate: for destination columns i = 0 ..
    // count - 1 (x = firstX + i), sx[i] = trunc(x·c + ys − 0.5) and
    // sy[i] = trunc(yc − x·s − 0.5) in double precision, as TruncateToLong
    // gives them (values beyond 32 bits and NaN: the most negative 32-bit
    // integer). The vector levels take several columns a step, the same
    // operations in the same order.
    void (*rotationSources)(double c, double s, double ys, double yc, long firstX, long count,
                            int32_t* sx, int32_t* sy);

    // How many of Rotate2's target columns first, first + 1, ... (at most
    // `count`) have bilinear windows wholly outside the image.
    long (*rotatedOutside)(const RotatedRow& row, long first, long count);

    // Rotate2's grey bilinear samples of an image on the grey ramp for the
    // target columns first, first + 1, ... as long as they lie inside, at most
    // `count`: out[k] for column first + k, as the grey bilinear rows give it
    // (GreyBilinearKernels::greyBilinearRow). Returns how many were inside
    // and done.
    long (*greyRotatedRow)(const RotatedRow& row, long first, long count, uint8_t* out);

    // The same for a 24-bit image in 1/256 steps (BilinearSource): the
    // samples' blue, green and red go to pixels[3k ..], their alpha (or 0
    // without a plane) to alpha[k] when alpha is not null.
    long (*colourRotatedRow)(const RotatedRow& row, long first, long count, uint8_t* pixels,
                             uint8_t* alpha);
};

UEYE_DECLARE_KERNEL_TABLES(RotatedRowKernels, kRotatedRowKernels);
const RotatedRowKernels& RotatedRowKernelsInUse();
