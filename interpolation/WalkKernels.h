#pragma once

// The walk kernels' table: the kernel walks of grey and colour samples whose
// windows lie inside the image, one window row set per row of samples (over
// bytes or widened rows) or per sample, and the records they read.

#include "image/SimdLevel.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>

struct SampleWindow;
struct SampleAxis;

// The pixels of a 24-bit image (blue, green, red), or an indexed image's
// palette colours laid out so, and the alpha values beside them (an alpha
// plane, or the palette's fourth bytes), or null.
struct ColourPlanes {
    const uint8_t* firstRow;
    size_t stride;
    const uint8_t* alpha;
    size_t alphaStride;
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

// The values past a run's end that greyWindowsSpread may read in each plane.
constexpr size_t kTapSlack = 64;

struct WalkKernels {
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

    // The taps of a run of `count` samples sharing their window columns, in
    // one source row: planes[i · planeStride + k] = row[columns.start[k] + i],
    // the value tap i of sample k reads. A row so spread serves every target
    // row that reads it, and the walk below loads each tap's lanes at once.
    // Null where the level's walks read bytes or widened rows instead.
    void (*spreadTaps)(const uint8_t* row, const SampleWindow& window, const KernelTaps& columns,
                       int count, size_t planeStride, int32_t* planes);
    // The smallest window (cells a side) whose rows spreadTaps spreads:
    // avx512 picks a four-cell window's taps from widened rows in registers,
    // which gains at two threads what the spread would lose there.
    int smallestSpreadWindow;

    // greyWindowsInside over spread rows: rows[j] holds window row j spread
    // by spreadTaps, from the run's first sample on, its planes planeStride
    // apart and each readable kTapSlack values past the run's end (values
    // the walk reads for lanes past it, whose sums are dropped). Null where
    // spreadTaps is.
    void (*greyWindowsSpread)(const int32_t* const* rows, size_t planeStride,
                              const SampleWindow& window, const KernelTaps& columns, int count,
                              const SampleAxis& ay, uint8_t* results);

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
};

UEYE_DECLARE_KERNEL_TABLES(WalkKernels, kWalkKernels);
const WalkKernels& WalkKernelsInUse();
