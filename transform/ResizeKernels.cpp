// Kernel unit of bilinear Resample on byte rows: the vertical and horizontal
// blends.

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
            AddExactProduct(LoadBytesAsDoubles(p0 + c) * wrest, LoadBytesAsDoubles(p1 + c), wy);
        Store(blended + c, RoundToFloat(sum));
    }
#endif
    for (; c < width; ++c) blended[c] = static_cast<float>(p1[c] * dy + p0[c] * rest);
}

#if UEYE_SIMD_LEVEL == 1 || UEYE_SIMD_LEVEL == 2
// avx2 and sse2 load each pixel's pair and sort the pairs into lanes
// (LoadStepPairs): sse2 at both steps, avx2 for grey rows (a step of 1).
//
// The horizontal blend of the pixels from 0 on, kCount a step, each pair
// read as wide loads where gathers or lane-by-lane loads would take several
// times as long; returns how many were blended. The sums are convex mixes of
// values in 0..255, whose truncation fits a byte, so the narrowing keeps the
// low byte that the plain form keeps.
template <int kStep>
long BlendStepPairs(const double* blended, const int32_t* ix, const float* dx, long count,
                    uint8_t* out) {
    using namespace lanes;
    long x = 0;
    for (; x + kCount <= count; x += kCount) {
        Doubles left, right;
        LoadStepPairs<kStep>(blended, ix + x, left, right);
        const Doubles weight = Widen(LoadFloats(dx + x));
        StoreBytes(out + x, Truncate(AddExactProduct(left * (Set(1.0) - weight), right, weight)));
    }
    return x;
}
#endif

#if UEYE_SIMD_LEVEL == 2
// avx2 blends a 24-bit pixel's three channels a step: its left values are
// three neighbouring doubles and its right ones the three after them, each
// loaded as they lie, where picking each byte's pair by LoadStepPairs takes
// four loads and four shuffles for four bytes. The fourth lane, the next
// pixel's first byte, is stored and then overwritten by that pixel's step;
// the last pixel, whose fourth byte would pass `count`, is left to the
// caller. Returns how many bytes were blended.
long BlendPixels(const double* blended, const int32_t* ix, const float* dx, long count,
                 uint8_t* out) {
    using namespace lanes;
    long x = 0;
    for (; x + 4 <= count; x += 3) {
        const double* const left = blended + ix[x];
        const Doubles weight = Set(static_cast<double>(dx[x]));
        StoreBytes(out + x, Truncate(AddExactProduct(Load(left) * (Set(1.0) - weight),
                                                     LoadFromSecond(left + 2), weight)));
    }
    return x;
}
#endif

void HorizontalGreyBlend(const double* blended, long step, const int32_t* ix, const float* dx,
                         [[maybe_unused]] const PickedGroups& groups, long count, uint8_t* out) {
    auto blend = [&](long k) {
        return static_cast<uint8_t>(
            static_cast<long>(blended[ix[k] + step] * dx[k] + blended[ix[k]] * (1.0 - dx[k])));
    };
    long x = 0;
#if UEYE_SIMD_LEVEL >= 3
    // avx512 alone picks lanes from two registers (Pick).
    // Picked groups load the 16 values from their base once and pick each
    // pixel's pair from them in registers; gathers would load the same
    // values, lane by lane, at several times the cost. The sums are convex
    // mixes of values in 0..255, whose truncation fits a byte, so the
    // narrowing keeps the low byte that the plain form keeps.
    using namespace lanes;
    const Picks stepIndex = SetPicks(step);
    x = WalkPickedGroups(
        groups.runs, count, out,
        [&](long k) {
            const long base = Greater<long>(ix[k] - step + 1, 0);
            Picks leftIndex, rightIndex;
            PickIndices(groups.picks + k, stepIndex, leftIndex, rightIndex);
            const Doubles low = Load(blended + base), high = Load(blended + base + 8);
            const Doubles left = Pick(low, leftIndex, high);
            const Doubles right = Pick(low, rightIndex, high);
            const Doubles weight = Widen(LoadFloats(dx + k));
            return Truncate(right * weight + left * (Set(1.0) - weight));
        },
        [&](long k) {
            for (long i = k; i < k + kCount; ++i) out[i] = blend(i);
        });
#elif UEYE_SIMD_LEVEL >= 1
    // avx2 and sse2 read each pixel's pair by wide loads.
    if (step == 1) x = BlendStepPairs<1>(blended, ix, dx, count, out);
#if UEYE_SIMD_LEVEL == 2
    if (step == 3) x = BlendPixels(blended, ix, dx, count, out);
#else
    if (step == 3) x = BlendStepPairs<3>(blended, ix, dx, count, out);
#endif
#endif
    for (; x < count; ++x) out[x] = blend(x);
}

// This level's table, each entry by name.
constexpr ResizeKernels ResizeEntries() {
    ResizeKernels kernels{};
    kernels.verticalGreyBlend = VerticalGreyBlend;
    kernels.horizontalGreyBlend = HorizontalGreyBlend;
#if UEYE_SIMD_LEVEL >= 3
    kernels.pickGroups = PickGroups;
#endif
    return kernels;
}

} // namespace

extern const ResizeKernels UEYE_KERNEL_TABLE(kResizeKernels) = ResizeEntries();
