#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "transform/ResizeKernels.h"

#include <algorithm>

namespace {

void VerticalGreyBlend(const uint8_t* p0, const uint8_t* p1, long width, double dy,
                       double* blended) {
    const double rest = 1.0 - dy;
    long c = 0;
#if UEYE_SIMD_LEVEL >= 1
    using namespace lanes;
    const Doubles wy = Set(dy), wrest = Set(rest);
    for (; c + kCount <= width; c += kCount) {
        // Of the two products only p1·dy is exact (1 − dy may hold more bits
        // than a float).
        const Doubles sum =
            AddExactProduct(Widen(LoadBytes(p0 + c)) * wrest, Widen(LoadBytes(p1 + c)), wy);
        Store(blended + c, RoundToFloat(sum));
    }
#endif
    for (; c < width; ++c) blended[c] = static_cast<float>(p1[c] * dy + p0[c] * rest);
}

void HorizontalGreyBlend(const double* blended, [[maybe_unused]] long entries, long step,
                         const int32_t* ix, const double* dx, const double* rest, long count,
                         uint8_t* out) {
    auto blend = [&](long k) {
        return static_cast<uint8_t>(
            static_cast<long>(blended[ix[k] + step] * dx[k] + blended[ix[k]] * rest[k]));
    };
    long x = 0;
#if UEYE_SIMD_LEVEL >= 3
    // Eight pixels a step whose left and right values lie within 16
    // consecutive entries of the row (a widening, or a slight narrowing):
    // those entries are loaded once and each pixel's pair picked from them
    // in registers.
    // Gathers would load the same values, lane by lane, at several times
    // the cost. The sums are convex mixes of values in 0..255, whose
    // truncation fits a byte, so the narrowing keeps the low byte that the
    // plain form keeps.
    using namespace lanes;
    for (; x + 8 <= count; x += 8) {
        // The window starts where the first pixel's own starts: a later
        // byte of 24-bit pixels may read a lower channel of the same source
        // pixel when the row widens.
        const int32_t first = std::max<int32_t>(ix[x] - static_cast<int32_t>(step) + 1, 0);
        const __m256i offsets = _mm256_sub_epi32(LoadInts(ix + x), _mm256_set1_epi32(first));
        // Every left value at 0 ..< 16 − step past the first (as unsigned,
        // so that one below the first fails too), and the 16 in the row.
        const bool window = step < 16 && first + 16 <= entries &&
                            _mm256_cmplt_epu32_mask(
                                offsets, _mm256_set1_epi32(static_cast<int>(16 - step))) == 0xFF;
        if (!window) {
            for (long k = x; k < x + 8; ++k)
                out[k] = static_cast<uint8_t>(
                    static_cast<long>(blended[ix[k] + step] * dx[k] + blended[ix[k]] * rest[k]));
            continue;
        }
        const Doubles low = Load(blended + first), high = Load(blended + first + 8);
        const __m512i leftIndex = _mm512_cvtepi32_epi64(offsets);
        const __m512i rightIndex = _mm512_add_epi64(leftIndex, _mm512_set1_epi64(step));
        const Doubles left = _mm512_permutex2var_pd(low, leftIndex, high);
        const Doubles right = _mm512_permutex2var_pd(low, rightIndex, high);
        StoreBytes(out + x, Truncate(right * Load(dx + x) + left * Load(rest + x)));
    }
#endif
    for (; x < count; ++x) out[x] = blend(x);
}

} // namespace

extern const ResizeKernels UEYE_KERNEL_TABLE(kResizeKernels) = {VerticalGreyBlend,
                                                                HorizontalGreyBlend};
