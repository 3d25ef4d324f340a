#pragma once

#include "image/CxImage.h"
#include "image/Truncate.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The sample window of an interpolation method: the cells before and after
// the base cell that it reads on each axis.
struct SampleWindow {
    explicit SampleWindow(CxImage::InterpolationMethod method);

    // Whole window outside the image, for base cells (xi, yi).
    bool AllOutside(long long xi, long long yi, long long width, long long height) const;

    CxImage::InterpolationMethod method;
    bool kernel;             // a kernel method (Lanczos included)
    long long before, after; // window cells relative to the base cell
    int size;                // cells per axis
};

// What one coordinate of a sample contributes, the same for every sample on
// the same column (or row): its base cell, the kernel weights of the window
// cells, and the fixed-point fraction of the bilinear fast path.
struct SampleAxis {
    SampleAxis(const SampleWindow& window, float coordinate);

    float coordinate;
    long long cell;
    float weights[12];
    long fraction; // 1/256 steps, bilinear only
};

// The bilinear fast path: a 24-bit image (and its alpha plane) read straight
// in 1/256 steps, for samples whose 2 × 2 window lies inside it.
struct BilinearSource {
    explicit BilinearSource(CxImage& image);

    bool Inside(long long xi, long long yi) const {
        return xi >= 0 && xi + 1 < width && yi >= 0 && yi + 1 < height;
    }
    // The sample at base cell (xi, yi) with fractions fx, fy (see Fraction).
    RGBQUAD At(long long xi, long long yi, long fx, long fy) const;
    // A coordinate's fraction over its base cell, for a cell inside the image.
    static long Fraction(float v, long long cell) {
        return static_cast<long>((static_cast<double>(v) - cell) * 256);
    }

    bool direct; // a 24-bit image with pixels
    const uint8_t* firstRow;
    size_t stride;
    const uint8_t* alpha; // null without an alpha plane
    long long width, height;
};

// Low 8 bits of the truncated value; NaN and values beyond 64 bits give 0.
inline uint8_t LowByte(double v) {
    if (!(std::fabs(v) < 9.0e18)) return 0;
    return static_cast<uint8_t>(static_cast<long long>(v) & 0xFF);
}

// The floating-point bilinear weights of point (x, y) over its base cell
// (xi, yi), each rounded to float, and the weighted sum of four channel
// values in double precision.
struct BilinearWeights {
    BilinearWeights(float x, float y, long long xi, long long yi)
        : BilinearWeights(Fraction(x, xi), Fraction(y, yi)) {}
    // From the fractions of the point over its base cell.
    BilinearWeights(float fractionX, float fractionY)
        : t(fractionX), u(fractionY), d(static_cast<float>(static_cast<double>(t) * u)),
          w10(static_cast<float>(static_cast<double>(t) - d)),
          w01(static_cast<float>(static_cast<double>(u) - d)),
          w00(static_cast<float>(1.0 - t - w01)) {}

    uint8_t Mix(uint8_t a00, uint8_t a10, uint8_t a01, uint8_t a11) const {
        return LowByte(static_cast<double>(a00) * w00 + static_cast<double>(a10) * w10 +
                       static_cast<double>(a01) * w01 + static_cast<double>(a11) * d);
    }

    // A coordinate minus its base cell, rounded to float.
    static float Fraction(float v, long long cell) {
        return static_cast<float>(static_cast<double>(v) - cell);
    }

    float t, u, d, w10, w01, w00;
};

// Whether a sample whose window lies wholly outside the image takes one
// colour for the whole image (the overflow's fallback) instead of a fold.
inline bool OutsideIsConstant(CxImage::OverflowMethod overflow) {
    return overflow > 0 && overflow <= CxImage::OM_TRANSPARENT;
}

// Base cell: truncation toward zero, one less for negative coordinates. Cells
// and window indices are 64-bit whatever the width of long, so a coordinate
// beyond the 32-bit range (truncated to its most negative value) cannot wrap
// back inside the image.
inline long long BaseCell(float v) {
    return static_cast<long long>(TruncateToLong(v)) - (v < 0 ? 1 : 0);
}

// Inline: the inner loops of the transforms call it per sample.
inline RGBQUAD BilinearSource::At(long long xi, long long yi, long fx, long fy) const {
    const long d = (fx * fy) >> 8;
    const long w00 = 256 - fx - fy + d, w10 = fx - d, w01 = fy - d, w11 = d;
    const uint8_t* p0 = firstRow + static_cast<size_t>(yi) * stride + 3 * static_cast<size_t>(xi);
    const uint8_t* p1 = p0 + stride;
    auto mix = [&](uint8_t a00, uint8_t a10, uint8_t a01, uint8_t a11) {
        return static_cast<uint8_t>((a00 * w00 + a10 * w10 + a01 * w01 + a11 * w11) >> 8);
    };
#if defined(__SSE2__)
    // The colour sums with SSE2: the two rows' bytes interleaved and each
    // vertical pair weighted at once. The sums are exact integers (weights
    // 0..256, at most 65280), so the order of their terms does not matter.
    // Six bytes of a row (blue, green, red of two pixels) as 16-bit lanes,
    // read as 4 + 2 bytes straight into the register.
    const __m128i zero = _mm_setzero_si128();
    auto row = [zero](const uint8_t* p) {
        uint32_t head = 0;
        uint16_t tail = 0;
        std::memcpy(&head, p, 4);
        std::memcpy(&tail, p + 4, 2);
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
    const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
    RGBQUAD result{static_cast<uint8_t>(bytes), static_cast<uint8_t>(bytes >> 8),
                   static_cast<uint8_t>(bytes >> 16), 0};
#else
    RGBQUAD result{mix(p0[0], p0[3], p1[0], p1[3]), mix(p0[1], p0[4], p1[1], p1[4]),
                   mix(p0[2], p0[5], p1[2], p1[5]), 0};
#endif
    if (alpha != nullptr) {
        const uint8_t* a0 = alpha + static_cast<size_t>(xi) + static_cast<size_t>(yi) * width;
        const uint8_t* a1 = a0 + width;
        result.rgbReserved = mix(a0[0], a0[1], a1[0], a1[1]);
    }
    return result;
}
