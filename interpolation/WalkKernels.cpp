// Kernel unit of the kernel walks: grey and colour samples whose windows lie
// inside the image, with one window row set for a row of samples (of bytes
// or of widened rows) or one for each sample.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "interpolation/SampleKernelHelpers.h"
#include "interpolation/SampleWindow.h"
#include "interpolation/WalkKernels.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

// The taps of the samples from k on (KernelTaps::From, whose out-of-line copy
// a kernel unit must not make).
KernelTaps TapsFrom(const KernelTaps& taps, long k) {
    return KernelTaps{taps.start + k, taps.weights + k, taps.stride};
}

#if UEYE_SIMD_LEVEL >= 1
using namespace lanes;
#endif

// The pixels a grey walk reads, Value(row, column) with the image's row: an
// image's bytes, for samples each with its own window rows.
struct ByteRows {
    const uint8_t* firstRow;
    size_t stride;
    double Value(size_t row, size_t column) const { return firstRow[row * stride + column]; }
};

// The row of each sample's window: one row axis for all, or one each.
struct SharedRow {
    const SampleWindow& window;
    const SampleAxis& axis;
    long long Start(int) const { return axis.cell - window.before; }
    float Weight(int j, int) const { return axis.weights[j]; }
};
struct OwnRows {
    const KernelTaps& rows;
    long long Start(int k) const { return rows.start[k]; }
    float Weight(int j, int k) const { return rows.weights[j * rows.stride + k]; }
};

// The taps of the plain walks, N samples interleaved: term(k, w, row,
// column) for each tap of sample k, rows outermost, w the float product of
// its column and row weights.
template <int N, typename Rows, typename Term>
void WalkTaps(const SampleWindow& window, const KernelTaps& columns, const Rows& rows, Term term) {
    for (int j = 0; j < window.size; ++j)
        for (int i = 0; i < window.size; ++i)
            for (int k = 0; k < N; ++k)
                term(
                    k,
                    static_cast<float>(columns.weights[i * columns.stride + k] * rows.Weight(j, k)),
                    static_cast<size_t>(rows.Start(k) + j),
                    static_cast<size_t>(columns.start[k] + i));
}

// The plain walk, N samples interleaved.
template <int N, typename Source, typename Rows>
void GreyKernelSums(const Source& source, const SampleWindow& window, const KernelTaps& columns,
                    const Rows& rows, uint8_t* results) {
    float sums[N] = {};
    WalkTaps<N>(window, columns, rows, [&](int k, float w, size_t row, size_t column) {
        Accumulate(sums[k], w, source.Value(row, column));
    });
    for (int k = 0; k < N; ++k) results[k] = ClampChannel(sums[k]);
}

#if UEYE_SIMD_LEVEL >= 1
// Samples of the vector walk: several registers of sums, so that the
// roundings of one chain overlap those of the others. The walk is bound by
// each chain's latency (a sum, its rounding to float and back): avx2, whose
// walk loads each tap's values from memory, keeps eight chains in its
// sixteen registers; the others, which hold more per chain, four.
constexpr int kChains = UEYE_SIMD_LEVEL == 2 ? 8 : 4;
constexpr int kWalk = kChains * kCount;

// The chains' sums clamped and truncated to bytes, chain by chain, packed
// four chains at a time.
void StoreChains(const Doubles* sums, uint8_t* results) {
    static_assert(kChains % 4 == 0, "chains in fours");
    for (int c = 0; c < kChains; c += 4)
        StoreBytesOfFour(results + c * kCount, ClampToBytes(sums[c]), ClampToBytes(sums[c + 1]),
                         ClampToBytes(sums[c + 2]), ClampToBytes(sums[c + 3]));
}

#if UEYE_SIMD_LEVEL >= 3
// avx512 alone picks lanes from loaded registers (Pick, PickOfFour).
//
// The rows of the in-register grey walk: each chain's row bytes from
// first[c] as doubles, eight a register, its lanes' windows at offsets[c].
// kSliding: every lane's window starts within 8 bytes of its chain's first,
// so tap i finds all its values in registers ⌊i/8⌋ and ⌊i/8⌋ + 1; else the
// windows lie within 32 bytes and each tap picks from the first 16 or the
// last 16. The taps are unrolled so that each row's values stay in
// registers, and the lane indices of each tap are made once for all rows.
template <bool kSliding, int kSize, typename Source>
void GreyRowsPicked(const Source& source, const SampleWindow& window, const size_t* first,
                    const Picks* offsets, const Floats (*weights)[kChains], const SampleAxis& ay,
                    Doubles* sums) {
    // A sliding tap i takes index i mod 8; a wider one index i, and the last
    // 16 values where that is 16 or more.
    constexpr int kIndices = kSliding ? (kSize < 8 ? kSize : 8) : kSize;
    constexpr int kRegisters = kSliding ? (kSize - 1) / 8 + 2 : 4;
    Picks index[kIndices][kChains];
    SecondPair upper[kSliding ? 1 : kIndices][kChains];
    for (int i = 0; i < kIndices; ++i)
        for (int c = 0; c < kChains; ++c) {
            index[i][c] = Plus(offsets[c], i);
            if constexpr (!kSliding) upper[i][c] = InSecondPair(index[i][c]);
        }
    for (int j = 0; j < kSize; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j);
        const Floats wy = SetFloats(ay.weights[j]);
        Doubles bytes[kChains][kRegisters + kRegisters % 2];
        for (int c = 0; c < kChains; ++c)
            for (int r = 0; r < kRegisters; r += 2)
                source.LoadSixteen(row, first[c] + 8 * static_cast<size_t>(r), bytes[c][r],
                                   bytes[c][r + 1]);
#pragma GCC unroll 12
        for (int i = 0; i < kSize; ++i)
#pragma GCC unroll 4
            for (int c = 0; c < kChains; ++c) {
                Doubles value;
                if constexpr (kSliding)
                    value = Pick(bytes[c][i / 8], index[i % 8][c], bytes[c][i / 8 + 1]);
                else
                    value = PickOfFour(bytes[c][0], bytes[c][1], bytes[c][2], bytes[c][3],
                                       index[i][c], upper[i][c]);
                const Floats w = weights[i][c] * wy;
                sums[c] = RoundToFloat(AddExactProduct(sums[c], value, Widen(w)));
            }
    }
}
#endif

#if UEYE_SIMD_LEVEL >= 3
// The walk over widened rows when each chain's lanes start at most 15
// columns after its first lane: tap i of a chain is picked from the row's
// values at its first lane's column + i and the eight after, both loaded
// from memory, so that one lane index a chain serves every tap and little
// but the sums stays in registers. The terms and their order are those of
// GreyKernelSumsVector. False, and nothing done, for other windows, and
// where the values after the last chain's window leave the rows.
template <int kSize>
bool GreyKernelSumsLoaded(const WindowRows<double>& source, const SampleWindow& window,
                          const KernelTaps& columns, const SampleAxis& ay, uint8_t* results) {
    const int32_t* const starts = columns.start;
    int32_t low = starts[0], high = starts[0]; // the chains' first columns
    Picks offsets[kChains];
    for (int c = 0; c < kChains; ++c) {
        const int32_t first = starts[c * kCount];
        const Ints offset = OffsetsFrom(starts + c * kCount, first);
        if (!AllAtMost(offset, 15)) return false;
        offsets[c] = ToPicks(offset);
        low = Lesser(low, first);
        high = Greater(high, first);
    }
    if (low < 0 ||
        !source.Fits(static_cast<size_t>(low), static_cast<size_t>(high - low) + kSize + 15))
        return false;
    size_t chain[kChains]; // each chain's first column from the lowest
    for (int c = 0; c < kChains; ++c) chain[c] = static_cast<size_t>(starts[c * kCount] - low);
    Doubles sums[kChains];
    for (Doubles& sum : sums) sum = Set(0.0);
    for (int j = 0; j < kSize; ++j) {
        const double* const values =
            source.Row(static_cast<size_t>(ay.cell - window.before + j)) + low;
        const Floats wy = SetFloats(ay.weights[j]);
#pragma GCC unroll 12
        for (int i = 0; i < kSize; ++i)
#pragma GCC unroll 4
            for (int c = 0; c < kChains; ++c) {
                const double* const at = values + chain[c] + i;
                const Doubles value = Pick(Load(at), offsets[c], Load(at + 8));
                const Floats w = LoadFloats(columns.weights + i * columns.stride + c * kCount) * wy;
                sums[c] = RoundToFloat(AddExactProduct(sums[c], value, Widen(w)));
            }
    }
    StoreChains(sums, results);
    return true;
}
#endif

#if UEYE_SIMD_LEVEL <= 2
// avx2 and sse2 interleave the lanes' bytes (InterleaveLaneBytes).
//
// The walk over byte rows when every lane's window lies within the 16 bytes
// from its start in every row: each row's bytes of a chain's lanes are
// widened and interleaved once, and every tap's values loaded from them. The
// terms and their order are those of GreyKernelSumsVector. False, and
// nothing done, where the 16 bytes leave the rows.
bool GreyRowsInterleaved(const WindowRows<uint8_t>& source, const SampleWindow& window,
                         const int32_t* starts, const Floats (*weights)[kChains],
                         const SampleAxis& ay, Doubles* sums) {
    for (int k = 0; k < kWalk; ++k)
        if (!source.Fits(static_cast<size_t>(starts[k]), 16)) return false;
    int32_t taps[kChains][kCount * 16];
    for (int j = 0; j < window.size; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j);
        const Floats wy = SetFloats(ay.weights[j]);
        const uint8_t* const bytes = source.Row(row);
        for (int c = 0; c < kChains; ++c) {
            const uint8_t* at[kCount];
            for (int l = 0; l < kCount; ++l) at[l] = bytes + starts[c * kCount + l];
            InterleaveLaneBytes(at, window.size, taps[c]);
        }
        for (int i = 0; i < window.size; ++i)
            for (int c = 0; c < kChains; ++c) {
                const Floats w = weights[i][c] * wy;
                sums[c] = RoundToFloat(
                    AddExactProduct(sums[c], Widen(LoadInts(taps[c] + kCount * i)), Widen(w)));
            }
    }
    return true;
}
#endif

// The walk's rows with each lane's values read on their own, kSize taps a
// side, or window.size where kSize is 0: a bicubic walk's four taps unroll
// (3 % faster at sse2, whose bicubic rows walk widened rows so); Lanczos's
// twelve ran slower unrolled.
template <int kSize, typename Source>
void GreyRowsLaneByLane(const Source& source, const SampleWindow& window, const KernelTaps& columns,
                        const SampleAxis& ay, Doubles* sums) {
    const int32_t* const starts = columns.start;
    const int size = kSize > 0 ? kSize : window.size;
    for (int j = 0; j < size; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j);
        const Floats wy = SetFloats(ay.weights[j]);
        for (int i = 0; i < size; ++i) {
            for (int c = 0; c < kChains; ++c) {
                const Doubles values = source.Lanes(
                    row, [&](int l) { return static_cast<size_t>(starts[c * kCount + l]); }, i);
                // The float product of the two weights, then the sum in
                // double precision rounded to float.
                const Floats w = LoadFloats(columns.weights + i * columns.stride + c * kCount) * wy;
                sums[c] = RoundToFloat(AddExactProduct(sums[c], values, Widen(w)));
            }
        }
    }
}

template <typename Source>
void GreyKernelSumsVector(const Source& source, const SampleWindow& window,
                          const KernelTaps& columns, const SampleAxis& ay, uint8_t* results) {
    const int32_t* const starts = columns.start;
    // Column weights side by side for the walks that take them so:
    // weights[i][c] of the chain c's samples. The walk lane by lane loads
    // each where it takes it, which spares a copy.
    Floats weights[12][kChains];
    auto sideBySide = [&] {
        for (int i = 0; i < window.size; ++i)
            for (int c = 0; c < kChains; ++c)
                weights[i][c] = LoadFloats(columns.weights + i * columns.stride + c * kCount);
    };
    Doubles sums[kChains];
    for (Doubles& sum : sums) sum = Set(0.0);
#if UEYE_SIMD_LEVEL >= 3
    // avx512 alone picks lanes from loaded registers.
    // Chains whose samples read within 32 bytes of each row (a widening, or
    // a slight narrowing) pick each tap's values from those bytes in
    // registers; gathers would load the same bytes at several times the
    // cost. The terms and their order are those of the walk below. Each
    // lane's offset from its chain's first is compared unsigned, so that a
    // window before the first lane's is beyond every bound.
    Picks offsets[kChains];
    size_t first[kChains];
    bool picked = true, sliding = true; // within 32 values; every offset at most 8
    for (int c = 0; c < kChains; ++c) {
        first[c] = static_cast<size_t>(starts[c * kCount]);
        const Ints offset = OffsetsFrom(starts + c * kCount, starts[c * kCount]);
        picked = picked && AllAtMost(offset, 32 - window.size) && source.Fits(first[c], 32);
        sliding = sliding && AllAtMost(offset, 8);
        offsets[c] = ToPicks(offset);
    }
    if (picked) {
        sideBySide();
        // Kernel windows have 4 cells a side, or 12 for Lanczos.
        const bool small = window.size == 4;
        if (sliding && small)
            GreyRowsPicked<true, 4>(source, window, first, offsets, weights, ay, sums);
        else if (sliding)
            GreyRowsPicked<true, 12>(source, window, first, offsets, weights, ay, sums);
        else if (small)
            GreyRowsPicked<false, 4>(source, window, first, offsets, weights, ay, sums);
        else
            GreyRowsPicked<false, 12>(source, window, first, offsets, weights, ay, sums);
        StoreChains(sums, results);
        return;
    }
#else
    // avx2 and sse2 interleave each row's bytes of a chain's lanes once.
    if constexpr (std::is_same<Source, WindowRows<uint8_t>>::value) {
        sideBySide();
        if (GreyRowsInterleaved(source, window, starts, weights, ay, sums)) {
            StoreChains(sums, results);
            return;
        }
    }
#endif
    if (window.size == 4)
        GreyRowsLaneByLane<4>(source, window, columns, ay, sums);
    else
        GreyRowsLaneByLane<0>(source, window, columns, ay, sums);
    StoreChains(sums, results);
}
#endif

#if UEYE_SIMD_LEVEL >= 1
// `count` samples in vector walks of kLanes: walk(taps, sums) takes the taps
// of kLanes samples and gives their results. A remainder walks as a whole
// walk over copies of its taps, the lanes past it repeating its last sample:
// each lane's sum is its own, and theirs are dropped. Even one sample takes
// less time so than in the plain walk, one rounding after another.
template <int kLanes, typename Result, typename Walk>
void WalkInLanes(const SampleWindow& window, const KernelTaps& columns, int count, Result* results,
                 Walk walk) {
    int done = 0;
    for (; done + kLanes <= count; done += kLanes) walk(TapsFrom(columns, done), results + done);
    if (done == count) return;
    const int rest = count - done;
    int32_t starts[kLanes];
    float weights[12 * kLanes];
    Result sums[kLanes];
    for (int k = 0; k < kLanes; ++k) {
        const size_t from = static_cast<size_t>(done + Lesser(k, rest - 1));
        starts[k] = columns.start[from];
        for (int i = 0; i < window.size; ++i)
            weights[i * kLanes + k] =
                columns.weights[static_cast<size_t>(i) * columns.stride + from];
    }
    walk(KernelTaps{starts, weights, kLanes}, sums);
    std::memcpy(results + done, sums, sizeof *sums * size_t(rest));
}
#endif

template <typename Source>
void GreyWindows(const Source& source, const SampleWindow& window, const KernelTaps& columns,
                 int count, const SampleAxis& ay, uint8_t* results) {
#if UEYE_SIMD_LEVEL >= 1
    WalkInLanes<kWalk>(window, columns, count, results, [&](const KernelTaps& taps, uint8_t* sums) {
#if UEYE_SIMD_LEVEL >= 3
        // avx512 alone picks lanes from loaded registers.
        if constexpr (std::is_same<Source, WindowRows<double>>::value) {
            // Kernel windows have 4 cells a side, or 12 for Lanczos.
            if (window.size == 4 ? GreyKernelSumsLoaded<4>(source, window, taps, ay, sums)
                                 : GreyKernelSumsLoaded<12>(source, window, taps, ay, sums))
                return;
        }
#endif
        GreyKernelSumsVector(source, window, taps, ay, sums);
    });
#else
    // Without lanes, the plain walk, four samples interleaved.
    int done = 0;
    for (; done + 4 <= count; done += 4)
        GreyKernelSums<4>(source, window, TapsFrom(columns, done), SharedRow{window, ay},
                          results + done);
    for (; done < count; ++done)
        GreyKernelSums<1>(source, window, TapsFrom(columns, done), SharedRow{window, ay},
                          results + done);
#endif
}

void GreyWindowsInside(const uint8_t* const* rows, size_t stride, const SampleWindow& window,
                       const KernelTaps& columns, int count, const SampleAxis& ay,
                       uint8_t* results) {
    GreyWindows(WindowRows<uint8_t>{rows, static_cast<size_t>(ay.cell - window.before), stride},
                window, columns, count, ay, results);
}

void GreyWindowsWidened(const double* const* rows, size_t width, const SampleWindow& window,
                        const KernelTaps& columns, int count, const SampleAxis& ay,
                        uint8_t* results) {
    GreyWindows(WindowRows<double>{rows, static_cast<size_t>(ay.cell - window.before), width},
                window, columns, count, ay, results);
}

#if UEYE_SIMD_LEVEL >= 2
// avx2 and avx512 spread each source row into its taps once: the avx2 walks
// over bytes spend as long bringing a tap's values to its lanes as on their
// arithmetic, the avx512 ones a pick a tap, and a spread row serves every
// target row that reads it. The taps stay 32-bit integers, which the walk
// converts as it loads them: rows of doubles, twice the size, save that
// conversion but cost more than it at two threads. (sse2 and neon gain
// nothing: with two lanes, the conversion costs what the spread saves.)
//
// Eight lanes' taps are spread four at a time (SpreadLaneBytes), the rest
// value by value.
void SpreadTaps(const uint8_t* row, const SampleWindow& window, const KernelTaps& columns,
                int count, size_t planeStride, int32_t* planes) {
    constexpr int kLanes = 8, kTaps = 4;
    const int whole = window.size - window.size % kTaps; // the taps spread four at a time
    auto plane = [&](int i) { return planes + static_cast<size_t>(i) * planeStride; };
    int k = 0;
    for (; k + kLanes <= count; k += kLanes)
        for (int i = 0; i < whole; i += kTaps)
            SpreadLaneBytes(row + i, columns.start + k, plane(i) + k, planeStride);
    // The taps left: past `whole` in the lanes above, all of them after.
    for (int s = whole < window.size ? 0 : k; s < count; ++s)
        for (int i = s < k ? whole : 0; i < window.size; ++i)
            plane(i)[s] = row[columns.start[s] + i];
}

// kWalk samples over spread rows, kChains registers of sums, each tap's
// lanes one load; the column weights of sample k's tap i at weights[i ·
// stride + k]. The terms and their order are those of GreyKernelSumsVector.
void GreySpreadSums(const int32_t* const* rows, size_t planeStride, const SampleWindow& window,
                    const float* weights, size_t stride, const SampleAxis& ay, uint8_t* results) {
    Floats columnWeights[12][kChains];
    for (int i = 0; i < window.size; ++i)
        for (int c = 0; c < kChains; ++c)
            columnWeights[i][c] =
                LoadFloats(weights + static_cast<size_t>(i) * stride + c * kCount);
    Doubles sums[kChains];
    for (Doubles& sum : sums) sum = Set(0.0);
    for (int j = 0; j < window.size; ++j) {
        const Floats wy = SetFloats(ay.weights[j]);
        for (int i = 0; i < window.size; ++i) {
            const int32_t* const values = rows[j] + static_cast<size_t>(i) * planeStride;
            for (int c = 0; c < kChains; ++c) {
                const Floats w = columnWeights[i][c] * wy;
                sums[c] = RoundToFloat(
                    AddExactProduct(sums[c], Widen(LoadInts(values + c * kCount)), Widen(w)));
            }
        }
    }
    StoreChains(sums, results);
}

static_assert(kWalk <= static_cast<int>(kTapSlack), "a walk's lanes past a run lie in the slack");

// The walks of a run, kWalk samples at a time; the lanes past its end take
// zero weights and the values in the planes' slack, and their sums are
// dropped.
void GreyWindowsSpread(const int32_t* const* rows, size_t planeStride, const SampleWindow& window,
                       const KernelTaps& columns, int count, const SampleAxis& ay,
                       uint8_t* results) {
    const int32_t* from[12];
    for (int done = 0; done < count; done += kWalk) {
        for (int j = 0; j < window.size; ++j) from[j] = rows[j] + done;
        if (done + kWalk <= count) {
            GreySpreadSums(from, planeStride, window, columns.weights + done, columns.stride, ay,
                           results + done);
            continue;
        }
        const int rest = count - done;
        float weights[12 * kWalk];
        for (int i = 0; i < window.size; ++i)
            for (int k = 0; k < kWalk; ++k)
                weights[i * kWalk + k] =
                    k < rest ? columns.weights[static_cast<size_t>(i) * columns.stride +
                                               static_cast<size_t>(done + k)]
                             : 0.0f;
        uint8_t sums[kWalk];
        GreySpreadSums(from, planeStride, window, weights, kWalk, ay, sums);
        std::memcpy(results + done, sums, static_cast<size_t>(rest));
    }
}
#endif

#if UEYE_SIMD_LEVEL >= 1
// The grey walk of kWalk samples each with its own window rows, kChains
// registers of sums; each lane's bytes read on their own.
void GreyPointSumsVector(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                         const KernelTaps& columns, const KernelTaps& rows, uint8_t* results) {
    Doubles sums[kChains];
    for (Doubles& sum : sums) sum = Set(0.0);
    for (int j = 0; j < window.size; ++j) {
        const uint8_t* at[kWalk]; // window row j of each sample, from its first column
        for (int k = 0; k < kWalk; ++k)
            at[k] = firstRow + static_cast<size_t>(rows.start[k] + j) * stride +
                    static_cast<size_t>(columns.start[k]);
        for (int i = 0; i < window.size; ++i)
            for (int c = 0; c < kChains; ++c) {
                const Ints values =
                    MakeInts([&](int l) { return static_cast<int>(at[c * kCount + l][i]); });
                const Floats w = LoadFloats(columns.weights + i * columns.stride + c * kCount) *
                                 LoadFloats(rows.weights + j * rows.stride + c * kCount);
                sums[c] = RoundToFloat(AddExactProduct(sums[c], Widen(values), Widen(w)));
            }
    }
    StoreChains(sums, results);
}
#endif

void GreyPointsInside(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                      const KernelTaps& columns, const KernelTaps& rows, int count,
                      uint8_t* results) {
    int done = 0;
#if UEYE_SIMD_LEVEL >= 1
    for (; done + kWalk <= count; done += kWalk)
        GreyPointSumsVector(firstRow, stride, window, TapsFrom(columns, done), TapsFrom(rows, done),
                            results + done);
#endif
    for (; done + 4 <= count; done += 4) {
        const KernelTaps own = TapsFrom(rows, done);
        GreyKernelSums<4>(ByteRows{firstRow, stride}, window, TapsFrom(columns, done), OwnRows{own},
                          results + done);
    }
    for (; done < count; ++done) {
        const KernelTaps own = TapsFrom(rows, done);
        GreyKernelSums<1>(ByteRows{firstRow, stride}, window, TapsFrom(columns, done), OwnRows{own},
                          results + done);
    }
}

// The plain colour walk, N samples interleaved: independent chains, whose
// roundings overlap, each taking a single sample's terms in its order.
template <int N, typename Rows>
void ColourKernelSums(const ColourPlanes& planes, const SampleWindow& window,
                      const KernelTaps& columns, const Rows& rows, RGBQUAD* results) {
    float sums[N][4] = {};
    WalkTaps<N>(window, columns, rows, [&](int k, float w, size_t row, size_t column) {
        const uint8_t* pixel = planes.firstRow + row * planes.stride + 3 * column;
        for (int c = 0; c < 3; ++c) Accumulate(sums[k][c], w, pixel[c]);
        if (planes.alpha != nullptr)
            Accumulate(sums[k][3], w, planes.alpha[row * planes.alphaStride + column]);
    });
    for (int k = 0; k < N; ++k)
        results[k] =
            RGBQUAD{ClampChannel(sums[k][0]), ClampChannel(sums[k][1]), ClampChannel(sums[k][2]),
                    planes.alpha != nullptr ? ClampChannel(sums[k][3]) : uint8_t(0)};
}

#if UEYE_SIMD_LEVEL >= 1
// Samples of the vector colour walk: two registers of each channel's sums.
constexpr int kColourGroups = 2;
constexpr int kColourWalk = kColourGroups * kCount;

#if UEYE_SIMD_LEVEL >= 3
// avx512 alone picks lanes from loaded registers (PickInts, PickOfFour).
//
// The rows of ColourSumsPicked: each group's bytes from first[g], the
// lanes' windows at offsets[g]; kWide when they read more than 32 bytes.
template <bool kWide, int kSize>
void ColourRowsPicked(const ColourPlanes& planes, const SampleWindow& window, const size_t* first,
                      const Ints16* offsets, const Floats (*weights)[kColourGroups],
                      const SampleAxis& ay, Doubles (*sums)[4]) {
    constexpr int chunks = kWide ? 4 : 2;
    // Each pick's lane indices (byte 3 · tap + channel of each lane's
    // window) and, from 64 bytes, the lanes that read the last 32: the same
    // on every row.
    Ints16 at[kColourGroups][3 * kSize];
    SecondPair16 high[kColourGroups][3 * kSize];
    for (int g = 0; g < kColourGroups; ++g)
        for (int p = 0; p < 3 * kSize; ++p) {
            at[g][p] = offsets[g] + p;
            high[g][p] = InSecondPair(at[g][p]);
        }
    for (int j = 0; j < kSize; ++j) {
        const uint8_t* row =
            planes.firstRow + static_cast<size_t>(ay.cell - window.before + j) * planes.stride;
        const Floats wy = SetFloats(ay.weights[j]);
        // Each group's bytes as 32-bit lanes, sixteen a register.
        Ints16 bytes[kColourGroups][4];
        for (int g = 0; g < kColourGroups; ++g)
            for (int q = 0; q < chunks; ++q) bytes[g][q] = LoadBytes16(row + first[g] + 16 * q);
#pragma GCC unroll 12
        for (int i = 0; i < kSize; ++i)
#pragma GCC unroll 2
            for (int g = 0; g < kColourGroups; ++g) {
                const Doubles w = Widen(weights[i][g] * wy);
                for (int c = 0; c < 3; ++c) {
                    const int p = 3 * i + c;
                    const Ints16 value = kWide ? PickOfFour(bytes[g][0], bytes[g][1], bytes[g][2],
                                                            bytes[g][3], at[g][p], high[g][p])
                                               : PickInts(bytes[g][0], at[g][p], bytes[g][1]);
                    sums[g][c] =
                        RoundToFloat(AddExactProduct(sums[g][c], Widen(LowInts(value)), w));
                }
            }
    }
}

// The Lanczos rows of ColourSumsPicked when every lane's window starts within
// 8 pixels of its group's first (lane offsets in pixels): each row's first
// 20 pixels of a group are split once into their channels, as doubles eight
// pixels a register, and tap i of every lane is picked from registers ⌊i/8⌋
// and ⌊i/8⌋ + 1 of its channel, one permutation a tap.
void ColourRowsPlanar(const ColourPlanes& planes, const SampleWindow& window, const size_t* first,
                      const Picks* pixelOffsets, const Floats (*weights)[kColourGroups],
                      const SampleAxis& ay, Doubles (*sums)[4]) {
    constexpr int kSize = 12;
    // Tap i's lane indices: each lane's offset plus i mod 8.
    Picks at[kColourGroups][8];
    for (int g = 0; g < kColourGroups; ++g)
        for (int r = 0; r < 8; ++r) at[g][r] = Plus(pixelOffsets[g], r);
    // Channel c of pixel k is byte 3k + c: pixels 0 to 15 from the row's 64
    // bytes, 16 to 20 from its last 16.
    Ints16 low[3], high[3];
    SecondPair16 upper[3];
    for (int c = 0; c < 3; ++c) {
        low[c] = Ints16{0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45} + c;
        upper[c] = InSecondPair(low[c]);
        high[c] = Ints16{0, 3, 6, 9, 12, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0} + c;
    }
    // Taps 0 to 7 read pixels 0 to 15 of a channel, taps 8 to 11 pixels 8
    // to 19: the registers of pixels 16 to 19 are made after the first eight
    // taps, in those of pixels 0 to 7, so that two registers a chain are live.
    auto taps = [&](const Doubles(*channels)[3][2], int from, int to, Floats wy) {
#pragma GCC unroll 8
        for (int i = from; i < to; ++i)
#pragma GCC unroll 2
            for (int g = 0; g < kColourGroups; ++g) {
                const Doubles w = Widen(weights[i][g] * wy);
                for (int c = 0; c < 3; ++c) {
                    const Doubles value = Pick(channels[g][c][0], at[g][i % 8], channels[g][c][1]);
                    sums[g][c] = RoundToFloat(AddExactProduct(sums[g][c], value, w));
                }
            }
    };
    for (int j = 0; j < kSize; ++j) {
        const uint8_t* row =
            planes.firstRow + static_cast<size_t>(ay.cell - window.before + j) * planes.stride;
        const Floats wy = SetFloats(ay.weights[j]);
        Doubles channels[kColourGroups][3][2];
        Ints16 last[kColourGroups]; // bytes 48 to 63
        for (int g = 0; g < kColourGroups; ++g) {
            Ints16 bytes[4];
            for (int q = 0; q < 4; ++q) bytes[q] = LoadBytes16(row + first[g] + 16 * q);
            last[g] = bytes[3];
            for (int c = 0; c < 3; ++c) {
                const Ints16 pixels =
                    PickOfFour(bytes[0], bytes[1], bytes[2], bytes[3], low[c], upper[c]);
                channels[g][c][0] = Widen(LowInts(pixels));
                channels[g][c][1] = Widen(HighInts(pixels));
            }
        }
        taps(channels, 0, 8, wy);
        for (int g = 0; g < kColourGroups; ++g)
            for (int c = 0; c < 3; ++c) {
                channels[g][c][0] = channels[g][c][1];
                channels[g][c][1] = Widen(LowInts(PickInts(last[g], high[c])));
            }
        taps(channels, 8, kSize, wy);
    }
}

// The colour walk of kColourWalk samples without alpha values whose windows
// each lie within 64 bytes of their group's first one on every row: every
// tap's bytes are picked from those bytes in registers (gathers would load
// the same bytes at several times the cost). The terms and their order are
// those of the walk in ColourKernelSumsVector. False when the windows lie
// too far apart.
bool ColourSumsPicked(const ColourPlanes& planes, const SampleWindow& window,
                      const long long* starts, const Floats (*weights)[kColourGroups],
                      const SampleAxis& ay, Doubles (*sums)[4]) {
    Ints16 offsets[kColourGroups];
    size_t first[kColourGroups];
    int span = 0, reach = 0; // bytes of a row the groups read; the largest lane offset in pixels
    for (int g = 0; g < kColourGroups; ++g) {
        const long long base = starts[g * kCount];
        first[g] = 3 * static_cast<size_t>(base);
        int32_t lanes[kCount];
        for (int l = 0; l < kCount; ++l) {
            const long long offset = 3 * (starts[g * kCount + l] - base);
            if (offset < 0 || offset > 64) return false;
            lanes[l] = static_cast<int32_t>(offset);
            span = Greater(span, lanes[l] + 3 * window.size);
            reach = Greater(reach, lanes[l] / 3);
        }
        offsets[g] = ToInts16(MakeInts([&lanes](int l) { return lanes[l]; }));
    }
    if (span > 64) return false;
    const bool wide = span > 32; // the bytes read: 64, else 32
    for (int g = 0; g < kColourGroups; ++g)
        if (first[g] + (wide ? 64 : 32) > planes.stride) return false;
    if (window.size == 12 && reach <= 8) {
        Picks pixelOffsets[kColourGroups];
        for (int g = 0; g < kColourGroups; ++g)
            pixelOffsets[g] = ToPicks(MakeInts([&](int l) {
                return static_cast<int32_t>(starts[g * kCount + l] - starts[g * kCount]);
            }));
        ColourRowsPlanar(planes, window, first, pixelOffsets, weights, ay, sums);
        return true;
    }
    // Kernel windows have 4 cells a side, or 12 for Lanczos.
    const bool small = window.size == 4;
    if (wide && small)
        ColourRowsPicked<true, 4>(planes, window, first, offsets, weights, ay, sums);
    else if (wide)
        ColourRowsPicked<true, 12>(planes, window, first, offsets, weights, ay, sums);
    else if (small)
        ColourRowsPicked<false, 4>(planes, window, first, offsets, weights, ay, sums);
    else
        ColourRowsPicked<false, 12>(planes, window, first, offsets, weights, ay, sums);
    return true;
}
#endif

#if UEYE_SIMD_LEVEL <= 2
// avx2 and sse2 interleave the lanes' bytes (InterleaveLaneBytes).
//
// The colour walk without alpha when every lane's window row lies within
// the sixteen-byte blocks from its first byte in every row: each row's
// bytes of a group's lanes are interleaved once, and every tap's channels
// loaded from them. The terms and their order are those of
// ColourKernelSumsVector. False, and nothing done, where the blocks leave
// the rows.
bool ColourSumsInterleaved(const ColourPlanes& planes, const SampleWindow& window,
                           const long long* starts, const Floats (*weights)[kColourGroups],
                           const SampleAxis& ay, Doubles (*sums)[4]) {
    const int bytes = 3 * window.size; // of a window row
    const int blocks = (bytes + 15) / 16;
    for (int k = 0; k < kColourWalk; ++k)
        if (starts[k] < 0 ||
            3 * static_cast<unsigned long long>(starts[k]) + 16 * blocks > planes.stride)
            return false;
    int32_t values[kColourGroups][48 * kCount];
    for (int j = 0; j < window.size; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j);
        const uint8_t* pixels = planes.firstRow + row * planes.stride;
        const Floats wy = SetFloats(ay.weights[j]);
        for (int g = 0; g < kColourGroups; ++g)
            for (int b = 0; b < blocks; ++b) {
                const uint8_t* at[kCount];
                for (int l = 0; l < kCount; ++l)
                    at[l] = pixels + 3 * static_cast<size_t>(starts[g * kCount + l]) + 16 * b;
                InterleaveLaneBytes(at, Lesser(16, bytes - 16 * b), values[g] + 16 * kCount * b);
            }
        for (int i = 0; i < window.size; ++i)
            for (int g = 0; g < kColourGroups; ++g) {
                const Doubles w = Widen(weights[i][g] * wy);
                for (int c = 0; c < 3; ++c) {
                    const Doubles value = Widen(LoadInts(values[g] + kCount * (3 * i + c)));
                    sums[g][c] = RoundToFloat(AddExactProduct(sums[g][c], value, w));
                }
            }
    }
    return true;
}
#endif

// The colours of a colour walk's sums, alpha 0 without alpha values.
void StoreColours(const Doubles (*sums)[4], bool withAlpha, RGBQUAD* results) {
    for (int g = 0; g < kColourGroups; ++g)
        StoreInts(
            reinterpret_cast<int32_t*>(results + g * kCount),
            PackQuads(ClampToBytes(sums[g][0]), ClampToBytes(sums[g][1]), ClampToBytes(sums[g][2]),
                      withAlpha ? ClampToBytes(sums[g][3]) : MakeInts([](int) { return 0; })));
}

void ColourKernelSumsVector(const ColourPlanes& planes, const SampleWindow& window,
                            const KernelTaps& columns, const SampleAxis& ay, RGBQUAD* results) {
    const bool withAlpha = planes.alpha != nullptr;
    long long starts[kColourWalk]; // each sample's first window column
    for (int k = 0; k < kColourWalk; ++k) starts[k] = columns.start[k];
    // Column weights side by side: weights[i][g] of group g's samples.
    Floats weights[12][kColourGroups];
    for (int i = 0; i < window.size; ++i)
        for (int g = 0; g < kColourGroups; ++g)
            weights[i][g] = LoadFloats(columns.weights + i * columns.stride + g * kCount);
    Doubles sums[kColourGroups][4];
    for (auto& group : sums)
        for (Doubles& sum : group) sum = Set(0.0);
    bool done = false;
#if UEYE_SIMD_LEVEL >= 3
    // avx512 alone picks lanes from loaded registers.
    done = !withAlpha && ColourSumsPicked(planes, window, starts, weights, ay, sums);
#else
    // avx2 and sse2 interleave the lanes' bytes.
    done = !withAlpha && ColourSumsInterleaved(planes, window, starts, weights, ay, sums);
#endif
    for (int j = 0; j < window.size && !done; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j);
        const uint8_t* pixels = planes.firstRow + row * planes.stride;
        const uint8_t* alphas = withAlpha ? planes.alpha + row * planes.alphaStride : nullptr;
        const Floats wy = SetFloats(ay.weights[j]);
        for (int i = 0; i < window.size; ++i)
            for (int g = 0; g < kColourGroups; ++g) {
                // The float product of the two weights, then each channel's
                // sum in double precision rounded to float.
                const Doubles w = Widen(weights[i][g] * wy);
                const long long* at = starts + g * kCount;
                for (int c = 0; c < 3; ++c) {
                    const Ints values = MakeInts([&](int l) {
                        return static_cast<int>(pixels[3 * static_cast<size_t>(at[l] + i) + c]);
                    });
                    sums[g][c] = RoundToFloat(AddExactProduct(sums[g][c], Widen(values), w));
                }
                if (withAlpha) {
                    const Ints values =
                        MakeInts([&](int l) { return static_cast<int>(alphas[at[l] + i]); });
                    sums[g][3] = RoundToFloat(AddExactProduct(sums[g][3], Widen(values), w));
                }
            }
    }
    StoreColours(sums, withAlpha, results);
}
#endif

void ColourWindowsInside(const ColourPlanes& planes, const SampleWindow& window,
                         const KernelTaps& columns, int count, const SampleAxis& ay,
                         RGBQUAD* results) {
#if UEYE_SIMD_LEVEL >= 1
    WalkInLanes<kColourWalk>(window, columns, count, results,
                             [&](const KernelTaps& taps, RGBQUAD* sums) {
                                 ColourKernelSumsVector(planes, window, taps, ay, sums);
                             });
#else
    // Without lanes, the plain walk, four samples interleaved.
    int done = 0;
    for (; done + 4 <= count; done += 4)
        ColourKernelSums<4>(planes, window, TapsFrom(columns, done), SharedRow{window, ay},
                            results + done);
    for (; done < count; ++done)
        ColourKernelSums<1>(planes, window, TapsFrom(columns, done), SharedRow{window, ay},
                            results + done);
#endif
}

#if UEYE_SIMD_LEVEL >= 1
// The colour walk of kColourWalk samples each with its own window rows; each
// lane's bytes read on their own.
void ColourPointSumsVector(const ColourPlanes& planes, const SampleWindow& window,
                           const KernelTaps& columns, const KernelTaps& rows, RGBQUAD* results) {
    const bool withAlpha = planes.alpha != nullptr;
    Doubles sums[kColourGroups][4];
    for (auto& group : sums)
        for (Doubles& sum : group) sum = Set(0.0);
    for (int j = 0; j < window.size; ++j) {
        size_t row[kColourWalk]; // window row j of each sample
        for (int k = 0; k < kColourWalk; ++k) row[k] = static_cast<size_t>(rows.start[k] + j);
        for (int i = 0; i < window.size; ++i)
            for (int g = 0; g < kColourGroups; ++g) {
                const Doubles w =
                    Widen(LoadFloats(columns.weights + i * columns.stride + g * kCount) *
                          LoadFloats(rows.weights + j * rows.stride + g * kCount));
                auto column = [&](int l) {
                    return static_cast<size_t>(columns.start[g * kCount + l] + i);
                };
                for (int c = 0; c < 3; ++c) {
                    const Ints values = MakeInts([&](int l) {
                        return static_cast<int>(
                            planes
                                .firstRow[row[g * kCount + l] * planes.stride + 3 * column(l) + c]);
                    });
                    sums[g][c] = RoundToFloat(AddExactProduct(sums[g][c], Widen(values), w));
                }
                if (withAlpha) {
                    const Ints values = MakeInts([&](int l) {
                        return static_cast<int>(
                            planes.alpha[row[g * kCount + l] * planes.alphaStride + column(l)]);
                    });
                    sums[g][3] = RoundToFloat(AddExactProduct(sums[g][3], Widen(values), w));
                }
            }
    }
    StoreColours(sums, withAlpha, results);
}
#endif

void ColourPointsInside(const ColourPlanes& planes, const SampleWindow& window,
                        const KernelTaps& columns, const KernelTaps& rows, int count,
                        RGBQUAD* results) {
    int done = 0;
#if UEYE_SIMD_LEVEL >= 1
    for (; done + kColourWalk <= count; done += kColourWalk)
        ColourPointSumsVector(planes, window, TapsFrom(columns, done), TapsFrom(rows, done),
                              results + done);
#endif
    for (; done + 4 <= count; done += 4) {
        const KernelTaps own = TapsFrom(rows, done);
        ColourKernelSums<4>(planes, window, TapsFrom(columns, done), OwnRows{own}, results + done);
    }
    for (; done < count; ++done) {
        const KernelTaps own = TapsFrom(rows, done);
        ColourKernelSums<1>(planes, window, TapsFrom(columns, done), OwnRows{own}, results + done);
    }
}

// This level's table, each entry by name.
constexpr WalkKernels WalkEntries() {
    WalkKernels kernels{};
    kernels.greyWindowsInside = GreyWindowsInside;
    kernels.greyWindowsWidened = GreyWindowsWidened;
#if UEYE_SIMD_LEVEL >= 2
    kernels.spreadTaps = SpreadTaps;
    kernels.greyWindowsSpread = GreyWindowsSpread;
    kernels.smallestSpreadWindow = UEYE_SIMD_LEVEL >= 3 ? 12 : 4;
#endif
    kernels.colourWindowsInside = ColourWindowsInside;
    kernels.greyPointsInside = GreyPointsInside;
    kernels.colourPointsInside = ColourPointsInside;
    return kernels;
}

} // namespace

extern const WalkKernels UEYE_KERNEL_TABLE(kWalkKernels) = WalkEntries();
