// Kernel unit of the tone operations: GrayScale of a row of 24-bit pixels.

#include "image/KernelUnit.h"

#include "transform/ToneKernels.h"

#if UEYE_SIMD_LEVEL >= 1
#include <immintrin.h>
#endif

namespace {

uint8_t Gray(unsigned red, unsigned green, unsigned blue) {
    return static_cast<uint8_t>((306 * red + 601 * green + 117 * blue) >> 10);
}

void GrayRow(const uint8_t* source, uint8_t* target, long width) {
    long x = 0;
#if UEYE_SIMD_LEVEL >= 2
    // Eight pixels a step: four in each 128-bit half, read as 16 bytes of
    // which the first 12 are theirs (so the step needs 10 pixels of row).
    // Bytes are spread into 16-bit lanes, blue and green paired for one
    // multiply-add, red alone with a zero weight.
    const __m256i blueGreen = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1));
    const __m256i red = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1));
    const __m256i blueGreenWeights = _mm256_set1_epi32((601 << 16) | 117);
    const __m256i redWeights = _mm256_set1_epi32(306);
    for (; x + 10 <= width; x += 8, source += 24) {
        const __m256i pixels = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 12)), 1);
        const __m256i sums = _mm256_add_epi32(
            _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, blueGreen), blueGreenWeights),
            _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, red), redWeights));
        const __m256i grey = _mm256_srli_epi32(sums, 10);
        const __m256i words = _mm256_packus_epi32(grey, grey);
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const int low = _mm_cvtsi128_si32(_mm256_castsi256_si128(bytes));
        const int high = _mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1));
        __builtin_memcpy(target + x, &low, 4);
        __builtin_memcpy(target + x + 4, &high, 4);
    }
#elif UEYE_SIMD_LEVEL == 1
    // Four pixels a step, each read as a 32-bit word, so the last pixel of
    // the row, whose word would run past it, is left to the plain loop.
    const __m128i weights = _mm_set_epi16(0, 306, 601, 117, 0, 306, 601, 117);
    const __m128i zero = _mm_setzero_si128();
    for (; x + 4 < width; x += 4, source += 12) {
        uint32_t words[4];
        __builtin_memcpy(words, source, 4);
        __builtin_memcpy(words + 1, source + 3, 4);
        __builtin_memcpy(words + 2, source + 6, 4);
        __builtin_memcpy(words + 3, source + 9, 4);
        const __m128i pixels =
            _mm_set_epi32(static_cast<int>(words[3]), static_cast<int>(words[2]),
                          static_cast<int>(words[1]), static_cast<int>(words[0]));
        // Per pixel: 117 blue + 601 green, and 306 red.
        const __m128 low =
            _mm_castsi128_ps(_mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), weights));
        const __m128 high =
            _mm_castsi128_ps(_mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), weights));
        const __m128i blueGreen =
            _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128i red = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
        const __m128i grey = _mm_srli_epi32(_mm_add_epi32(blueGreen, red), 10);
        const __m128i words16 = _mm_packs_epi32(grey, grey);
        const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words16, words16));
        __builtin_memcpy(target + x, &bytes, 4);
    }
#endif
    for (; x < width; ++x, source += 3) target[x] = Gray(source[2], source[1], source[0]);
}

// This level's table, each entry by name.
constexpr ToneKernels ToneEntries() {
    ToneKernels kernels{};
    kernels.grayRow = GrayRow;
    return kernels;
}

} // namespace

extern const ToneKernels UEYE_KERNEL_TABLE(kToneKernels) = ToneEntries();
