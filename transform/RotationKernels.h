#pragma once

#include "image/SimdLevel.h"

#include <cstdint>

// Source positions of one row of Rotate: for destination columns i = 0 ..
// count - 1 (x = firstX + i), sx[i] = trunc(x·c + ys − 0.5) and
// sy[i] = trunc(yc − x·s − 0.5) in double precision, as TruncateToLong gives
// them (values beyond 32 bits and NaN: the most negative 32-bit integer).
// The vector levels take several columns a step, the same operations in the
// same order.
struct RotationKernels {
    void (*rotationSources)(double c, double s, double ys, double yc, long firstX, long count,
                            int32_t* sx, int32_t* sy);
};

UEYE_DECLARE_KERNEL_TABLES(RotationKernels, kRotationKernels);
const RotationKernels& RotationKernelsInUse();
