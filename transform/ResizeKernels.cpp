#include "transform/ResizeKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void VerticalGreyBlend(const uint8_t* p0, const uint8_t* p1, long width, double dy,
                       double* blended) {
    const double rest = 1.0 - dy;
    long c = 0;
#if defined(__SSE2__)
    // Four columns a step, two double lanes at a time, rounded to float.
    const __m128d wy = _mm_set1_pd(dy), wrest = _mm_set1_pd(rest);
    const __m128i zero = _mm_setzero_si128();
    auto widen = [zero](const uint8_t* p) {
        int32_t word;
        __builtin_memcpy(&word, p, 4);
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
    };
    auto blend = [&](__m128i a, __m128i b) {
        const __m128d sum =
            _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(b), wy), _mm_mul_pd(_mm_cvtepi32_pd(a), wrest));
        return _mm_cvtps_pd(_mm_cvtpd_ps(sum));
    };
    for (; c + 4 <= width; c += 4) {
        const __m128i a = widen(p0 + c), b = widen(p1 + c);
        _mm_storeu_pd(blended + c, blend(a, b));
        _mm_storeu_pd(blended + c + 2, blend(_mm_srli_si128(a, 8), _mm_srli_si128(b, 8)));
    }
#endif
    for (; c < width; ++c) blended[c] = static_cast<float>(p1[c] * dy + p0[c] * rest);
    blended[width] = blended[width - 1];
}

void HorizontalGreyBlend(const double* blended, const BilinearColumn* columns, long count,
                         uint8_t* out) {
    long x = 0;
#if defined(__SSE2__)
    // Four pixels a step in double lanes; each column's left and right
    // values are neighbours, loaded together. The truncation of values in
    // 0..255 is the same in 32 bits, and the packs keep them.
    auto pair = [&](const BilinearColumn& a, const BilinearColumn& b) {
        const __m128d first = _mm_loadu_pd(blended + a.ix);
        const __m128d second = _mm_loadu_pd(blended + b.ix);
        const __m128d left = _mm_unpacklo_pd(first, second);
        const __m128d right = _mm_unpackhi_pd(first, second);
        return _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(right, _mm_set_pd(b.dx, a.dx)),
                                           _mm_mul_pd(left, _mm_set_pd(b.rest, a.rest))));
    };
    for (; x + 4 <= count; x += 4) {
        const __m128i four = _mm_unpacklo_epi64(pair(columns[x], columns[x + 1]),
                                                pair(columns[x + 2], columns[x + 3]));
        const __m128i words = _mm_packs_epi32(four, four);
        const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        __builtin_memcpy(out + x, &bytes, 4);
    }
#endif
    for (; x < count; ++x) {
        const BilinearColumn& column = columns[x];
        out[x] = static_cast<uint8_t>(
            static_cast<long>(blended[column.ix1] * column.dx + blended[column.ix] * column.rest));
    }
}
