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

// Base cell: truncation toward zero, one less for negative coordinates. Cells
// and window indices are 64-bit whatever the width of long, so a coordinate
// beyond the 32-bit range (truncated to its most negative value) cannot wrap
// back inside the image.
long long BaseCell(float v);
