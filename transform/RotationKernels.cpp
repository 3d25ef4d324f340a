#include "transform/RotationKernels.h"

#include "image/Truncate.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void RotationSources(double c, double s, double ys, double yc, long firstX, long count, int32_t* sx,
                     int32_t* sy) {
    long i = 0;
#if defined(__SSE2__)
    // The truncating conversion gives 0x80000000 for values beyond 32 bits
    // and NaN, as TruncateToLong does.
    const __m128d vc = _mm_set1_pd(c), vs = _mm_set1_pd(s), vys = _mm_set1_pd(ys),
                  vyc = _mm_set1_pd(yc), half = _mm_set1_pd(0.5), two = _mm_set1_pd(2.0);
    __m128d x = _mm_set_pd(static_cast<double>(firstX + 1), static_cast<double>(firstX));
    for (; i + 2 <= count; i += 2, x = _mm_add_pd(x, two)) {
        const __m128i column =
            _mm_cvttpd_epi32(_mm_sub_pd(_mm_add_pd(_mm_mul_pd(x, vc), vys), half));
        const __m128i row = _mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(vyc, _mm_mul_pd(x, vs)), half));
        sx[i] = _mm_cvtsi128_si32(column);
        sx[i + 1] = _mm_cvtsi128_si32(_mm_srli_si128(column, 4));
        sy[i] = _mm_cvtsi128_si32(row);
        sy[i + 1] = _mm_cvtsi128_si32(_mm_srli_si128(row, 4));
    }
#endif
    for (; i < count; ++i) {
        const double x = static_cast<double>(firstX + i);
        sx[i] = static_cast<int32_t>(TruncateToLong(x * c + ys - 0.5));
        sy[i] = static_cast<int32_t>(TruncateToLong(yc - x * s - 0.5));
    }
}
