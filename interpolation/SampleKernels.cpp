#include "image/KernelUnit.h"

#include "image/Truncate.h"
#include "interpolation/SampleKernels.h"
#include "interpolation/SampleWindow.h"

#if UEYE_SIMD_LEVEL >= 1
#include <immintrin.h>
#endif

namespace {

#if UEYE_SIMD_LEVEL >= 1
// Lanes of one register of doubles (2, 4, 8), and floats, 32-bit integers
// and bytes of the same count. The vector types are the compiler's, so each
// level's copy uses its own registers; the operations are the plain form's,
// lane by lane, and -ffp-contract=off keeps every product and sum rounded
// on its own.
constexpr int kLanes = UEYE_SIMD_LEVEL >= 3 ? 8 : UEYE_SIMD_LEVEL == 2 ? 4 : 2;
typedef double Doubles __attribute__((vector_size(8 * kLanes)));
typedef float Floats __attribute__((vector_size(4 * kLanes)));
typedef int32_t Ints __attribute__((vector_size(4 * kLanes)));
typedef uint8_t Bytes __attribute__((vector_size(kLanes)));

Doubles Widen(Floats v) {
    return __builtin_convertvector(v, Doubles);
}
Doubles Widen(Ints v) {
    return __builtin_convertvector(v, Doubles);
}
Doubles RoundToFloat(Doubles v) {
    return Widen(__builtin_convertvector(v, Floats));
}
#endif

void GreyBilinearSamples(const uint8_t* firstRow, size_t stride, const int32_t* xi,
                         const int32_t* yi, const float* t, const float* u, long count,
                         uint8_t* out) {
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    for (; k + kLanes <= count; k += kLanes) {
        Floats vt, vu;
        __builtin_memcpy(&vt, t + k, sizeof vt);
        __builtin_memcpy(&vu, u + k, sizeof vu);
        const Floats d = vt * vu;
        const Floats w10 = vt - d;
        const Floats w01 = vu - d;
        const Doubles w00 = RoundToFloat((1.0 - Widen(vt)) - Widen(w01));
        Ints a00, a10, a01, a11;
        for (int i = 0; i < kLanes; ++i) {
            const uint8_t* p =
                firstRow + static_cast<size_t>(yi[k + i]) * stride + static_cast<size_t>(xi[k + i]);
            a00[i] = p[0];
            a10[i] = p[1];
            a01[i] = p[stride];
            a11[i] = p[stride + 1];
        }
        Doubles sum = Widen(a00) * w00;
        sum = sum + Widen(a10) * Widen(w10);
        sum = sum + Widen(a01) * Widen(w01);
        sum = sum + Widen(a11) * Widen(d);
        // The sums lie within 0..255 up to rounding (a convex mix of bytes),
        // where the truncation to 32 bits and then to 8 keeps the low byte
        // that the plain form keeps.
        const Bytes bytes = __builtin_convertvector(__builtin_convertvector(sum, Ints), Bytes);
        __builtin_memcpy(out + k, &bytes, sizeof bytes);
    }
#endif
    for (; k < count; ++k) {
        const BilinearWeights weights(t[k], u[k]);
        const uint8_t* p0 =
            firstRow + static_cast<size_t>(yi[k]) * stride + static_cast<size_t>(xi[k]);
        const uint8_t* p1 = p0 + stride;
        out[k] = weights.Mix(p0[0], p0[1], p1[0], p1[1]);
    }
}

// The plain walk, N samples interleaved.
template <int N>
void GreyKernelSums(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                    const SampleAxis* const* columns, const SampleAxis& ay, uint8_t* results) {
    float sums[N] = {};
    const uint8_t* starts[N];
    for (int k = 0; k < N; ++k)
        starts[k] = firstRow + static_cast<size_t>(columns[k]->cell - window.before);
    for (int j = 0; j < window.size; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j) * stride;
        const float wy = ay.weights[j];
        for (int i = 0; i < window.size; ++i)
            for (int k = 0; k < N; ++k) {
                const float w = static_cast<float>(columns[k]->weights[i] * wy);
                sums[k] = static_cast<float>(static_cast<double>(sums[k]) +
                                             static_cast<double>(w) *
                                                 starts[k][row + static_cast<size_t>(i)]);
            }
    }
    for (int k = 0; k < N; ++k) results[k] = ClampChannel(sums[k]);
}

#if UEYE_SIMD_LEVEL >= 1
// Samples of the vector walk: four registers of sums, so that the roundings
// of one chain overlap those of the others.
constexpr int kChains = 4;
constexpr int kWalk = kChains * kLanes;

void GreyKernelSumsVector(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                          const SampleAxis* const* columns, const SampleAxis& ay,
                          uint8_t* results) {
    const uint8_t* starts[kWalk];
    // Column weights side by side: weights[i][c] of the chain c's samples.
    Floats weights[12][kChains];
    for (int k = 0; k < kWalk; ++k) {
        starts[k] = firstRow + static_cast<size_t>(columns[k]->cell - window.before);
        for (int i = 0; i < window.size; ++i)
            weights[i][k / kLanes][k % kLanes] = columns[k]->weights[i];
    }
    Doubles sums[kChains] = {};
    for (int j = 0; j < window.size; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j) * stride;
        const float wy = ay.weights[j];
        for (int i = 0; i < window.size; ++i) {
            const size_t at = row + static_cast<size_t>(i);
            for (int c = 0; c < kChains; ++c) {
                Ints values;
                for (int l = 0; l < kLanes; ++l) values[l] = starts[c * kLanes + l][at];
                // The float product of the two weights, then the sum in
                // double precision rounded to float.
                const Floats w = weights[i][c] * wy;
                sums[c] = RoundToFloat(sums[c] + Widen(w) * Widen(values));
            }
        }
    }
    for (int c = 0; c < kChains; ++c)
        for (int l = 0; l < kLanes; ++l)
            results[c * kLanes + l] = ClampChannel(static_cast<float>(sums[c][l]));
}
#endif

void GreyWindowsInside(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                       const SampleAxis* const* columns, int count, const SampleAxis& ay,
                       uint8_t* results) {
    int done = 0;
#if UEYE_SIMD_LEVEL >= 1
    for (; done + kWalk <= count; done += kWalk)
        GreyKernelSumsVector(firstRow, stride, window, columns + done, ay, results + done);
#endif
    for (; done + 4 <= count; done += 4)
        GreyKernelSums<4>(firstRow, stride, window, columns + done, ay, results + done);
    for (; done < count; ++done)
        GreyKernelSums<1>(firstRow, stride, window, columns + done, ay, results + done);
}

// Blue, green and red of one sample; the weights are those of BilinearSource.
#if UEYE_SIMD_LEVEL >= 1
// The two rows' bytes interleaved and each vertical pair weighted at once.
// The sums are exact integers (weights 0..256, at most 65280), so the order
// of their terms does not matter. Six bytes of a row (blue, green, red of
// two pixels) as 16-bit lanes, read as 4 + 2 bytes straight into the
// register.
uint32_t ColourSample(const uint8_t* p0, const uint8_t* p1, long w00, long w10, long w01,
                      long w11) {
    const __m128i zero = _mm_setzero_si128();
    auto row = [zero](const uint8_t* p) {
        uint32_t head = 0;
        uint16_t tail = 0;
        __builtin_memcpy(&head, p, 4);
        __builtin_memcpy(&tail, p + 4, 2);
        return _mm_unpacklo_epi8(
            _mm_insert_epi16(_mm_cvtsi32_si128(static_cast<int>(head)), tail, 2), zero);
    };
    const __m128i upper = row(p0), lower = row(p1);
    auto s16 = [](long w) { return static_cast<short>(w); };
    // Blue, green and red of the left column and blue of the right one, then
    // green and red of the right column.
    const __m128i first = _mm_madd_epi16(_mm_unpacklo_epi16(upper, lower),
                                         _mm_setr_epi16(s16(w00), s16(w01), s16(w00), s16(w01),
                                                        s16(w00), s16(w01), s16(w10), s16(w11)));
    const __m128i second =
        _mm_madd_epi16(_mm_unpackhi_epi16(upper, lower),
                       _mm_setr_epi16(s16(w10), s16(w11), s16(w10), s16(w11), 0, 0, 0, 0));
    const __m128i right = _mm_or_si128(_mm_srli_si128(first, 12), _mm_slli_si128(second, 4));
    const __m128i sums = _mm_srli_epi32(_mm_add_epi32(first, right), 8);
    const __m128i words = _mm_packs_epi32(sums, sums);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}
#endif

void ColourBilinearSamples(const BilinearSource& source, const int32_t* xi, const int32_t* yi,
                           const int32_t* fx, const int32_t* fy, long count, RGBQUAD* out) {
    const size_t alphaStride = static_cast<size_t>(source.width);
    for (long k = 0; k < count; ++k) {
        const long d = (static_cast<long>(fx[k]) * fy[k]) >> 8;
        const long w00 = 256 - fx[k] - fy[k] + d, w10 = fx[k] - d, w01 = fy[k] - d, w11 = d;
        auto mix = [&](uint8_t a00, uint8_t a10, uint8_t a01, uint8_t a11) {
            return static_cast<uint8_t>((a00 * w00 + a10 * w10 + a01 * w01 + a11 * w11) >> 8);
        };
        const uint8_t* p0 = source.firstRow + static_cast<size_t>(yi[k]) * source.stride +
                            3 * static_cast<size_t>(xi[k]);
        const uint8_t* p1 = p0 + source.stride;
#if UEYE_SIMD_LEVEL >= 1
        const uint32_t bytes = ColourSample(p0, p1, w00, w10, w01, w11);
        RGBQUAD result{static_cast<uint8_t>(bytes), static_cast<uint8_t>(bytes >> 8),
                       static_cast<uint8_t>(bytes >> 16), 0};
#else
        RGBQUAD result{mix(p0[0], p0[3], p1[0], p1[3]), mix(p0[1], p0[4], p1[1], p1[4]),
                       mix(p0[2], p0[5], p1[2], p1[5]), 0};
#endif
        if (source.alpha != nullptr) {
            const uint8_t* a0 = source.alpha + static_cast<size_t>(xi[k]) +
                                static_cast<size_t>(yi[k]) * alphaStride;
            const uint8_t* a1 = a0 + alphaStride;
            result.rgbReserved = mix(a0[0], a0[1], a1[0], a1[1]);
        }
        out[k] = result;
    }
}

} // namespace

extern const SampleKernels UEYE_KERNEL_TABLE(kSampleKernels) = {
    GreyBilinearSamples, GreyWindowsInside, ColourBilinearSamples};
