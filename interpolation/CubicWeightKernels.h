#pragma once

// The cubic weight kernels' table: the generalized cubic kernel's window
// weights of a run of samples, as Rotate2's IM_BICUBIC2 runs take them.

#include "image/SimdLevel.h"

#include <cstddef>
#include <cstdint>

struct CubicWeightKernels {
    // The generalized cubic kernel's weights (CxImage::KernelGeneralizedCubic
    // with parameter a) of `count` samples at coordinates v[k] whose first
    // window cells are first[k]: weights[i · stride + k] is the kernel at
    // (float)(first[k] + i − v[k]), for the four taps i. The vector levels
    // take a register of samples at once, every operation of the plain form
    // in its own lanes.
    void (*cubicWeights)(const float* v, const int32_t* first, int count, float a, float* weights,
                         size_t stride);
};

UEYE_DECLARE_KERNEL_TABLES(CubicWeightKernels, kCubicWeightKernels);
const CubicWeightKernels& CubicWeightKernelsInUse();
