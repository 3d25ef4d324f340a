#include "image/KernelUnit.h"

#include "transform/ResizeKernels.h"

namespace {

#if UEYE_SIMD_LEVEL >= 1
// Pixels a step: as many as a register holds floats (4, 8, 16). The
// vector types are the compiler's, so each level's copy uses its own
// registers; the operations are the plain form's, lane by lane.
constexpr int kStep = UEYE_SIMD_LEVEL >= 3 ? 16 : UEYE_SIMD_LEVEL == 2 ? 8 : 4;
typedef double Doubles __attribute__((vector_size(8 * kStep)));
typedef float Floats __attribute__((vector_size(4 * kStep)));
typedef int32_t Ints __attribute__((vector_size(4 * kStep)));
typedef uint8_t Bytes __attribute__((vector_size(kStep)));
#endif

void VerticalGreyBlend(const uint8_t* p0, const uint8_t* p1, long width, double dy,
                       double* blended) {
    const double rest = 1.0 - dy;
    long c = 0;
#if UEYE_SIMD_LEVEL >= 1
    for (; c + kStep <= width; c += kStep) {
        Bytes a, b;
        __builtin_memcpy(&a, p0 + c, sizeof a);
        __builtin_memcpy(&b, p1 + c, sizeof b);
        const Doubles sum =
            __builtin_convertvector(b, Doubles) * dy + __builtin_convertvector(a, Doubles) * rest;
        const Doubles rounded =
            __builtin_convertvector(__builtin_convertvector(sum, Floats), Doubles);
        __builtin_memcpy(blended + c, &rounded, sizeof rounded);
    }
#endif
    for (; c < width; ++c) blended[c] = static_cast<float>(p1[c] * dy + p0[c] * rest);
    blended[width] = blended[width - 1];
}

void HorizontalGreyBlend(const double* blended, const BilinearColumn* columns, long count,
                         uint8_t* out) {
    long x = 0;
#if UEYE_SIMD_LEVEL >= 1
    // Each column's left and right values are neighbours. The sums are
    // convex mixes of values in 0..255, whose truncation fits a byte, so the
    // narrowing conversions keep the low byte that the plain form keeps.
    for (; x + kStep <= count; x += kStep) {
        Doubles left, right, dx, rest;
        for (int k = 0; k < kStep; ++k) {
            const BilinearColumn& column = columns[x + k];
            left[k] = blended[column.ix];
            right[k] = blended[column.ix + 1];
            dx[k] = column.dx;
            rest[k] = column.rest;
        }
        const Bytes bytes =
            __builtin_convertvector(__builtin_convertvector(right * dx + left * rest, Ints), Bytes);
        __builtin_memcpy(out + x, &bytes, sizeof bytes);
    }
#endif
    for (; x < count; ++x) {
        const BilinearColumn& column = columns[x];
        out[x] = static_cast<uint8_t>(
            static_cast<long>(blended[column.ix1] * column.dx + blended[column.ix] * column.rest));
    }
}

} // namespace

extern const ResizeKernels UEYE_KERNEL_TABLE(kResizeKernels) = {VerticalGreyBlend,
                                                                HorizontalGreyBlend};
