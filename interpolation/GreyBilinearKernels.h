#pragma once

// The grey bilinear kernels' table: rows of bilinear samples of an image on
// the grey ramp, over its bytes or over rows widened to doubles, as Resample2
// and the area rows take them.

#include "image/PickedGroups.h"
#include "image/SimdLevel.h"

#include <cstddef>
#include <cstdint>

// Resample2's grey bilinear columns, prepared once per call: each target
// column's base cell, its fraction t, 1 − t in double precision, and the
// groups of columns whose corners are picked in registers, each column's
// 1 − t a float. `complementIsFloat` marks the columns whose 1 − t is a float
// (every column whose coordinate lies at 1 or beyond), where the level's
// walk reads it, else it is null.
struct GreyColumns {
    const int32_t* cell;
    const float* fraction;
    const double* complement;
    PickedGroups groups;
    const char* complementIsFloat;
};

struct GreyBilinearKernels {
    // Bilinear samples of an image on the grey ramp whose 2 × 2 windows lie
    // inside it, along one row of targets, in the floating-point form that
    // indexed images take (BilinearWeights): sample k has base cell (xi[k],
    // the row's), `row` pointing at the row's first byte, and fractions t[k]
    // and u (each the coordinate minus its cell, rounded to float); out[k] is
    // the one channel of the result.
    //
    // The vector levels take several samples a step: d = t·u, t − d and
    // u − d in float lanes (a single operation on floats rounded once gives
    // the same float whether computed in float or in double and then
    // rounded), 1 − t − w01 and the weighted sum in double lanes, in the
    // order of the plain form. Samples whose corners lie within 16 bytes of
    // each row pick them from those bytes in registers: doubles at avx512,
    // bytes by byte shuffles at avx2. `complement` holds each sample's 1 − t
    // in double precision, or is null to compute it in lanes.
    void (*greyBilinearRow)(const uint8_t* row, size_t stride, const int32_t* xi, const float* t,
                            const double* complement, float u, long count, uint8_t* out);

    // out[i] = bytes[i] for i below count.
    void (*widenBytes)(const uint8_t* bytes, size_t count, double* out);

    // greyBilinearRow for target columns first .. first + count − 1 over two
    // source rows widened to doubles (`width` values each, `lower` the row
    // below `upper`): each row is widened once for the target rows it
    // serves, and at avx512 the corners of the picked groups of `columns`
    // (a call starts where a run of them does) are picked from 16 loaded
    // values of each row without converting bytes again.
    void (*greyBilinearWidened)(const double* upper, const double* lower, size_t width,
                                const GreyColumns& columns, long first, long count, float u,
                                uint8_t* out);

    // A source row's corners spread into two planes of doubles (Resample2's
    // grey bilinear samples at avx2, else null): planes[k] =
    // row[cell[k]] and planes[planeStride + k] = row[cell[k] + 1], for k
    // below count, `width` bytes of the row readable. Each source row is
    // spread once for the target rows that read it.
    void (*spreadCorners)(const uint8_t* row, size_t width, const int32_t* cell, long count,
                          size_t planeStride, double* planes);

    // greyBilinearRow for target columns first .. first + count − 1 over two
    // source rows spread by spreadCorners (rows[0] the upper): the corners
    // are loaded as they lie, and where a column's 1 − t is a float
    // (columns.complementIsFloat) its weight w00 = (1 − t) − w01 is taken in
    // float lanes, a single operation on floats, which gives the float the
    // plain form rounds to.
    void (*greyBilinearSpread)(const double* const* rows, size_t planeStride,
                               const GreyColumns& columns, long first, long count, float u,
                               uint8_t* out);

    // Whether Resample2's grey samples read their source rows widened to
    // doubles (greyBilinearWidened, the kernel walks' widened rows), which
    // pays where the widened values are picked in registers, rather than as
    // bytes (greyBilinearRow, the walks over bytes), which pays where bytes
    // are picked.
    bool readsWidened;

    // The picked groups of a row's lanes (PickGroups) where this level's
    // walk picks them, else null: the groups are prepared only where they
    // are read, and left empty elsewhere.
    void (*pickGroups)(const int32_t* index, const char* inside, const char* usable, size_t count,
                       long step, size_t entries, uint8_t* picks, int32_t* runs);
};

UEYE_DECLARE_KERNEL_TABLES(GreyBilinearKernels, kGreyBilinearKernels);
const GreyBilinearKernels& GreyBilinearKernelsInUse();
