// Kernel unit of the cubic weights: the generalized cubic kernel's window
// weights of a run of samples.

#include "image/KernelUnit.h"

#include "image/CxImage.h"
#include "image/KernelLanes.h"
#include "interpolation/CubicWeightKernels.h"

namespace {

#if UEYE_SIMD_LEVEL >= 1
using namespace lanes;
#endif

void CubicWeights(const float* v, const int32_t* first, int count, float a, float* weights,
                  size_t stride) {
    int k = 0;
#if UEYE_SIMD_LEVEL >= 1
    // Both pieces of the kernel for every lane, each lane then taking its
    // own: the same double operations in the same order, rounded to float
    // where the plain form rounds.
    const double ad = static_cast<double>(a);
    const Doubles one = Set(1.0), two = Set(2.0), zero = Set(0.0);
    const Doubles innerCube = Set(ad + 2.0), innerSquare = Set(ad + 3.0);
    const Doubles outerCube = Set(ad), outerSquare = Set(5.0 * ad), outerLinear = Set(8.0 * ad),
                  outerConstant = Set(4.0 * ad);
    for (; k + kCount <= count; k += kCount) {
        const Doubles position = Widen(LoadFloats(v + k));
        const Doubles cell = Widen(LoadInts(first + k));
        for (int i = 0; i < 4; ++i) {
            const Doubles t = Abs(RoundToFloat((cell + Set(static_cast<double>(i))) - position));
            const Doubles t2 = RoundToFloat(t * t);
            const Doubles inner = innerCube * t * t2 - innerSquare * t2 + one;
            const Doubles outer =
                outerCube * t * t2 - outerSquare * t2 + outerLinear * t - outerConstant;
            StoreFloats(weights + static_cast<size_t>(i) * stride + k,
                        Narrow(IfBelow(t, one, inner, IfBelow(t, two, outer, zero))));
        }
    }
#endif
    for (; k < count; ++k)
        for (int i = 0; i < 4; ++i)
            weights[static_cast<size_t>(i) * stride + k] = CxImage::KernelGeneralizedCubic(
                static_cast<float>((static_cast<double>(first[k]) + i) - static_cast<double>(v[k])),
                a);
}

// This level's table, each entry by name.
constexpr CubicWeightKernels CubicWeightEntries() {
    CubicWeightKernels kernels{};
    kernels.cubicWeights = CubicWeights;
    return kernels;
}

} // namespace

extern const CubicWeightKernels UEYE_KERNEL_TABLE(kCubicWeightKernels) = CubicWeightEntries();
