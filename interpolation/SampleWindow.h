#pragma once

#include "image/CxImage.h"

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

// The bilinear fast path: a 24-bit image (and its alpha plane) read straight
// in 1/256 steps, for samples whose 2 × 2 window lies inside it.
struct BilinearSource {
    explicit BilinearSource(CxImage& image);

    bool Inside(long long xi, long long yi) const {
        return xi >= 0 && xi + 1 < width && yi >= 0 && yi + 1 < height;
    }
    // The sample at base cell (xi, yi) with fractions fx, fy (see Fraction).
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

// Whether a sample whose window lies wholly outside the image takes one
// colour for the whole image (the overflow's fallback) instead of a fold.
inline bool OutsideIsConstant(CxImage::OverflowMethod overflow) {
    return overflow > 0 && overflow <= CxImage::OM_TRANSPARENT;
}

// Base cell: truncation toward zero, one less for negative coordinates. Cells
// and window indices are 64-bit whatever the width of long, so a coordinate
// beyond the 32-bit range (truncated to its most negative value) cannot wrap
// back inside the image.
long long BaseCell(float v);
