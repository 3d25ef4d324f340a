#pragma once

#include "interpolation/CxRect2.h"

#include <cstddef>
#include <cstdint>

// The unit cell of pixel (i, j), centred on the pixel.
CxRect2 PixelCell(long i, long j);

// The pixels an area sample of size w × h centred on (xc, yc) covers, and
// the weights of its partly covered first and last rows and columns.
struct AreaCells {
    AreaCells(float xc, float yc, float w, float h);

    // Calls add(x, y, weight) for every covered pixel of an area wider and
    // higher than one pixel, in the order the sums take them: the four
    // corners, the first and last rows, the first and last columns, then
    // the whole pixels inside.
    template <typename Add> void Walk(Add add) const {
        add(xmin, ymin, wFirst * hFirst);
        add(xmax, ymin, wLast * hFirst);
        add(xmin, ymax, wFirst * hLast);
        add(xmax, ymax, wLast * hLast);
        for (long x = xmin + 1; x < xmax; ++x) {
            add(x, ymin, hFirst);
            add(x, ymax, hLast);
        }
        for (long y = ymin + 1; y < ymax; ++y) {
            add(xmin, y, wFirst);
            add(xmax, y, wLast);
        }
        for (long y = ymin + 1; y < ymax; ++y)
            for (long x = xmin + 1; x < xmax; ++x) add(x, y, 1.0f);
    }

    CxRect2 area;
    long xmin, ymin, xmax, ymax;
    float wFirst, hFirst, wLast, hLast;
};

// The one channel of an area sample of an image on the grey ramp whose
// covered pixels all lie inside it: the sum of Walk's weighted values in the
// roundings of the colour form, divided by the nominal area.
uint8_t GreyAreaInside(const uint8_t* firstRow, size_t stride, const AreaCells& cells);
