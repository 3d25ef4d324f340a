#include "interpolation/GreyBilinear.h"

#include "interpolation/SampleWindow.h"

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
