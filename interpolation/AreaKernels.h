#pragma once

// The area kernels' table: the grid walk of a row of area samples, grey and
// 24-bit, and the records it reads.

#include "image/SimdLevel.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>

// The rows that the area samples of one target row cover (AreaCells): the
// first covered row `top` (column 0), the rows after it up to the last,
// their partly covered first and last rows' weights, and the area's height.
// A 24-bit source's alpha plane row of `top`, or null.
struct AreaGridRow {
    const uint8_t* top;
    size_t stride;
    const uint8_t* alphaTop;
    size_t alphaStride;
    long rows; // last covered row − first
    float hFirst, hLast, height;
};

// Each target column's covered columns (AreaCells' xmin and xmax), the
// weights of its partly covered first and last columns, and the area's
// width: the same on every target row.
struct AreaGridColumns {
    const int32_t* first;
    const int32_t* last;
    const float* wFirst;
    const float* wLast;
    const float* width;
};

struct AreaKernels {
    // The area samples of target columns first .. first + count − 1 of one
    // row over an image on the grey ramp, every covered pixel inside it: the
    // sum of AreaCells::Walk's weighted values (each term added in double
    // precision and rounded to float) divided by the area's surface. The
    // vector levels take one target column a lane.
    void (*greyGridRow)(const AreaGridRow& row, const AreaGridColumns& columns, long first,
                        long count, uint8_t* out);

    // The same over a 24-bit image: blue, green and red, and alpha from the
    // plane when there is one (else 0), into out[k] for column first + k.
    void (*colourGridRow)(const AreaGridRow& row, const AreaGridColumns& columns, long first,
                          long count, RGBQUAD* out);
};

UEYE_DECLARE_KERNEL_TABLES(AreaKernels, kAreaKernels);
const AreaKernels& AreaKernelsInUse();
