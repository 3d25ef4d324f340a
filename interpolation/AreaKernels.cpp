// Kernel unit of the area samples: the grid walk of a target row, one target
// pixel a lane, over an image on the grey ramp or a 24-bit one.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "image/Truncate.h"
#include "interpolation/AreaKernels.h"

#include <type_traits>

namespace {

// Channels of a source pixel: one on the grey ramp, blue, green and red at
// 24 bpp; the alpha plane, when there is one, comes as a fourth sum.
constexpr int kMaxSums = 4;

// How many sums a walk keeps.
int SumCount(const AreaGridRow& r, int channels) {
    return channels == 3 && r.alphaTop != nullptr ? 4 : channels;
}

// The value of sum s (a channel, or alpha after the channels) at column x of
// the covered row dy.
template <int Channels> uint8_t ValueAt(const AreaGridRow& r, int s, long dy, size_t x) {
    if (s < Channels) return r.top[static_cast<size_t>(dy) * r.stride + Channels * x + s];
    return r.alphaTop[static_cast<size_t>(dy) * r.alphaStride + x];
}

// The walk of one target column in AreaCells::Walk's order, each term added
// in double precision and the sum rounded to float, as the colour form adds
// it.
template <int Channels>
void PlainGrid(const AreaGridRow& r, long x0, long x1, float w0, float w1, float* sums) {
    const int count = SumCount(r, Channels);
    auto add = [&](long x, long dy, float weight) {
        for (int s = 0; s < count; ++s)
            sums[s] = static_cast<float>(sums[s] + ValueAt<Channels>(r, s, dy, size_t(x)) *
                                                       static_cast<double>(weight));
    };
    const long y1 = r.rows;
    const float h0 = r.hFirst, h1 = r.hLast;
    add(x0, 0, w0 * h0);
    add(x1, 0, w1 * h0);
    add(x0, y1, w0 * h1);
    add(x1, y1, w1 * h1);
    for (long x = x0 + 1; x < x1; ++x) {
        add(x, 0, h0);
        add(x, y1, h1);
    }
    for (long y = 1; y < y1; ++y) {
        add(x0, y, w0);
        add(x1, y, w1);
    }
    for (long y = 1; y < y1; ++y)
        for (long x = x0 + 1; x < x1; ++x) add(x, y, 1.0f);
}

// The sums divided by the area's surface, each clamped to a byte. The bound
// kMaxSums, which count never exceeds, is written out for the compiler, which
// would otherwise vectorise the loop for longer counts and warn of writing
// past the array.
void Finish(const AreaGridRow& r, const AreaGridColumns& c, long at, const float* sums, int count,
            uint8_t (&channels)[kMaxSums]) {
    const float surface = r.height * c.width[at];
    for (int s = 0; s < count && s < kMaxSums; ++s) channels[s] = ClampChannel(sums[s] / surface);
}

#if UEYE_SIMD_LEVEL >= 1
using namespace lanes;

// The 32-bit lanes of Ints, for shifts and masks.
typedef int32_t Words __attribute__((vector_size(sizeof(Ints))));

#if UEYE_SIMD_LEVEL >= 3
// avx512 alone picks 32-bit lanes from two registers (PickInts).
//
// The bytes of a grey row at the lanes' columns, picked in registers from
// the 32 bytes from the first lane's column when every lane's column lies
// among them (areas up to about four pixels wide): lane-by-lane inserts, or
// gathers, would load the same bytes at several times the cost.
bool PickBytes(const uint8_t* row, size_t stride, const int32_t* columns, Ints& values) {
    const int32_t first = columns[0];
    const Ints offsets = OffsetsFrom(columns, first);
    if (first < 0 || static_cast<size_t>(first) + 32 > stride || !AllBelow(offsets, 32))
        return false;
    values = PickInts(LoadBytes16(row + first), offsets, LoadBytes16(row + first + 16));
    return true;
}

// The pixels of a 24-bit row at the lanes' columns, each lane's blue, green
// and red in its low three bytes, picked in registers from the 128 bytes from
// the first lane's pixel when every lane's pixel lies among them.
bool PickPixels(const uint8_t* row, size_t stride, const int32_t* columns, Words& values) {
    const int32_t first = columns[0];
    const Ints offsets = Scale(OffsetsFrom(columns, first), 3);
    // A pixel at byte offset 126 or more would reach past the 128 bytes.
    if (first < 0 || 3 * static_cast<size_t>(first) + 128 > stride || !AllBelow(offsets, 126))
        return false;
    values = reinterpret_cast<Words>(PickUnaligned(row + 3 * static_cast<size_t>(first), offsets));
    return true;
}
#endif

// Registers of target columns a walk takes at once: their sums are
// independent chains, so that the roundings of one overlap the others'.
constexpr int kChains = 4;

// The walk of Groups · kCount target columns from `at`, one a lane, each
// lane the plain walk of its column: the same terms in the same order, the
// sums in double lanes rounded to float after every term.
//
// The lanes share their covered rows but their columns may differ in count
// (the areas' x positions differ). A lane with fewer inner columns than
// another takes, for each missing one, the term of its own first column
// with weight +0. That term leaves its sum's bits as they are: every sum
// starts at +0 and every weight is ≥ 0 (a cross-section's width or height,
// or a product of two) and every value ≥ 0, so a sum is never −0 or NaN, and
// sum + value · (+0) = sum + (+0) = sum, which rounds to itself.
//
// Each sum is then divided by its area's surface and clamped to a byte in
// lanes, as Finish does it: out[s][l] is sum s of lane l.
template <int Channels, int Groups>
void VectorGrid(const AreaGridRow& r, const AreaGridColumns& c, long at,
                int32_t (*out)[Groups * kCount]) {
    constexpr int kLanes = Groups * kCount;
    const int count = SumCount(r, Channels);
    const int32_t* const x0 = c.first + at;
    const int32_t* const x1 = c.last + at;
    Floats w0[Groups], w1[Groups];
    for (int g = 0; g < Groups; ++g) {
        w0[g] = LoadFloats(c.wFirst + at + g * kCount);
        w1[g] = LoadFloats(c.wLast + at + g * kCount);
    }
    int inner[kLanes]; // inner columns of each lane
    int most = 0, fewest = 0;
    for (int l = 0; l < kLanes; ++l) {
        inner[l] = x1[l] - x0[l] - 1 > 0 ? x1[l] - x0[l] - 1 : 0;
        most = l == 0 || inner[l] > most ? inner[l] : most;
        fewest = l == 0 || inner[l] < fewest ? inner[l] : fewest;
    }
    Doubles sums[Groups][kMaxSums];
    for (auto& group : sums)
        for (Doubles& sum : group) sum = Set(0.0);
    // Adds each lane's value at column xs[l] of covered row dy.
    auto add = [&](const int32_t* xs, long dy, const Floats* weight) {
        for (int g = 0; g < Groups; ++g) {
            const Doubles w = Widen(weight[g]);
            const int32_t* const columns = xs + g * kCount;
            // A pixel's channels in the low bytes of one lane, split after.
            auto gather = [&] {
                return reinterpret_cast<Words>(MakeInts([&](int l) {
                    int pixel = 0;
                    for (int s = 0; s < Channels; ++s)
                        pixel |= ValueAt<Channels>(r, s, dy, static_cast<size_t>(columns[l]))
                                 << 8 * s;
                    return pixel;
                }));
            };
#if UEYE_SIMD_LEVEL >= 3
            // avx512 alone picks the pixels from loaded registers.
            const uint8_t* const row = r.top + static_cast<size_t>(dy) * r.stride;
            Ints picked;
            Words pixels;
            if (Channels == 1 && PickBytes(row, r.stride, columns, picked))
                pixels = reinterpret_cast<Words>(picked);
            else if (Channels != 3 || !PickPixels(row, r.stride, columns, pixels))
                pixels = gather();
#else
            const Words pixels = gather();
#endif
            for (int s = 0; s < count; ++s) {
                const Doubles values = s < Channels
                                           ? Widen(reinterpret_cast<Ints>(pixels >> 8 * s & 0xFF))
                                           : Widen(MakeInts([&](int l) {
                                                 return static_cast<int>(ValueAt<Channels>(
                                                     r, s, dy, static_cast<size_t>(columns[l])));
                                             }));
                sums[g][s] = RoundToFloat(AddExactProduct(sums[g][s], values, w));
            }
        }
    };
    auto products = [](const Floats* a, Floats b, Floats* to) {
        for (int g = 0; g < Groups; ++g) to[g] = a[g] * b;
    };
    // The inner columns of rows dy (weight h) and, when `second`, dy2 (h2),
    // alternating as the walk's first and last rows take them.
    auto innerColumns = [&](long dy, float h, bool second, long dy2, float h2) {
        for (int i = 0; i < most; ++i) {
            int32_t xs[kLanes];
            for (int l = 0; l < kLanes; ++l) xs[l] = i < inner[l] ? x0[l] + 1 + i : x0[l];
            auto weights = [&](float v, Floats* to) {
                for (int g = 0; g < Groups; ++g)
                    to[g] = i < fewest ? SetFloats(v) : MakeFloats([&](int l) {
                        return i < inner[g * kCount + l] ? v : 0.0f;
                    });
            };
            Floats weight[Groups];
            weights(h, weight);
            add(xs, dy, weight);
            if (!second) continue;
            weights(h2, weight);
            add(xs, dy2, weight);
        }
    };
    const long y1 = r.rows;
    const Floats h0 = SetFloats(r.hFirst), h1 = SetFloats(r.hLast);
    Floats weight[Groups];
    products(w0, h0, weight);
    add(x0, 0, weight);
    products(w1, h0, weight);
    add(x1, 0, weight);
    products(w0, h1, weight);
    add(x0, y1, weight);
    products(w1, h1, weight);
    add(x1, y1, weight);
    innerColumns(0, r.hFirst, true, y1, r.hLast);
    for (long y = 1; y < y1; ++y) {
        add(x0, y, w0);
        add(x1, y, w1);
    }
    for (long y = 1; y < y1; ++y) innerColumns(y, 1.0f, false, 0, 0.0f);
    for (int g = 0; g < Groups; ++g) {
        const Floats surface = SetFloats(r.height) * LoadFloats(c.width + at + g * kCount);
        for (int s = 0; s < count; ++s)
            StoreInts(out[s] + g * kCount, ClampToBytes(Widen(Narrow(sums[g][s]) / surface)));
    }
}
#endif

// Target columns first .. first + count − 1 into out[k] for column
// first + k: a byte on the grey ramp, or blue, green, red and alpha.
template <int Channels, typename Out>
void GridRow(const AreaGridRow& r, const AreaGridColumns& c, long first, long count, Out* out) {
    const int sums = SumCount(r, Channels);
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    // Groups · kCount columns from k.
    auto walk = [&](auto groups) {
        constexpr int kGroups = decltype(groups)::value;
        int32_t lanes[kMaxSums][kGroups * kCount];
        VectorGrid<Channels, kGroups>(r, c, first + k, lanes);
        for (int g = 0; g < kGroups; ++g) {
            auto sum = [&](int s) {
                return s < sums ? LoadInts(lanes[s] + g * kCount) : MakeInts([](int) { return 0; });
            };
            if constexpr (Channels == 1)
                StoreBytes(out + k, sum(0));
            else
                StoreInts(reinterpret_cast<int32_t*>(out + k),
                          PackQuads(sum(0), sum(1), sum(2), sum(3)));
            k += kCount;
        }
    };
    while (k + kChains * kCount <= count) walk(std::integral_constant<int, kChains>());
    while (k + kCount <= count) walk(std::integral_constant<int, 1>());
#endif
    for (; k < count; ++k) {
        const long at = first + k;
        float plain[kMaxSums] = {};
        PlainGrid<Channels>(r, c.first[at], c.last[at], c.wFirst[at], c.wLast[at], plain);
        uint8_t channels[kMaxSums] = {};
        Finish(r, c, at, plain, sums, channels);
        if constexpr (Channels == 1)
            out[k] = channels[0];
        else
            out[k] = RGBQUAD{channels[0], channels[1], channels[2], channels[3]};
    }
}

void GreyGridRow(const AreaGridRow& r, const AreaGridColumns& c, long first, long count,
                 uint8_t* out) {
    GridRow<1>(r, c, first, count, out);
}

void ColourGridRow(const AreaGridRow& r, const AreaGridColumns& c, long first, long count,
                   RGBQUAD* out) {
    GridRow<3>(r, c, first, count, out);
}

// This level's table, each entry by name.
constexpr AreaKernels AreaEntries() {
    AreaKernels kernels{};
    kernels.greyGridRow = GreyGridRow;
    kernels.colourGridRow = ColourGridRow;
    return kernels;
}

} // namespace

extern const AreaKernels UEYE_KERNEL_TABLE(kAreaKernels) = AreaEntries();
