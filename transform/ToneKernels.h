#pragma once

#include "image/SimdLevel.h"

#include <cstdint>

// Row kernels of the tone operations.
struct ToneKernels {
    // Grey levels of a 24-bit row of `width` pixels (blue, green, red bytes):
    // (306·red + 601·green + 117·blue) >> 10. The vector levels take the same
    // integer sums several pixels a step; the sums are exact, so the order of
    // their terms does not matter.
    void (*greyRow)(const uint8_t* source, uint8_t* target, long width);
};

UEYE_DECLARE_KERNEL_TABLES(ToneKernels, kToneKernels);
const ToneKernels& ToneKernelsInUse();
