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

void ColourBilinearRow(const BilinearSource& source, int32_t cellY, int32_t fy,
                       const ColourColumns& columns, long first, long count, uint8_t* pixels,
                       uint8_t* alpha) {
    long k = 0;
#if UEYE_SIMD_LEVEL >= 3
    if (source.alpha == nullptr && alpha == nullptr) {
        // Sixteen bytes a step, each blended on its own in 32-bit lanes
        // with its pixel's weights: exact integer sums, as the plain form's.
        const uint8_t* row0 = source.firstRow + static_cast<size_t>(cellY) * source.stride;
        const uint8_t* row1 = row0 + source.stride;
        const __m512i vfy = _mm512_set1_epi32(fy), full = _mm512_set1_epi32(256);
        const long bytes = 3 * count;
        const int32_t* index = columns.byteIndex + 3 * first;
        const int32_t* fraction = columns.byteFraction + 3 * first;
        long j = 0;
        for (; j + 16 <= bytes; j += 16) {
            // The blue byte of the step's first pixel: the lowest byte read
            // when the columns go in order.
            const int32_t start = index[j] - static_cast<int32_t>(j % 3);
            const __m512i offsets =
                _mm512_sub_epi32(_mm512_loadu_si512(index + j), _mm512_set1_epi32(start));
            if (static_cast<size_t>(start) + 32 > source.stride ||
                _mm512_cmplt_epu32_mask(offsets, _mm512_set1_epi32(29)) != 0xFFFF)
                break;
            auto load = [start](const uint8_t* r, __m512i& low, __m512i& high) {
                low = _mm512_cvtepu8_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + start)));
                high = _mm512_cvtepu8_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + start + 16)));
            };
            __m512i low0, high0, low1, high1;
            load(row0, low0, high0);
            load(row1, low1, high1);
            const __m512i right = _mm512_add_epi32(offsets, _mm512_set1_epi32(3));
            const __m512i a00 = _mm512_permutex2var_epi32(low0, offsets, high0);
            const __m512i a10 = _mm512_permutex2var_epi32(low0, right, high0);
            const __m512i a01 = _mm512_permutex2var_epi32(low1, offsets, high1);
            const __m512i a11 = _mm512_permutex2var_epi32(low1, right, high1);
            const __m512i fx = _mm512_loadu_si512(fraction + j);
            const __m512i d = _mm512_srai_epi32(_mm512_mullo_epi32(fx, vfy), 8);
            const __m512i w00 =
                _mm512_add_epi32(_mm512_sub_epi32(_mm512_sub_epi32(full, fx), vfy), d);
            const __m512i w10 = _mm512_sub_epi32(fx, d), w01 = _mm512_sub_epi32(vfy, d);
            __m512i sum = _mm512_mullo_epi32(a00, w00);
            sum = _mm512_add_epi32(sum, _mm512_mullo_epi32(a10, w10));
            sum = _mm512_add_epi32(sum, _mm512_mullo_epi32(a01, w01));
            sum = _mm512_add_epi32(sum, _mm512_mullo_epi32(a11, d));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + j),
                             _mm512_cvtepi32_epi8(_mm512_srli_epi32(sum, 8)));
        }
        // From the pixel of the first byte not done, one pixel at a time.
        k = j / 3;
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
