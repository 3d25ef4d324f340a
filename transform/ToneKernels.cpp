// Kernel unit of the tone operations: GrayScale of a row of 24-bit pixels.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "transform/ToneKernels.h"

namespace {

// The weights of red, green and blue in 1/1024.
constexpr int kRed = 306, kGreen = 601, kBlue = 117;

uint8_t Grey(unsigned red, unsigned green, unsigned blue) {
    return static_cast<uint8_t>((kRed * red + kGreen * green + kBlue * blue) >> 10);
}

void GreyRow(const uint8_t* source, uint8_t* target, long width) {
    long x = 0;
#if UEYE_SIMD_LEVEL >= 1
    using namespace lanes;
    for (; x + kPixelReach <= width; x += kPixelStep, source += 3 * kPixelStep)
        StorePixelBytes(target + x, ShiftDown(WeighPixels(source, kBlue, kGreen, kRed), 10));
#endif
    for (; x < width; ++x, source += 3) target[x] = Grey(source[2], source[1], source[0]);
}

// This level's table, each entry by name.
constexpr ToneKernels ToneEntries() {
    ToneKernels kernels{};
    kernels.greyRow = GreyRow;
    return kernels;
}

} // namespace

extern const ToneKernels UEYE_KERNEL_TABLE(kToneKernels) = ToneEntries();
