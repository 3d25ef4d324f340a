#include "image/KernelUnit.h"

#include "image/Truncate.h"
#include "transform/RotationKernels.h"

#if UEYE_SIMD_LEVEL >= 1
#include <immintrin.h>
#endif

namespace {

void RotationSources(double c, double s, double ys, double yc, long firstX, long count, int32_t* sx,
                     int32_t* sy) {
    long i = 0;
    // The truncating conversions give 0x80000000 for values beyond 32 bits
    // and NaN, as TruncateToLong does.
#if UEYE_SIMD_LEVEL >= 3
    {
        // The zero-masked form with every lane set: the plain one trips GCC
        // 12's uninitialised-value warning inside its own header.
        auto truncate = [](__m512d v) {
            return _mm512_maskz_cvttpd_epi32(0xFF, v);
        };
        const __m512d vc = _mm512_set1_pd(c), vs = _mm512_set1_pd(s), vys = _mm512_set1_pd(ys),
                      vyc = _mm512_set1_pd(yc), half = _mm512_set1_pd(0.5),
                      step = _mm512_set1_pd(8.0);
        const double first = static_cast<double>(firstX);
        __m512d x = _mm512_add_pd(_mm512_set1_pd(first), _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7));
        for (; i + 8 <= count; i += 8, x = _mm512_add_pd(x, step)) {
            _mm256_storeu_si256(
                reinterpret_cast<__m256i*>(sx + i),
                truncate(_mm512_sub_pd(_mm512_add_pd(_mm512_mul_pd(x, vc), vys), half)));
            _mm256_storeu_si256(
                reinterpret_cast<__m256i*>(sy + i),
                truncate(_mm512_sub_pd(_mm512_sub_pd(vyc, _mm512_mul_pd(x, vs)), half)));
        }
    }
#elif UEYE_SIMD_LEVEL == 2
    {
        const __m256d vc = _mm256_set1_pd(c), vs = _mm256_set1_pd(s), vys = _mm256_set1_pd(ys),
                      vyc = _mm256_set1_pd(yc), half = _mm256_set1_pd(0.5),
                      step = _mm256_set1_pd(4.0);
        __m256d x =
            _mm256_add_pd(_mm256_set1_pd(static_cast<double>(firstX)), _mm256_setr_pd(0, 1, 2, 3));
        for (; i + 4 <= count; i += 4, x = _mm256_add_pd(x, step)) {
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(sx + i),
                _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_add_pd(_mm256_mul_pd(x, vc), vys), half)));
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(sy + i),
                _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_sub_pd(vyc, _mm256_mul_pd(x, vs)), half)));
        }
    }
#elif UEYE_SIMD_LEVEL == 1
    {
        const __m128d vc = _mm_set1_pd(c), vs = _mm_set1_pd(s), vys = _mm_set1_pd(ys),
                      vyc = _mm_set1_pd(yc), half = _mm_set1_pd(0.5), two = _mm_set1_pd(2.0);
        __m128d x = _mm_set_pd(static_cast<double>(firstX + 1), static_cast<double>(firstX));
        for (; i + 2 <= count; i += 2, x = _mm_add_pd(x, two)) {
            const __m128i column =
                _mm_cvttpd_epi32(_mm_sub_pd(_mm_add_pd(_mm_mul_pd(x, vc), vys), half));
            const __m128i row =
                _mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(vyc, _mm_mul_pd(x, vs)), half));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(sx + i), column);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(sy + i), row);
        }
    }
#endif
    for (; i < count; ++i) {
        const double x = static_cast<double>(firstX + i);
        sx[i] = static_cast<int32_t>(TruncateToLong(x * c + ys - 0.5));
        sy[i] = static_cast<int32_t>(TruncateToLong(yc - x * s - 0.5));
    }
}

} // namespace

extern const RotationKernels UEYE_KERNEL_TABLE(kRotationKernels) = {RotationSources};
