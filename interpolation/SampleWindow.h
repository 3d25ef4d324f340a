#pragma once

#include "image/CxImage.h"
#include "image/RecordView.h"
#include "image/Truncate.h"

#include <cmath>
#include <cstring>

// The sample window of an interpolation method: the cells before and after
// the base cell that it reads on each axis.
struct SampleWindow {
    explicit SampleWindow(CxImage::InterpolationMethod method);

    // Whole window outside the image, for base cells (xi, yi).
    bool AllOutside(long long xi, long long yi, long long width, long long height) const;

    CxImage::InterpolationMethod method;
    bool kernel;             // a kernel method (Lanczos included)
    long long before, after; // window cells relative to the base cell
    int size;                // cells per axis
};

// The parameter of IM_BICUBIC2's generalized cubic kernel.
constexpr float kBicubic2Parameter = -0.5f;

// What one coordinate of a sample contributes, the same for every sample on
// the same column (or row): its base cell, the kernel weights of the window
// cells, and the fixed-point fraction of the bilinear fast path.
struct SampleAxis {
    SampleAxis(const SampleWindow& window, float coordinate);

    float coordinate;
    long long cell;
    float weights[12];
    long fraction; // 1/256 steps, bilinear only
};

struct KernelTaps;

// The point sampler's walk over a sample window of `image` whose axes are
// prepared (the same for a whole column or row of samples).
RGBQUAD SampleWindowAt(RecordView image, const SampleWindow& window, const SampleAxis& ax,
                       const SampleAxis& ay, CxImage::OverflowMethod overflow,
                       RGBQUAD* const replacement);
// The kernel walk of `count` samples on one row axis whose windows all lie
// inside a 24-bit image.
void SampleWindowsInside(RecordView image, const SampleWindow& window, const KernelTaps& columns,
                         int count, const SampleAxis& ay, RGBQUAD* results);

// The bilinear fast path: a 24-bit image (and its alpha plane) read straight
// in 1/256 steps, for samples whose 2 × 2 window lies inside it.
struct BilinearSource {
    explicit BilinearSource(CxImage& image);

    bool Inside(long long xi, long long yi) const {
        return xi >= 0 && xi + 1 < width && yi >= 0 && yi + 1 < height;
    }
    // The sample at base cell (xi, yi) with fractions fx, fy (see Fraction),
    // through the colour bilinear kernels (ColourBilinearKernels.h).
    RGBQUAD At(long long xi, long long yi, long fx, long fy) const;
    // A coordinate's fraction over its base cell, for a cell inside the image.
    static long Fraction(float v, long long cell) {
        return static_cast<long>((static_cast<double>(v) - cell) * 256);
    }

    bool direct; // a 24-bit image with pixels
    const uint8_t* firstRow;
    size_t stride;
    const uint8_t* alpha; // null without an alpha plane
    long long width, height;
};

// LowByte, Accumulate and BilinearWeights have internal linkage: the sample kernels,
// built once per instruction-set level, use them too, and no copy built with
// wider instructions may stand in for the baseline one.
namespace {

// Low 8 bits of the truncated value; NaN and values beyond 64 bits give 0.
inline uint8_t LowByte(double v) {
    if (!(std::fabs(v) < 9.0e18)) return 0;
    return static_cast<uint8_t>(static_cast<long long>(v) & 0xFF);
}

// Adds weight × value in double precision and keeps the sum as a float: one
// term of a kernel or area sum.
inline void Accumulate(float& sum, float weight, double value) {
    sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(weight) * value);
}

// The floating-point bilinear weights of point (x, y) over its base cell
// (xi, yi), each rounded to float, and the weighted sum of four channel
// values in double precision.
struct BilinearWeights {
    BilinearWeights(float x, float y, long long xi, long long yi)
        : BilinearWeights(Fraction(x, xi), Fraction(y, yi)) {}
    // From the fractions of the point over its base cell.
    BilinearWeights(float fractionX, float fractionY)
        : t(fractionX), u(fractionY), d(static_cast<float>(static_cast<double>(t) * u)),
          w10(static_cast<float>(static_cast<double>(t) - d)),
          w01(static_cast<float>(static_cast<double>(u) - d)),
          w00(static_cast<float>(1.0 - t - w01)) {}

    // Of bytes, or of bytes held in a wider type.
    template <typename Value> uint8_t Mix(Value a00, Value a10, Value a01, Value a11) const {
        return LowByte(static_cast<double>(a00) * w00 + static_cast<double>(a10) * w10 +
                       static_cast<double>(a01) * w01 + static_cast<double>(a11) * d);
    }

    // A coordinate minus its base cell, rounded to float.
    static float Fraction(float v, long long cell) {
        return static_cast<float>(static_cast<double>(v) - cell);
    }

    float t, u, d, w10, w01, w00;
};

} // namespace

// Whether a sample whose window lies wholly outside the image takes one
// colour for the whole image (the overflow's fallback) instead of a fold.
inline bool OutsideIsConstant(CxImage::OverflowMethod overflow) {
    return overflow > 0 && overflow <= CxImage::OM_TRANSPARENT;
}

// Base cell: truncation toward zero, one less for negative coordinates. Cells
// and window indices are 64-bit whatever the width of long, so a coordinate
// beyond the 32-bit range (truncated to its most negative value) cannot wrap
// back inside the image.
inline long long BaseCell(float v) {
    return static_cast<long long>(TruncateToLong(v)) - (v < 0 ? 1 : 0);
}
