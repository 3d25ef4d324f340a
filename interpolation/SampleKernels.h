#pragma once

// The sample kernels' table: the vector forms of the point samplers that
// Resample2, Rotate2 and the area rows call, and the records they read.

#include "image/PickedGroups.h"
#include "image/SimdLevel.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>

struct SampleWindow;
struct SampleAxis;
struct BilinearSource;

// One row of Rotate2's bilinear samples: for target column x the source
// point is srcX = (float)(columnCos[x] + vsi), srcY = (float)(vco −
// columnSin[x]), each then shifted, when `shift`, as (float)(v + shiftX) and
// (float)(v + shiftY); a sample is inside when its 2 × 2 window lies in the
// width × height image.
struct RotatedRow {
    const uint8_t* firstRow;
    size_t stride;
    const uint8_t* alpha; // a 24-bit image's alpha plane, or null
    long long width, height;
    const double* columnCos;
    const double* columnSin;
    double vsi, vco;
    bool shift;
    double shiftX, shiftY;
};

// The columns of Resample2's 24-bit bilinear samples: each target column's
// base cell and 1/256 fraction, and the same for each of its three bytes
// (byteIndex[3x + c] = 3·cell[x] + c, byteFraction[3x + c] = fraction[x]).
struct ColourColumns {
    const int32_t* cell;
    const int32_t* fraction;
    const int32_t* byteIndex;
    const int32_t* byteFraction;
};

// The pixels of a 24-bit image (blue, green, red), or an indexed image's
// palette colours laid out so, and the alpha values beside them (an alpha
// plane, or the palette's fourth bytes), or null.
struct ColourPlanes {
    const uint8_t* firstRow;
    size_t stride;
    const uint8_t* alpha;
    size_t alphaStride;
};

// Resample2's grey bilinear columns, prepared once per call: each target
// column's base cell, its fraction t, 1 − t in double precision, and the
// groups of columns whose corners are picked in registers, each column's
// 1 − t a float.
struct GreyColumns {
    const int32_t* cell;
    const float* fraction;
    const double* complement;
    PickedGroups groups;
};

// The kernel windows of a run of samples on one axis, each inside the image,
// prepared once per call or per run: sample k's first window cell start[k]
// (a column, or a row) and its tap i weight weights[i · stride + k].
struct KernelTaps {
    const int32_t* start;
    const float* weights;
    size_t stride;

    // The samples from k on.
    KernelTaps From(long k) const { return KernelTaps{start + k, weights + k, stride}; }
};

struct SampleKernels {
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
    // order of the plain form. At avx512, samples whose corners lie within 16
    // bytes of each row pick them from those bytes in registers.
    void (*greyBilinearRow)(const uint8_t* row, size_t stride, const int32_t* xi, const float* t,
                            float u, long count, uint8_t* out);

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

    // How many of Rotate2's target columns first, first + 1, ... (at most
    // `count`) have bilinear windows wholly outside the image.
    long (*rotatedOutside)(const RotatedRow& row, long first, long count);

    // Rotate2's grey bilinear samples of an image on the grey ramp for the
    // target columns first, first + 1, ... as long as they lie inside, at most
    // `count`: out[k] for column first + k, as greyBilinearRow gives it.
    // Returns how many were inside and done.
    long (*greyRotatedRow)(const RotatedRow& row, long first, long count, uint8_t* out);

    // The same for a 24-bit image in 1/256 steps (BilinearSource): the
    // samples' blue, green and red go to pixels[3k ..], their alpha (or 0
    // without a plane) to alpha[k] when alpha is not null.
    long (*colourRotatedRow)(const RotatedRow& row, long first, long count, uint8_t* pixels,
                             uint8_t* alpha);

    // Resample2's 24-bit bilinear samples (BilinearSource) of target columns
    // first .. first + count − 1 on one row, their windows inside: base row
    // cellY and fraction fy. Blue, green and red go to pixels[3k ..], alpha
    // (or 0 without a plane) to alpha[k] when alpha is not null. At avx512,
    // without an alpha plane, sixteen bytes a step pick their corners from
    // 32 loaded bytes of each row.
    void (*colourBilinearRow)(const BilinearSource& source, int32_t cellY, int32_t fy,
                              const ColourColumns& columns, long first, long count, uint8_t* pixels,
                              uint8_t* alpha);

    // The kernel walk of `count` samples on one row axis whose window
    // columns all lie inside an image on the grey ramp: the one channel of
    // each, with the terms and roundings of the colour walk (each weight the
    // float product of its column and row weights; each sum a float to which
    // the weighted value is added in double precision). rows[j] points at
    // window row j (of the image, or of a copy of the pixels a fold gives), of
    // which `stride` bytes may be read. The vector levels walk several
    // samples at once, their sums in double lanes rounded to float after
    // every term, the weights in float lanes.
    void (*greyWindowsInside)(const uint8_t* const* rows, size_t stride, const SampleWindow& window,
                              const KernelTaps& columns, int count, const SampleAxis& ay,
                              uint8_t* results);

    // The same walk over the window's rows widened to doubles (rows[j] holds
    // window row j, `width` values): each source row is widened once for
    // all the target rows that read it.
    void (*greyWindowsWidened)(const double* const* rows, size_t width, const SampleWindow& window,
                               const KernelTaps& columns, int count, const SampleAxis& ay,
                               uint8_t* results);

    // The same walk for colour: blue, green, red and, with alpha values, the
    // alpha of each sample (else 0), each channel its own sum. The vector
    // levels walk a register of samples per channel, two registers at once.
    void (*colourWindowsInside)(const ColourPlanes& planes, const SampleWindow& window,
                                const KernelTaps& columns, int count, const SampleAxis& ay,
                                RGBQUAD* results);

    // The grey and colour walks of `count` samples each with its own window
    // rows (as Rotate2 takes them), all inside the image: the terms and
    // roundings of the walks above, with row weight j of each sample its own.
    void (*greyPointsInside)(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                             const KernelTaps& columns, const KernelTaps& rows, int count,
                             uint8_t* results);
    void (*colourPointsInside)(const ColourPlanes& planes, const SampleWindow& window,
                               const KernelTaps& columns, const KernelTaps& rows, int count,
                               RGBQUAD* results);

    // Bilinear samples of a 24-bit image in 1/256 steps (BilinearSource),
    // each 2 × 2 window inside it: sample k has base cell (xi[k], yi[k]) and
    // fractions fx[k], fy[k] in 0..255; out[k] holds its blue, green and red
    // and, with an alpha plane, its alpha (else 0). Integer sums, exact in
    // any order.
    void (*colourBilinearSamples)(const BilinearSource& source, const int32_t* xi,
                                  const int32_t* yi, const int32_t* fx, const int32_t* fy,
                                  long count, RGBQUAD* out);

    // The generalized cubic kernel's weights (CxImage::KernelGeneralizedCubic
    // with parameter a) of `count` samples at coordinates v[k] whose first
    // window cells are first[k]: weights[i · stride + k] is the kernel at
    // (float)(first[k] + i − v[k]), for the four taps i. The vector levels
    // take a register of samples at once, every operation of the plain form
    // in its own lanes.
    void (*cubicWeights)(const float* v, const int32_t* first, int count, float a, float* weights,
                         size_t stride);
};

UEYE_DECLARE_KERNEL_TABLES(SampleKernels, kSampleKernels);
const SampleKernels& SampleKernelsInUse();
