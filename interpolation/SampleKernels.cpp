// Kernel unit of the point samplers: grey and colour bilinear rows, Rotate2's
// rotated rows, the kernel walks over windows inside the image (of bytes or
// widened rows, one window row set per row of samples or per sample), and the
// generalized cubic weights.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "image/Truncate.h"
#include "interpolation/SampleKernels.h"
#include "interpolation/SampleWindow.h"

#include <algorithm>
#include <type_traits>

namespace {

#if UEYE_SIMD_LEVEL >= 1
using namespace lanes;

// The weighted sum of the four corners in the order of the plain form,
// a00·w00 + a10·w10 + a01·w01 + a11·d, each product exact (a byte times a
// float): the first two products added in one rounding, as the sum of the
// exact products rounds, so that the sum need not wait for w00, the weight
// computed last. The sums lie within 0..255 up to rounding (a convex mix of
// bytes), where the truncation to 32 bits and then to 8 keeps the low byte
// that the plain form keeps.
Ints BilinearSum(Doubles w00, Floats w10, Floats w01, Floats d, Doubles a00, Doubles a10,
                 Doubles a01, Doubles a11) {
    Doubles sum = AddExactProduct(a10 * Widen(w10), a00, w00);
    sum = AddExactProduct(sum, a01, Widen(w01));
    sum = AddExactProduct(sum, a11, Widen(d));
    return Truncate(sum);
}

// The floating-point bilinear weights of BilinearWeights and the weighted
// sum of the four corners, lane by lane: d = t·u, t − d and u − d in float
// lanes (a single operation on floats rounded once gives the same float
// whether computed in float or in double and then rounded), 1 − t − w01 and
// the sum in double lanes, in the order of the plain form; `complement` is
// 1 − t in double precision.
Ints BilinearMix(Floats t, Doubles complement, Floats u, Doubles a00, Doubles a10, Doubles a01,
                 Doubles a11) {
    const Floats d = t * u;
    const Floats w01 = u - d;
    return BilinearSum(RoundToFloat(complement - Widen(w01)), t - d, w01, d, a00, a10, a01, a11);
}

inline Doubles Complement(Floats t) {
    return Set(1.0) - Widen(t);
}

// The four corners of kCount samples, read byte by byte.
struct Corners {
    Doubles a00, a10, a01, a11;
    Corners(const uint8_t* const* p, size_t stride) {
        auto corner = [p](size_t offset) {
            return Widen(MakeInts([p, offset](int i) { return p[i][offset]; }));
        };
        a00 = corner(0);
        a10 = corner(1);
        a01 = corner(stride);
        a11 = corner(stride + 1);
    }
};
#endif

// The rows of one window of a grey image, as bytes or widened to doubles:
// rows[r − top] holds image row r (or the row a fold gives for it, for a
// window partly outside), of which `width` values may be read. Row numbers
// are taken modulo 2^N, so that a window above the image has them too.
template <typename T> struct WindowRows {
    const T* const* rows;
    size_t top, width;
    double Value(size_t row, size_t column) const { return rows[row - top][column]; }
#if UEYE_SIMD_LEVEL >= 1
    // The values at columns(l) + i of lane l.
    template <typename Columns> lanes::Doubles Lanes(size_t row, Columns columns, int i) const {
        const T* at = rows[row - top] + i;
        if constexpr (std::is_same<T, uint8_t>::value)
            return lanes::Widen(
                lanes::MakeInts([&](int l) { return static_cast<int>(at[columns(l)]); }));
        else
            return lanes::MakeDoubles([&](int l) { return at[columns(l)]; });
    }
#endif
#if UEYE_SIMD_LEVEL >= 3
    // Whether values [column, column + count) lie in every row.
    bool Fits(size_t column, size_t count) const {
        return column + count <= width;
    }
    // The values of a row.
    const T* Row(size_t row) const {
        return rows[row - top];
    }
    // Values column .. column + 15 of a row, eight a register.
    void Sixteen(size_t row, size_t column, lanes::Doubles& low, lanes::Doubles& high) const {
        const T* at = rows[row - top] + column;
        if constexpr (std::is_same<T, uint8_t>::value) {
            const __m512i words =
                _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
            low = _mm512_cvtepi32_pd(_mm512_castsi512_si256(words));
            high = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(words, 1));
        } else {
            low = lanes::Load(at);
            high = lanes::Load(at + 8);
        }
    }
#endif
};

uint8_t PlainBilinear(const uint8_t* p0, size_t stride, float t, float u) {
    const BilinearWeights weights(t, u);
    const uint8_t* p1 = p0 + stride;
    return weights.Mix(p0[0], p0[1], p1[0], p1[1]);
}

// The bilinear samples of greyBilinearRow over two window rows (row 0 the
// upper), as bytes or widened: complement holds each sample's 1 − t, or is
// null to compute it in lanes.
template <typename T>
void GreyBilinearSamples(const WindowRows<T>& rows, const int32_t* xi, const float* t,
                         [[maybe_unused]] const double* complement, float u, long count,
                         uint8_t* out) {
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    const Floats vu = SetFloats(u);
    for (; k + kCount <= count; k += kCount) {
        Doubles a00, a10, a01, a11;
#if UEYE_SIMD_LEVEL >= 3
        // Samples whose corners lie within 16 values of each row (a
        // widening, or a slight narrowing) pick them from two registers of
        // each row; gathers would load the same values at several times the
        // cost.
        const int32_t base = xi[k];
        const __m256i offsets = _mm256_sub_epi32(LoadInts(xi + k), _mm256_set1_epi32(base));
        if (rows.Fits(static_cast<size_t>(base), 16) &&
            _mm256_cmplt_epu32_mask(offsets, _mm256_set1_epi32(15)) == 0xFF) {
            const __m512i left = _mm512_maskz_cvtepi32_epi64(0xFF, offsets);
            const __m512i right = _mm512_add_epi64(left, _mm512_set1_epi64(1));
            Doubles upper0, upper1, lower0, lower1;
            rows.Sixteen(0, static_cast<size_t>(base), upper0, upper1);
            rows.Sixteen(1, static_cast<size_t>(base), lower0, lower1);
            a00 = _mm512_permutex2var_pd(upper0, left, upper1);
            a10 = _mm512_permutex2var_pd(upper0, right, upper1);
            a01 = _mm512_permutex2var_pd(lower0, left, lower1);
            a11 = _mm512_permutex2var_pd(lower0, right, lower1);
        } else
#endif
        {
            auto corner = [&](size_t row, int dx) {
                return rows.Lanes(
                    row, [&](int l) { return static_cast<size_t>(xi[k + l]); }, dx);
            };
            a00 = corner(0, 0);
            a10 = corner(0, 1);
            a01 = corner(1, 0);
            a11 = corner(1, 1);
        }
        const Floats vt = LoadFloats(t + k);
        StoreBytes(out + k,
                   BilinearMix(vt, complement != nullptr ? Load(complement + k) : Complement(vt),
                               vu, a00, a10, a01, a11));
    }
#endif
    for (; k < count; ++k) {
        const size_t x = static_cast<size_t>(xi[k]);
        out[k] = BilinearWeights(t[k], u).Mix(rows.Value(0, x), rows.Value(0, x + 1),
                                              rows.Value(1, x), rows.Value(1, x + 1));
    }
}

void GreyBilinearRow(const uint8_t* row, size_t stride, const int32_t* xi, const float* t, float u,
                     long count, uint8_t* out) {
    const uint8_t* const rows[2] = {row, row + stride};
    GreyBilinearSamples(WindowRows<uint8_t>{rows, 0, stride}, xi, t, nullptr, u, count, out);
}

void WidenBytes(const uint8_t* bytes, size_t count, double* out) {
    size_t i = 0;
#if UEYE_SIMD_LEVEL >= 1
    for (; i + kCount <= count; i += kCount) Store(out + i, LoadBytesAsDoubles(bytes + i));
#endif
    for (; i < count; ++i) out[i] = bytes[i];
}

void GreyBilinearWidened(const double* upper, const double* lower, size_t width,
                         const GreyColumns& columns, long first, long count, float u,
                         uint8_t* out) {
    const double* const rows[2] = {upper, lower};
    const WindowRows<double> window{rows, 0, width};
    const size_t from = static_cast<size_t>(first);
    const int32_t* const cells = columns.cell + from;
    const float* const fractions = columns.fraction + from;
    const double* const complements = columns.complement + from;
    long k = 0;
#if UEYE_SIMD_LEVEL >= 3
    // Picked groups take w00 = (1 − t) − w01 in float lanes, their columns'
    // 1 − t being floats. The plain form subtracts in double precision and
    // rounds to float: one operation on two floats, rounded to double and
    // then to float, which gives the float result. A double holds more than
    // twice a float's precision, so the first rounding cannot move a result
    // across a float midpoint. For the same reason the float 1 − t is the
    // double one.
    const uint8_t* const picks = columns.groups.picks + from;
    const Floats vu = SetFloats(u), unit = SetFloats(1.0f);
    const __m512i one = _mm512_set1_epi64(1);
    k = WalkPickedGroups(
        columns.groups.runs + from, count, out,
        [&](long i) {
            __m512i left, right;
            PickIndices(picks + i, one, left, right);
            Doubles upper0, upper1, lower0, lower1;
            window.Sixteen(0, static_cast<size_t>(cells[i]), upper0, upper1);
            window.Sixteen(1, static_cast<size_t>(cells[i]), lower0, lower1);
            const Floats t = LoadFloats(fractions + i);
            const Floats d = t * vu;
            const Floats w01 = vu - d;
            const Floats w00 = (unit - t) - w01;
            return BilinearSum(Widen(w00), t - d, w01, d,
                               _mm512_permutex2var_pd(upper0, left, upper1),
                               _mm512_permutex2var_pd(upper0, right, upper1),
                               _mm512_permutex2var_pd(lower0, left, lower1),
                               _mm512_permutex2var_pd(lower0, right, lower1));
        },
        [&](long i) {
            GreyBilinearSamples(window, cells + i, fractions + i, complements + i, u, kCount,
                                out + i);
        });
#endif
    GreyBilinearSamples(window, cells + k, fractions + k, complements + k, u, count - k, out + k);
}

// The source point of target column x of a rotated row.
void RotatedPoint(const RotatedRow& r, long x, float& srcX, float& srcY) {
    srcX = static_cast<float>(r.columnCos[x] + r.vsi);
    srcY = static_cast<float>(r.vco - r.columnSin[x]);
    if (r.shift) {
        srcX = static_cast<float>(srcX + r.shiftX);
        srcY = static_cast<float>(srcY + r.shiftY);
    }
}

#if UEYE_SIMD_LEVEL >= 1
// The same for kCount columns from x, each rounded to float and held as a
// double.
void RotatedPoints(const RotatedRow& r, long x, Doubles& srcX, Doubles& srcY) {
    srcX = RoundToFloat(Load(r.columnCos + x) + Set(r.vsi));
    srcY = RoundToFloat(Set(r.vco) - Load(r.columnSin + x));
    if (r.shift) {
        srcX = RoundToFloat(srcX + Set(r.shiftX));
        srcY = RoundToFloat(srcY + Set(r.shiftY));
    }
}
#endif

long RotatedOutside(const RotatedRow& r, long first, long count) {
    // A bilinear window is wholly outside when its base cell is below −1 or
    // at least the size on an axis: exactly when the coordinate is not above
    // −1 and below the size (NaN included).
    const double width = static_cast<double>(r.width), height = static_cast<double>(r.height);
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    const Doubles below = Set(-1.0), endX = Set(width), endY = Set(height);
    for (; k + kCount <= count; k += kCount) {
        Doubles srcX, srcY;
        RotatedPoints(r, first + k, srcX, srcY);
        if (!NoneWithin(srcX, srcY, below, endX, below, endY)) break;
    }
#endif
    for (; k < count; ++k) {
        float srcX, srcY;
        RotatedPoint(r, first + k, srcX, srcY);
        if (srcX > -1 && srcX < width && srcY > -1 && srcY < height) break;
    }
    return k;
}

long GreyRotatedRow(const RotatedRow& r, long first, long count, uint8_t* out) {
    // The sample of column x, or false when its window is not inside. With
    // v ≥ 0 the base cell is the truncation, and it is inside exactly when
    // v < size − 1; a negative v (or NaN) is outside.
    const double lastX = static_cast<double>(r.width - 1);
    const double lastY = static_cast<double>(r.height - 1);
    auto plain = [&](long x, uint8_t& result) {
        float srcX, srcY;
        RotatedPoint(r, x, srcX, srcY);
        if (!(srcX >= 0 && srcX < lastX && srcY >= 0 && srcY < lastY)) return false;
        const long long xi = static_cast<long long>(srcX), yi = static_cast<long long>(srcY);
        result = PlainBilinear(
            r.firstRow + static_cast<size_t>(yi) * r.stride + static_cast<size_t>(xi), r.stride,
            BilinearWeights::Fraction(srcX, xi), BilinearWeights::Fraction(srcY, yi));
        return true;
    };
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    const Doubles zero = Set(0.0), endX = Set(lastX), endY = Set(lastY);
    for (; k + kCount <= count; k += kCount) {
        Doubles srcX, srcY;
        RotatedPoints(r, first + k, srcX, srcY);
        if (!AllWithin(srcX, zero, endX) || !AllWithin(srcY, zero, endY)) break;
        const Ints cellX = Truncate(srcX), cellY = Truncate(srcY);
        int32_t xi[kCount], yi[kCount];
        StoreInts(xi, cellX);
        StoreInts(yi, cellY);
        const uint8_t* p[kCount];
        for (int i = 0; i < kCount; ++i)
            p[i] = r.firstRow + static_cast<size_t>(yi[i]) * r.stride + static_cast<size_t>(xi[i]);
        const Corners c(p, r.stride);
        const Floats t = Narrow(srcX - Widen(cellX));
        StoreBytes(out + k, BilinearMix(t, Complement(t), Narrow(srcY - Widen(cellY)), c.a00, c.a10,
                                        c.a01, c.a11));
    }
#endif
    for (; k < count; ++k)
        if (!plain(first + k, out[k])) break;
    return k;
}

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
// Samples of the vector walk: four registers of sums, so that the roundings
// of one chain overlap those of the others.
constexpr int kChains = 4;
constexpr int kWalk = kChains * kCount;

#if UEYE_SIMD_LEVEL >= 3
// The rows of the in-register grey walk: each chain's row bytes from
// first[c] as doubles, eight a register, its lanes' windows at offsets[c].
// kSliding: every lane's window starts within 8 bytes of its chain's first,
// so tap i finds all its values in registers ⌊i/8⌋ and ⌊i/8⌋ + 1; else the
// windows lie within 32 bytes and each tap picks from the first 16 or the
// last 16. The taps are unrolled so that each row's values stay in
// registers, and the lane indices of each tap are made once for all rows.
template <bool kSliding, int kSize, typename Source>
void GreyRowsPicked(const Source& source, const SampleWindow& window, const size_t* first,
                    const __m512i* offsets, const Floats (*weights)[kChains], const SampleAxis& ay,
                    Doubles* sums) {
    // A sliding tap i takes index i mod 8; a wider one index i, and the last
    // 16 values where that is 16 or more.
    constexpr int kIndices = kSliding ? (kSize < 8 ? kSize : 8) : kSize;
    constexpr int kRegisters = kSliding ? (kSize - 1) / 8 + 2 : 4;
    __m512i index[kIndices][kChains];
    __mmask8 upper[kSliding ? 1 : kIndices][kChains];
    for (int i = 0; i < kIndices; ++i)
        for (int c = 0; c < kChains; ++c) {
            index[i][c] = _mm512_add_epi64(offsets[c], _mm512_set1_epi64(i));
            if constexpr (!kSliding)
                upper[i][c] = _mm512_cmpge_epi64_mask(index[i][c], _mm512_set1_epi64(16));
        }
    for (int j = 0; j < kSize; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j);
        const Floats wy = SetFloats(ay.weights[j]);
        Doubles bytes[kChains][kRegisters + kRegisters % 2];
        for (int c = 0; c < kChains; ++c)
            for (int r = 0; r < kRegisters; r += 2)
                source.Sixteen(row, first[c] + 8 * static_cast<size_t>(r), bytes[c][r],
                               bytes[c][r + 1]);
#pragma GCC unroll 12
        for (int i = 0; i < kSize; ++i)
#pragma GCC unroll 4
            for (int c = 0; c < kChains; ++c) {
                Doubles value;
                if constexpr (kSliding) {
                    value = _mm512_permutex2var_pd(bytes[c][i / 8], index[i % 8][c],
                                                   bytes[c][i / 8 + 1]);
                } else {
                    value = _mm512_mask_blend_pd(
                        upper[i][c], _mm512_permutex2var_pd(bytes[c][0], index[i][c], bytes[c][1]),
                        _mm512_permutex2var_pd(bytes[c][2], index[i][c], bytes[c][3]));
                }
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
    __m512i offsets[kChains];
    for (int c = 0; c < kChains; ++c) {
        const int32_t first = starts[c * kCount];
        const __m256i offset =
            _mm256_sub_epi32(LoadInts(starts + c * kCount), _mm256_set1_epi32(first));
        if (_mm256_cmple_epu32_mask(offset, _mm256_set1_epi32(15)) != 0xFF) return false;
        offsets[c] = _mm512_maskz_cvtepu32_epi64(0xFF, offset);
        low = std::min(low, first);
        high = std::max(high, first);
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
                const Doubles value = _mm512_permutex2var_pd(Load(at), offsets[c], Load(at + 8));
                const Floats w = LoadFloats(columns.weights + i * columns.stride + c * kCount) * wy;
                sums[c] = RoundToFloat(AddExactProduct(sums[c], value, Widen(w)));
            }
    }
    for (int c = 0; c < kChains; ++c) StoreBytes(results + c * kCount, ClampToBytes(sums[c]));
    return true;
}
#endif

template <typename Source>
void GreyKernelSumsVector(const Source& source, const SampleWindow& window,
                          const KernelTaps& columns, const SampleAxis& ay, uint8_t* results) {
    const int32_t* const starts = columns.start;
    // Column weights side by side: weights[i][c] of the chain c's samples.
    Floats weights[12][kChains];
    for (int i = 0; i < window.size; ++i)
        for (int c = 0; c < kChains; ++c)
            weights[i][c] = LoadFloats(columns.weights + i * columns.stride + c * kCount);
    Doubles sums[kChains];
    for (Doubles& sum : sums) sum = Set(0.0);
#if UEYE_SIMD_LEVEL >= 3
    // Chains whose samples read within 32 bytes of each row (a widening, or
    // a slight narrowing) pick each tap's values from those bytes in
    // registers; gathers would load the same bytes at several times the
    // cost. The terms and their order are those of the walk below. Each
    // lane's offset from its chain's first is compared unsigned, so that a
    // window before the first lane's is beyond every bound.
    __m512i offsets[kChains];
    size_t first[kChains];
    bool picked = true, sliding = true; // within 32 values; every offset at most 8
    const __m256i lastStart = _mm256_set1_epi32(32 - window.size), eight = _mm256_set1_epi32(8);
    for (int c = 0; c < kChains; ++c) {
        first[c] = static_cast<size_t>(starts[c * kCount]);
        const __m256i offset =
            _mm256_sub_epi32(LoadInts(starts + c * kCount), _mm256_set1_epi32(starts[c * kCount]));
        picked = picked && _mm256_cmple_epu32_mask(offset, lastStart) == 0xFF &&
                 source.Fits(first[c], 32);
        sliding = sliding && _mm256_cmple_epu32_mask(offset, eight) == 0xFF;
        offsets[c] = _mm512_maskz_cvtepu32_epi64(0xFF, offset);
    }
    if (picked) {
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
        for (int c = 0; c < kChains; ++c) StoreBytes(results + c * kCount, ClampToBytes(sums[c]));
        return;
    }
#endif
    for (int j = 0; j < window.size; ++j) {
        const size_t row = static_cast<size_t>(ay.cell - window.before + j);
        const Floats wy = SetFloats(ay.weights[j]);
        for (int i = 0; i < window.size; ++i) {
            for (int c = 0; c < kChains; ++c) {
                const Doubles values = source.Lanes(
                    row, [&](int l) { return static_cast<size_t>(starts[c * kCount + l]); }, i);
                // The float product of the two weights, then the sum in
                // double precision rounded to float.
                const Floats w = weights[i][c] * wy;
                sums[c] = RoundToFloat(AddExactProduct(sums[c], values, Widen(w)));
            }
        }
    }
    for (int c = 0; c < kChains; ++c) StoreBytes(results + c * kCount, ClampToBytes(sums[c]));
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
    for (; done + kLanes <= count; done += kLanes) walk(columns.From(done), results + done);
    if (done == count) return;
    const int rest = count - done;
    int32_t starts[kLanes];
    float weights[12 * kLanes];
    Result sums[kLanes];
    for (int k = 0; k < kLanes; ++k) {
        const size_t from = static_cast<size_t>(done + std::min(k, rest - 1));
        starts[k] = columns.start[from];
        for (int i = 0; i < window.size; ++i)
            weights[i * kLanes + k] =
                columns.weights[static_cast<size_t>(i) * columns.stride + from];
    }
    walk(KernelTaps{starts, weights, kLanes}, sums);
    std::copy(sums, sums + rest, results + done);
}
#endif

template <typename Source>
void GreyWindows(const Source& source, const SampleWindow& window, const KernelTaps& columns,
                 int count, const SampleAxis& ay, uint8_t* results) {
#if UEYE_SIMD_LEVEL >= 1
    WalkInLanes<kWalk>(window, columns, count, results, [&](const KernelTaps& taps, uint8_t* sums) {
#if UEYE_SIMD_LEVEL >= 3
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
    int done = 0;
    for (; done + 4 <= count; done += 4)
        GreyKernelSums<4>(source, window, columns.From(done), SharedRow{window, ay},
                          results + done);
    for (; done < count; ++done)
        GreyKernelSums<1>(source, window, columns.From(done), SharedRow{window, ay},
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
    for (int c = 0; c < kChains; ++c) StoreBytes(results + c * kCount, ClampToBytes(sums[c]));
}
#endif

void GreyPointsInside(const uint8_t* firstRow, size_t stride, const SampleWindow& window,
                      const KernelTaps& columns, const KernelTaps& rows, int count,
                      uint8_t* results) {
    int done = 0;
#if UEYE_SIMD_LEVEL >= 1
    for (; done + kWalk <= count; done += kWalk)
        GreyPointSumsVector(firstRow, stride, window, columns.From(done), rows.From(done),
                            results + done);
#endif
    for (; done + 4 <= count; done += 4) {
        const KernelTaps own = rows.From(done);
        GreyKernelSums<4>(ByteRows{firstRow, stride}, window, columns.From(done), OwnRows{own},
                          results + done);
    }
    for (; done < count; ++done) {
        const KernelTaps own = rows.From(done);
        GreyKernelSums<1>(ByteRows{firstRow, stride}, window, columns.From(done), OwnRows{own},
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
// The rows of ColourSumsPicked: each group's bytes from first[g], the
// lanes' windows at offsets[g]; kWide when they read more than 32 bytes.
template <bool kWide, int kSize>
void ColourRowsPicked(const ColourPlanes& planes, const SampleWindow& window, const size_t* first,
                      const __m512i* offsets, const Floats (*weights)[kColourGroups],
                      const SampleAxis& ay, Doubles (*sums)[4]) {
    constexpr int chunks = kWide ? 4 : 2;
    // Each pick's lane indices (byte 3 · tap + channel of each lane's
    // window) and, from 64 bytes, the lanes that read the last 32: the same
    // on every row.
    __m512i at[kColourGroups][3 * kSize];
    __mmask16 high[kColourGroups][3 * kSize];
    for (int g = 0; g < kColourGroups; ++g)
        for (int p = 0; p < 3 * kSize; ++p) {
            at[g][p] = _mm512_add_epi32(offsets[g], _mm512_set1_epi32(p));
            high[g][p] = _mm512_cmpge_epi32_mask(at[g][p], _mm512_set1_epi32(32));
        }
    for (int j = 0; j < kSize; ++j) {
        const uint8_t* row =
            planes.firstRow + static_cast<size_t>(ay.cell - window.before + j) * planes.stride;
        const Floats wy = SetFloats(ay.weights[j]);
        // Each group's bytes as 32-bit lanes, sixteen a register.
        __m512i bytes[kColourGroups][4];
        for (int g = 0; g < kColourGroups; ++g)
            for (int q = 0; q < chunks; ++q)
                bytes[g][q] = _mm512_cvtepu8_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + first[g] + 16 * q)));
#pragma GCC unroll 12
        for (int i = 0; i < kSize; ++i)
#pragma GCC unroll 2
            for (int g = 0; g < kColourGroups; ++g) {
                const Doubles w = Widen(weights[i][g] * wy);
                for (int c = 0; c < 3; ++c) {
                    const int p = 3 * i + c;
                    __m512i value = _mm512_permutex2var_epi32(bytes[g][0], at[g][p], bytes[g][1]);
                    if (kWide)
                        value = _mm512_mask_blend_epi32(
                            high[g][p], value,
                            _mm512_permutex2var_epi32(bytes[g][2], at[g][p], bytes[g][3]));
                    sums[g][c] = RoundToFloat(
                        AddExactProduct(sums[g][c], Widen(_mm512_castsi512_si256(value)), w));
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
                      const __m512i* pixelOffsets, const Floats (*weights)[kColourGroups],
                      const SampleAxis& ay, Doubles (*sums)[4]) {
    constexpr int kSize = 12;
    // Tap i's lane indices: each lane's offset plus i mod 8.
    __m512i at[kColourGroups][8];
    for (int g = 0; g < kColourGroups; ++g)
        for (int r = 0; r < 8; ++r)
            at[g][r] = _mm512_add_epi64(pixelOffsets[g], _mm512_set1_epi64(r));
    // Channel c of pixel k is byte 3k + c: pixels 0 to 15 from the row's 64
    // bytes, 16 to 20 from its last 16.
    __m512i low[3], high[3];
    __mmask16 upper[3];
    for (int c = 0; c < 3; ++c) {
        low[c] = _mm512_add_epi32(
            _mm512_setr_epi32(0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45),
            _mm512_set1_epi32(c));
        upper[c] = _mm512_cmpge_epi32_mask(low[c], _mm512_set1_epi32(32));
        high[c] =
            _mm512_add_epi32(_mm512_setr_epi32(0, 3, 6, 9, 12, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                             _mm512_set1_epi32(c));
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
                    const Doubles value =
                        _mm512_permutex2var_pd(channels[g][c][0], at[g][i % 8], channels[g][c][1]);
                    sums[g][c] = RoundToFloat(AddExactProduct(sums[g][c], value, w));
                }
            }
    };
    for (int j = 0; j < kSize; ++j) {
        const uint8_t* row =
            planes.firstRow + static_cast<size_t>(ay.cell - window.before + j) * planes.stride;
        const Floats wy = SetFloats(ay.weights[j]);
        Doubles channels[kColourGroups][3][2];
        __m512i last[kColourGroups]; // bytes 48 to 63
        for (int g = 0; g < kColourGroups; ++g) {
            __m512i bytes[4];
            for (int q = 0; q < 4; ++q)
                bytes[q] = _mm512_cvtepu8_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + first[g] + 16 * q)));
            last[g] = bytes[3];
            for (int c = 0; c < 3; ++c) {
                const __m512i pixels = _mm512_mask_blend_epi32(
                    upper[c], _mm512_permutex2var_epi32(bytes[0], low[c], bytes[1]),
                    _mm512_permutex2var_epi32(bytes[2], low[c], bytes[3]));
                channels[g][c][0] = Widen(_mm512_castsi512_si256(pixels));
                channels[g][c][1] = Widen(_mm512_extracti64x4_epi64(pixels, 1));
            }
        }
        taps(channels, 0, 8, wy);
        for (int g = 0; g < kColourGroups; ++g)
            for (int c = 0; c < 3; ++c) {
                channels[g][c][0] = channels[g][c][1];
                channels[g][c][1] =
                    Widen(_mm512_castsi512_si256(_mm512_permutexvar_epi32(high[c], last[g])));
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
    __m512i offsets[kColourGroups];
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
            span = std::max(span, lanes[l] + 3 * window.size);
            reach = std::max(reach, lanes[l] / 3);
        }
        offsets[g] = _mm512_zextsi256_si512(MakeInts([&lanes](int l) { return lanes[l]; }));
    }
    if (span > 64) return false;
    const bool wide = span > 32; // the bytes read: 64, else 32
    for (int g = 0; g < kColourGroups; ++g)
        if (first[g] + (wide ? 64 : 32) > planes.stride) return false;
    if (window.size == 12 && reach <= 8) {
        __m512i pixelOffsets[kColourGroups];
        for (int g = 0; g < kColourGroups; ++g)
            pixelOffsets[g] = _mm512_cvtepi32_epi64(MakeInts([&](int l) {
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
    done = !withAlpha && ColourSumsPicked(planes, window, starts, weights, ay, sums);
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
    int done = 0;
    for (; done + 4 <= count; done += 4)
        ColourKernelSums<4>(planes, window, columns.From(done), SharedRow{window, ay},
                            results + done);
    for (; done < count; ++done)
        ColourKernelSums<1>(planes, window, columns.From(done), SharedRow{window, ay},
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
        ColourPointSumsVector(planes, window, columns.From(done), rows.From(done), results + done);
#endif
    for (; done + 4 <= count; done += 4) {
        const KernelTaps own = rows.From(done);
        ColourKernelSums<4>(planes, window, columns.From(done), OwnRows{own}, results + done);
    }
    for (; done < count; ++done) {
        const KernelTaps own = rows.From(done);
        ColourKernelSums<1>(planes, window, columns.From(done), OwnRows{own}, results + done);
    }
}

// Blue, green and red of one sample; the weights are those of BilinearSource.
#if UEYE_SIMD_LEVEL >= 1
// The two rows' bytes interleaved and each vertical pair weighted at once.
// The sums are exact integers (weights 0..256, at most 65280), so the order
// of their terms does not matter. Six bytes of a row (blue, green, red of
// two pixels) as 16-bit lanes, read as 4 + 2 bytes straight into the
// register.
uint32_t ColourSample(const uint8_t* p0, const uint8_t* p1, long w00, long w10, long w01,
                      long w11) {
    const __m128i zero = _mm_setzero_si128();
    auto row = [zero](const uint8_t* p) {
        uint32_t head = 0;
        uint16_t tail = 0;
        __builtin_memcpy(&head, p, 4);
        __builtin_memcpy(&tail, p + 4, 2);
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
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}
#endif

// The colour sample at base cell (xi, yi) with fractions fx, fy in 1/256
// steps, the weights those of BilinearSource; alpha from the plane when there
// is one, else 0.
RGBQUAD ColourAt(const uint8_t* firstRow, size_t stride, const uint8_t* alpha, size_t alphaStride,
                 int32_t xi, int32_t yi, int32_t fx, int32_t fy) {
    const long d = (static_cast<long>(fx) * fy) >> 8;
    const long w00 = 256 - fx - fy + d, w10 = fx - d, w01 = fy - d, w11 = d;
    auto mix = [&](uint8_t a00, uint8_t a10, uint8_t a01, uint8_t a11) {
        return static_cast<uint8_t>((a00 * w00 + a10 * w10 + a01 * w01 + a11 * w11) >> 8);
    };
    const uint8_t* p0 = firstRow + static_cast<size_t>(yi) * stride + 3 * static_cast<size_t>(xi);
    const uint8_t* p1 = p0 + stride;
#if UEYE_SIMD_LEVEL >= 1
    const uint32_t bytes = ColourSample(p0, p1, w00, w10, w01, w11);
    RGBQUAD result{static_cast<uint8_t>(bytes), static_cast<uint8_t>(bytes >> 8),
                   static_cast<uint8_t>(bytes >> 16), 0};
#else
    RGBQUAD result{mix(p0[0], p0[3], p1[0], p1[3]), mix(p0[1], p0[4], p1[1], p1[4]),
                   mix(p0[2], p0[5], p1[2], p1[5]), 0};
#endif
    if (alpha != nullptr) {
        const uint8_t* a0 = alpha + static_cast<size_t>(xi) + static_cast<size_t>(yi) * alphaStride;
        const uint8_t* a1 = a0 + alphaStride;
        result.rgbReserved = mix(a0[0], a0[1], a1[0], a1[1]);
    }
    return result;
}

void ColourBilinearSamples(const BilinearSource& source, const int32_t* xi, const int32_t* yi,
                           const int32_t* fx, const int32_t* fy, long count, RGBQUAD* out) {
    for (long k = 0; k < count; ++k)
        out[k] = ColourAt(source.firstRow, source.stride, source.alpha,
                          static_cast<size_t>(source.width), xi[k], yi[k], fx[k], fy[k]);
}

void ColourBilinearRow(const BilinearSource& source, int32_t cellY, int32_t fy,
                       const ColourColumns& columns, long first, long count, uint8_t* pixels,
                       uint8_t* alpha) {
    long k = 0;
#if UEYE_SIMD_LEVEL >= 3
    if (source.alpha == nullptr && alpha == nullptr) {
        // Sixteen bytes a step, each blended on its own in 32-bit lanes
        // with its pixel's weights: exact integer sums, as the plain form's.
        const uint8_t* row0 = source.firstRow + static_cast<size_t>(cellY) * source.stride;
        const uint8_t* row1 = row0 + source.stride;
        const __m512i vfy = _mm512_set1_epi32(fy), full = _mm512_set1_epi32(256);
        const long bytes = 3 * count;
        const int32_t* index = columns.byteIndex + 3 * first;
        const int32_t* fraction = columns.byteFraction + 3 * first;
        long j = 0;
        for (; j + 16 <= bytes; j += 16) {
            // The blue byte of the step's first pixel: the lowest byte read
            // when the columns go in order.
            const int32_t start = index[j] - static_cast<int32_t>(j % 3);
            const __m512i offsets =
                _mm512_sub_epi32(_mm512_loadu_si512(index + j), _mm512_set1_epi32(start));
            if (static_cast<size_t>(start) + 32 > source.stride ||
                _mm512_cmplt_epu32_mask(offsets, _mm512_set1_epi32(29)) != 0xFFFF)
                break;
            auto load = [start](const uint8_t* r, __m512i& low, __m512i& high) {
                low = _mm512_cvtepu8_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + start)));
                high = _mm512_cvtepu8_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + start + 16)));
            };
            __m512i low0, high0, low1, high1;
            load(row0, low0, high0);
            load(row1, low1, high1);
            const __m512i right = _mm512_add_epi32(offsets, _mm512_set1_epi32(3));
            const __m512i a00 = _mm512_permutex2var_epi32(low0, offsets, high0);
            const __m512i a10 = _mm512_permutex2var_epi32(low0, right, high0);
            const __m512i a01 = _mm512_permutex2var_epi32(low1, offsets, high1);
            const __m512i a11 = _mm512_permutex2var_epi32(low1, right, high1);
            const __m512i fx = _mm512_loadu_si512(fraction + j);
            const __m512i d = _mm512_srai_epi32(_mm512_mullo_epi32(fx, vfy), 8);
            const __m512i w00 =
                _mm512_add_epi32(_mm512_sub_epi32(_mm512_sub_epi32(full, fx), vfy), d);
            const __m512i w10 = _mm512_sub_epi32(fx, d), w01 = _mm512_sub_epi32(vfy, d);
            __m512i sum = _mm512_mullo_epi32(a00, w00);
            sum = _mm512_add_epi32(sum, _mm512_mullo_epi32(a10, w10));
            sum = _mm512_add_epi32(sum, _mm512_mullo_epi32(a01, w01));
            sum = _mm512_add_epi32(sum, _mm512_mullo_epi32(a11, d));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + j),
                             _mm512_cvtepi32_epi8(_mm512_srli_epi32(sum, 8)));
        }
        // From the pixel of the first byte not done, one pixel at a time.
        k = j / 3;
    }
#endif
    const size_t alphaStride = static_cast<size_t>(source.width);
    for (; k < count; ++k) {
        const RGBQUAD c = ColourAt(source.firstRow, source.stride, source.alpha, alphaStride,
                                   columns.cell[first + k], cellY, columns.fraction[first + k], fy);
        pixels[3 * k] = c.rgbBlue;
        pixels[3 * k + 1] = c.rgbGreen;
        pixels[3 * k + 2] = c.rgbRed;
        if (alpha != nullptr) alpha[k] = c.rgbReserved;
    }
}

long ColourRotatedRow(const RotatedRow& r, long first, long count, uint8_t* pixels,
                      uint8_t* alpha) {
    const double lastX = static_cast<double>(r.width - 1);
    const double lastY = static_cast<double>(r.height - 1);
    const size_t alphaStride = static_cast<size_t>(r.width);
    auto store = [&](long k, int32_t xi, int32_t yi, int32_t fx, int32_t fy) {
        const RGBQUAD c = ColourAt(r.firstRow, r.stride, r.alpha, alphaStride, xi, yi, fx, fy);
        pixels[3 * k] = c.rgbBlue;
        pixels[3 * k + 1] = c.rgbGreen;
        pixels[3 * k + 2] = c.rgbRed;
        if (alpha != nullptr) alpha[k] = c.rgbReserved;
    };
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    // Source points, cells and 1/256 fractions a register at a time.
    const Doubles zero = Set(0.0), endX = Set(lastX), endY = Set(lastY), steps = Set(256.0);
    for (; k + kCount <= count; k += kCount) {
        Doubles srcX, srcY;
        RotatedPoints(r, first + k, srcX, srcY);
        if (!AllWithin(srcX, zero, endX) || !AllWithin(srcY, zero, endY)) break;
        const Ints cellX = Truncate(srcX), cellY = Truncate(srcY);
        int32_t xi[kCount], yi[kCount], fx[kCount], fy[kCount];
        StoreInts(xi, cellX);
        StoreInts(yi, cellY);
        StoreInts(fx, Truncate((srcX - Widen(cellX)) * steps));
        StoreInts(fy, Truncate((srcY - Widen(cellY)) * steps));
        for (int i = 0; i < kCount; ++i) store(k + i, xi[i], yi[i], fx[i], fy[i]);
    }
#endif
    for (; k < count; ++k) {
        float srcX, srcY;
        RotatedPoint(r, first + k, srcX, srcY);
        if (!(srcX >= 0 && srcX < lastX && srcY >= 0 && srcY < lastY)) break;
        const long long xi = static_cast<long long>(srcX), yi = static_cast<long long>(srcY);
        store(k, static_cast<int32_t>(xi), static_cast<int32_t>(yi),
              static_cast<int32_t>((static_cast<double>(srcX) - xi) * 256),
              static_cast<int32_t>((static_cast<double>(srcY) - yi) * 256));
    }
    return k;
}

void CubicWeights(const float* v, const int32_t* first, int count, float a, float* weights,
                  size_t stride) {
    int k = 0;
#if UEYE_SIMD_LEVEL >= 1
    // Both pieces of the kernel for every lane, each lane then taking its
    // own: the same double operations in the same order, rounded to float
    // where the plain form rounds.
    const double ad = static_cast<double>(a);
    const Doubles one = Set(1.0), two = Set(2.0), zero = Set(0.0);
    const Doubles innerCube = Set(ad + 2.0), innerSquare = Set(ad + 3.0);
    const Doubles outerCube = Set(ad), outerSquare = Set(5.0 * ad), outerLinear = Set(8.0 * ad),
                  outerConstant = Set(4.0 * ad);
    for (; k + kCount <= count; k += kCount) {
        const Doubles position = Widen(LoadFloats(v + k));
        const Doubles cell = Widen(LoadInts(first + k));
        for (int i = 0; i < 4; ++i) {
            const Doubles t = Abs(RoundToFloat((cell + Set(static_cast<double>(i))) - position));
            const Doubles t2 = RoundToFloat(t * t);
            const Doubles inner = innerCube * t * t2 - innerSquare * t2 + one;
            const Doubles outer =
                outerCube * t * t2 - outerSquare * t2 + outerLinear * t - outerConstant;
            StoreFloats(weights + static_cast<size_t>(i) * stride + k,
                        Narrow(IfBelow(t, one, inner, IfBelow(t, two, outer, zero))));
        }
    }
#endif
    for (; k < count; ++k)
        for (int i = 0; i < 4; ++i)
            weights[static_cast<size_t>(i) * stride + k] = CxImage::KernelGeneralizedCubic(
                static_cast<float>((static_cast<double>(first[k]) + i) - static_cast<double>(v[k])),
                a);
}

} // namespace

extern const SampleKernels UEYE_KERNEL_TABLE(kSampleKernels) = {
    GreyBilinearRow,       WidenBytes,          GreyBilinearWidened, RotatedOutside,
    GreyRotatedRow,        ColourRotatedRow,    ColourBilinearRow,   GreyWindowsInside,
    GreyWindowsWidened,    ColourWindowsInside, GreyPointsInside,    ColourPointsInside,
    ColourBilinearSamples, CubicWeights};
