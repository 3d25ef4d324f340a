#pragma once

// The pixels an area sample covers, with the weights of its partly covered
// edges, in the order its sums take them.

#include "interpolation/CxRect2.h"

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
        // Locals, which the calls cannot be taken to change.
        const long x0 = xmin, y0 = ymin, x1 = xmax, y1 = ymax;
        const float w0 = wFirst, h0 = hFirst, w1 = wLast, h1 = hLast;
        add(x0, y0, w0 * h0);
        add(x1, y0, w1 * h0);
        add(x0, y1, w0 * h1);
        add(x1, y1, w1 * h1);
        for (long x = x0 + 1; x < x1; ++x) {
            add(x, y0, h0);
            add(x, y1, h1);
        }
        for (long y = y0 + 1; y < y1; ++y) {
            add(x0, y, w0);
            add(x1, y, w1);
        }
        for (long y = y0 + 1; y < y1; ++y)
            for (long x = x0 + 1; x < x1; ++x) add(x, y, 1.0f);
    }

    CxRect2 area;
    long xmin, ymin, xmax, ymax;
    float wFirst, hFirst, wLast, hLast;
};
