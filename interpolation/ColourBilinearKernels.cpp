// Kernel unit of the colour bilinear samples: 24-bit bilinear samples in
// 1/256 steps, a row of targets on one source row or single samples.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "interpolation/ColourBilinearKernels.h"
#include "interpolation/SampleKernelHelpers.h"
#include "interpolation/SampleWindow.h"

namespace {

#if UEYE_SIMD_LEVEL >= 1
using namespace lanes;
#endif

void ColourBilinearSamples(const BilinearSource& source, const int32_t* xi, const int32_t* yi,
                           const int32_t* fx, const int32_t* fy, long count, RGBQUAD* out) {
    for (long k = 0; k < count; ++k)
        out[k] = ColourAt(source.firstRow, source.stride, source.alpha,
                          static_cast<size_t>(source.width), xi[k], yi[k], fx[k], fy[k]);
}

#if UEYE_SIMD_LEVEL >= 1
// What a vector form of ColourBilinearRow reads: the two source rows, the
// target columns from the first one on (cells and fractions, and the same
// for each byte), their count and the row fraction.
struct ColourRowBytes {
    const uint8_t* row0;
    const uint8_t* row1;
    size_t stride;
    const int32_t* cell;
    const int32_t* fraction;
    const int32_t* index;
    const int32_t* byteFraction;
    long count;
    int32_t fy;
};
#endif

#if UEYE_SIMD_LEVEL >= 3
// avx512 alone picks 32-bit lanes from two registers (PickInts): sixteen
// bytes a step, each blended on its own in 32-bit lanes with its pixel's
// weights, exact integer sums as the plain form's. Returns the pixels done:
// from the pixel of the first byte not done, the plain way.
long VectorPixels(const ColourRowBytes& r, uint8_t* pixels) {
    const uint8_t* row0 = r.row0;
    const uint8_t* row1 = r.row1;
    const int32_t* index = r.index;
    const int32_t* fraction = r.byteFraction;
    const int32_t fy = r.fy;
    const long bytes = 3 * r.count;
    long j = 0;
    for (; j + 16 <= bytes; j += 16) {
        // The blue byte of the step's first pixel: the lowest byte read
        // when the columns go in order.
        const int32_t start = index[j] - static_cast<int32_t>(j % 3);
        const Ints16 offsets = LoadInts16(index + j) - start;
        if (static_cast<size_t>(start) + 32 > r.stride || !AllBelow(offsets, 29)) break;
        const Ints16 low0 = LoadBytes16(row0 + start), high0 = LoadBytes16(row0 + start + 16);
        const Ints16 low1 = LoadBytes16(row1 + start), high1 = LoadBytes16(row1 + start + 16);
        const Ints16 right = offsets + 3;
        const Ints16 a00 = PickInts(low0, offsets, high0);
        const Ints16 a10 = PickInts(low0, right, high0);
        const Ints16 a01 = PickInts(low1, offsets, high1);
        const Ints16 a11 = PickInts(low1, right, high1);
        const Ints16 fx = LoadInts16(fraction + j);
        const Ints16 d = (fx * fy) >> 8;
        const Ints16 w00 = 256 - fx - fy + d, w10 = fx - d, w01 = fy - d;
        StoreLowBytes16(pixels + j, (a00 * w00 + a10 * w10 + a01 * w01 + a11 * d) >> 8);
    }
    return j / 3;
}
#elif UEYE_SIMD_LEVEL == 2
// avx2 shuffles bytes within 128-bit halves only: sixteen bytes a step,
// eight in each half picked from sixteen loaded bytes of each row, and
// blended in 16-bit lanes. The weights are non-negative and sum to 256, so
// each product and sum stays below 65281: the 16-bit sums are the plain
// form's exact ones.
long VectorPixels(const ColourRowBytes& r, uint8_t* pixels) {
    const uint8_t* row0 = r.row0;
    const uint8_t* row1 = r.row1;
    const int32_t* index = r.index;
    const int32_t* fraction = r.byteFraction;
    const long bytes = 3 * r.count;
    const uint16_t vy = static_cast<uint16_t>(r.fy);
    long j = 0;
    for (; j + 16 <= bytes; j += 16) {
        // Each half's first pixel's blue byte, the lowest it reads when
        // the columns go in order.
        const int32_t start0 = index[j] - static_cast<int32_t>(j % 3);
        const int32_t start1 = index[j + 8] - static_cast<int32_t>((j + 8) % 3);
        const Words16 left = WordsFrom(index + j, start0, start1);
        if (static_cast<size_t>(Greater(start0, start1)) + 16 > r.stride || !AllAtMost(left, 12))
            break;
        const Words16 right = left + static_cast<uint16_t>(3);
        const ByteBlocks upper = LoadByteBlocks(row0 + start0, row0 + start1);
        const ByteBlocks lower = LoadByteBlocks(row1 + start0, row1 + start1);
        const Words16 fx = WordsFrom(fraction + j, 0, 0);
        const Words16 d = (fx * vy) >> 8;
        const Words16 w00 = static_cast<uint16_t>(256) - fx - vy + d, w10 = fx - d, w01 = vy - d;
        StoreWordsAsBytes(pixels + j,
                          (PickBytes(upper, left) * w00 + PickBytes(upper, right) * w10 +
                           PickBytes(lower, left) * w01 + PickBytes(lower, right) * d) >>
                              8);
    }
    return j / 3;
}
#elif UEYE_SIMD_LEVEL == 1
// sse2 has no byte shuffle: eight pixels' weights a step in 16-bit lanes,
// then each pixel's six bytes of each row as 16-bit lanes, weighted by its
// broadcast weights, its right column's half added to its left one's. The
// weights are non-negative and sum to 256, so each product and sum stays
// below 65281: the 16-bit sums are the plain form's exact ones.
long VectorPixels(const ColourRowBytes& r, uint8_t* pixels) {
    const uint16_t vy = static_cast<uint16_t>(r.fy);
    long k = 0;
    for (; k + 8 <= r.count; k += 8) {
        const Words8 fx = LoadWords8(r.fraction + k);
        const Words8 d = (fx * vy) >> 8;
        Words8 upper[8], lower[8];
        SpreadWeights(static_cast<uint16_t>(256) - fx - vy + d, fx - d, upper);
        SpreadWeights(vy - d, d, lower);
        uint8_t bytes[3 * 8 + 1]; // the last pixel writes one byte more
        for (int i = 0; i < 8; ++i) {
            const int32_t cell = r.cell[k + i];
            const size_t at = 3 * static_cast<size_t>(cell);
            // The pair's load reads two bytes past it: only where they
            // lie inside the row's stride, else the plain way.
            if (at + 8 <= r.stride) {
                StorePixelSums(bytes + 3 * i, LoadPairWords(r.row0 + at) * upper[i] +
                                                  LoadPairWords(r.row1 + at) * lower[i]);
            } else {
                const RGBQUAD c =
                    ColourAt(r.row0, r.stride, nullptr, 0, cell, 0, r.fraction[k + i], r.fy);
                bytes[3 * i] = c.rgbBlue;
                bytes[3 * i + 1] = c.rgbGreen;
                bytes[3 * i + 2] = c.rgbRed;
            }
        }
        __builtin_memcpy(pixels + 3 * k, bytes, 3 * 8);
    }
    return k;
}
#endif

void ColourBilinearRow(const BilinearSource& source, int32_t cellY, int32_t fy,
                       const ColourColumns& columns, long first, long count, uint8_t* pixels,
                       uint8_t* alpha) {
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    if (source.alpha == nullptr && alpha == nullptr) {
        const uint8_t* row0 = source.firstRow + static_cast<size_t>(cellY) * source.stride;
        k = VectorPixels(ColourRowBytes{row0, row0 + source.stride, source.stride,
                                        columns.cell + first, columns.fraction + first,
                                        columns.byteIndex + 3 * first,
                                        columns.byteFraction + 3 * first, count, fy},
                         pixels);
    }
#endif
    const size_t alphaStride = static_cast<size_t>(source.width);
    for (; k < count; ++k) {
        const RGBQUAD c = ColourAt(source.firstRow, source.stride, source.alpha, alphaStride,
                                   columns.cell[first + k], cellY, columns.fraction[first + k], fy);
        pixels[3 * k] = c.rgbBlue;
        pixels[3 * k + 1] = c.rgbGreen;
        pixels[3 * k + 2] = c.rgbRed;
        if (alpha != nullptr) alpha[k] = c.rgbReserved;
    }
}

// This level's table, each entry by name.
constexpr ColourBilinearKernels ColourBilinearEntries() {
    ColourBilinearKernels kernels{};
    kernels.colourBilinearRow = ColourBilinearRow;
    kernels.colourBilinearSamples = ColourBilinearSamples;
    return kernels;
}

} // namespace

extern const ColourBilinearKernels
    UEYE_KERNEL_TABLE(kColourBilinearKernels) = ColourBilinearEntries();
