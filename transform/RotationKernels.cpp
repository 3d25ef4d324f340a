// Kernel unit of Rotate: the source positions of a row of destination pixels.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "image/Truncate.h"
#include "transform/RotationKernels.h"

namespace {

void RotationSources(double c, double s, double ys, double yc, long firstX, long count, int32_t* sx,
                     int32_t* sy) {
    long i = 0;
#if UEYE_SIMD_LEVEL >= 1
    // A register of columns a step. The truncating conversions give
    // 0x80000000 for values beyond 32 bits and NaN, as TruncateToLong does.
    using namespace lanes;
    const Doubles vc = Set(c), vs = Set(s), vys = Set(ys), vyc = Set(yc), half = Set(0.5),
                  step = Set(kCount);
    Doubles x = Set(static_cast<double>(firstX)) + Iota();
    for (; i + kCount <= count; i += kCount, x = x + step) {
        StoreInts(sx + i, Truncate((x * vc + vys) - half));
        StoreInts(sy + i, Truncate((vyc - x * vs) - half));
    }
#endif
    for (; i < count; ++i) {
        const double x = static_cast<double>(firstX + i);
        sx[i] = static_cast<int32_t>(TruncateToLong(x * c + ys - 0.5));
        sy[i] = static_cast<int32_t>(TruncateToLong(yc - x * s - 0.5));
    }
}

} // namespace

extern const RotationKernels UEYE_KERNEL_TABLE(kRotationKernels) = {RotationSources};
