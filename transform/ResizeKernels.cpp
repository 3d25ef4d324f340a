#include "transform/ResizeKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void VerticalGreyBlend(const uint8_t* p0, const uint8_t* p1, const char* read, long width,
                       double dy, float* blended) {
    const double rest = 1.0 - dy;
    long c = 0;
#if defined(__SSE2__)
    // Four columns a step, two double lanes at a time; every column is
    // computed, read or not, which changes no value that is used.
    const __m128d wy = _mm_set1_pd(dy), wrest = _mm_set1_pd(rest);
    const __m128i zero = _mm_setzero_si128();
    auto widen = [zero](const uint8_t* p) {
        int32_t word;
        __builtin_memcpy(&word, p, 4);
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
    };
    for (; c + 4 <= width; c += 4) {
        const __m128i a = widen(p0 + c), b = widen(p1 + c);
        const __m128d lowSum =
            _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(b), wy), _mm_mul_pd(_mm_cvtepi32_pd(a), wrest));
        const __m128d highSum =
            _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(b, 8)), wy),
                       _mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(a, 8)), wrest));
        _mm_storeu_ps(blended + c, _mm_movelh_ps(_mm_cvtpd_ps(lowSum), _mm_cvtpd_ps(highSum)));
    }
#endif
    for (; c < width; ++c)
        if (read[c]) blended[c] = static_cast<float>(p1[c] * dy + p0[c] * rest);
}

void HorizontalGreyBlend(const float* blended, const BilinearColumn* columns, long count,
                         uint8_t* out) {
    long x = 0;
#if defined(__SSE2__)
    // Two pixels a step in double lanes; the truncation of values in 0..255
    // is the same in 32 bits.
    for (; x + 2 <= count; x += 2) {
        const BilinearColumn& a = columns[x];
        const BilinearColumn& b = columns[x + 1];
        const __m128d left = _mm_set_pd(blended[b.ix], blended[a.ix]);
        const __m128d right = _mm_set_pd(blended[b.ix1], blended[a.ix1]);
        const __m128d sum = _mm_add_pd(_mm_mul_pd(right, _mm_set_pd(b.dx, a.dx)),
                                       _mm_mul_pd(left, _mm_set_pd(b.rest, a.rest)));
        const int32_t both = _mm_cvtsi128_si32(_mm_packus_epi16(
            _mm_packs_epi32(_mm_cvttpd_epi32(sum), _mm_setzero_si128()), _mm_setzero_si128()));
        out[x] = static_cast<uint8_t>(both);
        out[x + 1] = static_cast<uint8_t>(both >> 8);
    }
#endif
    for (; x < count; ++x) {
        const BilinearColumn& column = columns[x];
        out[x] = static_cast<uint8_t>(
            static_cast<long>(static_cast<double>(blended[column.ix1]) * column.dx +
                              static_cast<double>(blended[column.ix]) * column.rest));
    }
}
