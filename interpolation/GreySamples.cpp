#include "interpolation/GreySamples.h"

#include "image/Truncate.h"
#include "interpolation/SampleWindow.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void GreyBilinearSamples(const uint8_t* firstRow, size_t stride, const int32_t* xi,
                         const int32_t* yi, const float* t, const float* u, long count,
                         uint8_t* out) {
    long k = 0;
#if defined(__SSE2__)
    const __m128d one = _mm_set1_pd(1.0);
    for (; k + 4 <= count; k += 4) {
        const __m128 vt = _mm_loadu_ps(t + k), vu = _mm_loadu_ps(u + k);
        const __m128 d = _mm_mul_ps(vt, vu);
        const __m128 w10 = _mm_sub_ps(vt, d);
        const __m128 w01 = _mm_sub_ps(vu, d);
        const uint8_t* p[4];
        for (int i = 0; i < 4; ++i)
            p[i] =
                firstRow + static_cast<size_t>(yi[k + i]) * stride + static_cast<size_t>(xi[k + i]);
        // The four samples' bytes of each window corner, in 32-bit lanes built
        // in registers.
        auto corner = [&p](size_t offset) {
            return _mm_set_epi32(p[3][offset], p[2][offset], p[1][offset], p[0][offset]);
        };
        const __m128i a00 = corner(0), a10 = corner(1), a01 = corner(stride),
                      a11 = corner(stride + 1);
        __m128i whole[2];
        for (int half = 0; half < 2; ++half) {
            // Samples 2·half and 2·half + 1 in double lanes.
            auto lanes = [half](__m128 v) {
                return _mm_cvtps_pd(half == 0 ? v : _mm_movehl_ps(v, v));
            };
            auto bytes = [half](__m128i v) {
                return _mm_cvtepi32_pd(half == 0 ? v : _mm_srli_si128(v, 8));
            };
            const __m128d t2 = lanes(vt), w01d = lanes(w01);
            const __m128d w00 = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_sub_pd(_mm_sub_pd(one, t2), w01d)));
            __m128d sum = _mm_mul_pd(bytes(a00), w00);
            sum = _mm_add_pd(sum, _mm_mul_pd(bytes(a10), lanes(w10)));
            sum = _mm_add_pd(sum, _mm_mul_pd(bytes(a01), w01d));
            sum = _mm_add_pd(sum, _mm_mul_pd(bytes(a11), lanes(d)));
            // The sums lie within 0..255 up to rounding (a convex mix of
            // bytes), where the 32-bit truncation and the saturating packs
            // below give the low byte that the plain form keeps.
            whole[half] = _mm_cvttpd_epi32(sum);
        }
        const __m128i four = _mm_unpacklo_epi64(whole[0], whole[1]);
        const __m128i words = _mm_packs_epi32(four, four);
        const int32_t packed = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        __builtin_memcpy(out + k, &packed, 4);
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

namespace {

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

#if defined(__SSE2__)
// Eight samples: four double registers of two sums each, so that the
// roundings of one chain overlap those of the others.
void GreyKernelSums8(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                     const SampleAxis* const* columns, const SampleAxis& ay, uint8_t* results) {
    const uint8_t* starts[8];
    // Column weights side by side: weights[i][k] of sample k.
    alignas(16) float weights[12][8];
    for (int k = 0; k < 8; ++k) {
        starts[k] = firstRow + static_cast<size_t>(columns[k]->cell - window.before);
        for (int i = 0; i < window.size; ++i) weights[i][k] = columns[k]->weights[i];
    }
    __m128d sums[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
    for (int j = 0; j < window.size; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j) * stride;
        const __m128 wy = _mm_set1_ps(ay.weights[j]);
        for (int i = 0; i < window.size; ++i) {
            const size_t at = row + static_cast<size_t>(i);
            for (int half = 0; half < 2; ++half) {
                const int k = 4 * half;
                const __m128 w = _mm_mul_ps(_mm_load_ps(&weights[i][k]), wy);
                const __m128i values = _mm_set_epi32(starts[k + 3][at], starts[k + 2][at],
                                                     starts[k + 1][at], starts[k][at]);
                const __m128d terms[2] = {_mm_mul_pd(_mm_cvtps_pd(w), _mm_cvtepi32_pd(values)),
                                          _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(w, w)),
                                                     _mm_cvtepi32_pd(_mm_srli_si128(values, 8)))};
                for (int p = 0; p < 2; ++p) {
                    __m128d& sum = sums[2 * half + p];
                    sum = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_add_pd(sum, terms[p])));
                }
            }
        }
    }
    for (int p = 0; p < 4; ++p) {
        float pair[4];
        _mm_storeu_ps(pair, _mm_cvtpd_ps(sums[p]));
        results[2 * p] = ClampChannel(pair[0]);
        results[2 * p + 1] = ClampChannel(pair[1]);
    }
}
#endif

} // namespace

void GreyWindowsInside(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                       const SampleAxis* const* columns, int count, const SampleAxis& ay,
                       uint8_t* results) {
    int done = 0;
#if defined(__SSE2__)
    for (; done + 8 <= count; done += 8)
        GreyKernelSums8(firstRow, stride, window, columns + done, ay, results + done);
#endif
    for (; done + 4 <= count; done += 4)
        GreyKernelSums<4>(firstRow, stride, window, columns + done, ay, results + done);
    for (; done < count; ++done)
        GreyKernelSums<1>(firstRow, stride, window, columns + done, ay, results + done);
}
