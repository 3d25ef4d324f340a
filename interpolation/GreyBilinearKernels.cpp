// Kernel unit of the grey bilinear samples: rows of bilinear samples of an
// image on the grey ramp, over its bytes or over two rows widened to doubles
// (the picked groups at avx512), and the widening of a row.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "interpolation/GreyBilinearKernels.h"
#include "interpolation/SampleKernelHelpers.h"
#include "interpolation/SampleWindow.h"

namespace {

#if UEYE_SIMD_LEVEL >= 1
using namespace lanes;

// The corners of kCount samples from column xi[0] on.
struct CornerLanes {
    Doubles a00, a10, a01, a11;
};

#if UEYE_SIMD_LEVEL == 2
// Row r's two corners of kCount samples from column xi[0] on, picked by byte
// shuffles from the 16 bytes at the first sample's cell; false where they do
// not lie there.
bool PickRowCorners(const WindowRows<uint8_t>& rows, size_t r, const int32_t* xi, Doubles& left,
                    Doubles& right) {
    const int32_t base = xi[0];
    const Ints offsets = OffsetsFrom(xi, base);
    if (!rows.Fits(static_cast<size_t>(base), 16) || !AllBelow(offsets, 15)) return false;
    const BytePicks picks = ToBytePicks(offsets);
    const ByteBlock block = LoadByteBlock(rows.Row(r) + base);
    left = PickByte(block, picks);
    right = PickByte(block, Plus(picks, 1));
    return true;
}
#endif

// The corners picked in registers where this level can, from the values
// within a register's reach of the first sample's cell in each row; false
// where they do not lie there (a narrowing, or the row's end): gathers or
// lane-by-lane loads would read the same values at several times the cost.
template <typename T>
bool PickCorners([[maybe_unused]] const WindowRows<T>& rows, [[maybe_unused]] const int32_t* xi,
                 [[maybe_unused]] CornerLanes& c) {
#if UEYE_SIMD_LEVEL >= 3
    // avx512 picks doubles from two registers (Pick).
    const int32_t base = xi[0];
    const Ints offsets = OffsetsFrom(xi, base);
    if (!rows.Fits(static_cast<size_t>(base), 16) || !AllBelow(offsets, 15)) return false;
    const Picks left = ToPicks(offsets), right = Plus(left, 1);
    Doubles upper0, upper1, lower0, lower1;
    rows.LoadSixteen(0, static_cast<size_t>(base), upper0, upper1);
    rows.LoadSixteen(1, static_cast<size_t>(base), lower0, lower1);
    c = {Pick(upper0, left, upper1), Pick(upper0, right, upper1), Pick(lower0, left, lower1),
         Pick(lower0, right, lower1)};
    return true;
#elif UEYE_SIMD_LEVEL == 2
    // avx2 picks bytes by byte shuffles within 128-bit halves (PickByte).
    if constexpr (std::is_same<T, uint8_t>::value)
        return PickRowCorners(rows, 0, xi, c.a00, c.a10) &&
               PickRowCorners(rows, 1, xi, c.a01, c.a11);
    return false;
#else
    return false;
#endif
}
#endif

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
        CornerLanes c;
        if (!PickCorners(rows, xi + k, c)) {
            auto corner = [&](size_t row, int dx) {
                return rows.Lanes(
                    row, [&](int l) { return static_cast<size_t>(xi[k + l]); }, dx);
            };
            c = {corner(0, 0), corner(0, 1), corner(1, 0), corner(1, 1)};
        }
        const Floats vt = LoadFloats(t + k);
        StoreBytes(out + k,
                   BilinearMix(vt, complement != nullptr ? Load(complement + k) : Complement(vt),
                               vu, c.a00, c.a10, c.a01, c.a11));
    }
#endif
    for (; k < count; ++k) {
        const size_t x = static_cast<size_t>(xi[k]);
        out[k] = BilinearWeights(t[k], u).Mix(rows.Value(0, x), rows.Value(0, x + 1),
                                              rows.Value(1, x), rows.Value(1, x + 1));
    }
}

void GreyBilinearRow(const uint8_t* row, size_t stride, const int32_t* xi, const float* t,
                     const double* complement, float u, long count, uint8_t* out) {
    const uint8_t* const rows[2] = {row, row + stride};
    GreyBilinearSamples(WindowRows<uint8_t>{rows, 0, stride}, xi, t, complement, u, count, out);
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
    // avx512 alone picks lanes from two registers (Pick).
    // Picked groups take w00 = (1 − t) − w01 in float lanes, their columns'
    // 1 − t being floats. The plain form subtracts in double precision and
    // rounds to float: one operation on two floats, rounded to double and
    // then to float, which gives the float result. A double holds more than
    // twice a float's precision, so the first rounding cannot move a result
    // across a float midpoint. For the same reason the float 1 − t is the
    // double one.
    const uint8_t* const picks = columns.groups.picks + from;
    const Floats vu = SetFloats(u), unit = SetFloats(1.0f);
    const Picks one = SetPicks(1);
    k = WalkPickedGroups(
        columns.groups.runs + from, count, out,
        [&](long i) {
            Picks left, right;
            PickIndices(picks + i, one, left, right);
            Doubles upper0, upper1, lower0, lower1;
            window.LoadSixteen(0, static_cast<size_t>(cells[i]), upper0, upper1);
            window.LoadSixteen(1, static_cast<size_t>(cells[i]), lower0, lower1);
            const Floats t = LoadFloats(fractions + i);
            const Floats d = t * vu;
            const Floats w01 = vu - d;
            const Floats w00 = (unit - t) - w01;
            return BilinearSum(Widen(w00), t - d, w01, d, Pick(upper0, left, upper1),
                               Pick(upper0, right, upper1), Pick(lower0, left, lower1),
                               Pick(lower0, right, lower1));
        },
        [&](long i) {
            GreyBilinearSamples(window, cells + i, fractions + i, complements + i, u, kCount,
                                out + i);
        });
#endif
    GreyBilinearSamples(window, cells + k, fractions + k, complements + k, u, count - k, out + k);
}

// avx2 alone spreads the corners: at sse2 the spread took longer than the
// widened rows' picks it saves (35.6 ms against 32.8 ms for Resample2's grey
// bilinear rows).
#if UEYE_SIMD_LEVEL == 2
// The columns before the first whose lanes lie on a register's boundary in
// `plane` (at most count): the planes' lanes load and store whole there.
long ColumnsToBoundary(const double* plane, long count) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(plane);
    const long columns = static_cast<long>((sizeof(Doubles) - at % sizeof(Doubles)) %
                                           sizeof(Doubles) / sizeof(double));
    return Lesser(columns, count);
}

void SpreadCorners(const uint8_t* row, size_t width, const int32_t* cell, long count,
                   size_t planeStride, double* planes) {
    double* const right = planes + planeStride;
    auto spread = [&](long k) {
        const size_t x = static_cast<size_t>(cell[k]);
        planes[k] = row[x];
        right[k] = row[x + 1];
    };
    long k = 0;
    for (const long aligned = ColumnsToBoundary(planes, count); k < aligned; ++k) spread(k);
    const uint8_t* const rows[1] = {row};
    const WindowRows<uint8_t> window{rows, 0, width};
    for (; k + kCount <= count; k += kCount) {
        Doubles a0, a1;
        if (!PickRowCorners(window, 0, cell + k, a0, a1)) {
            auto column = [&](int l) { return static_cast<size_t>(cell[k + l]); };
            a0 = window.Lanes(0, column, 0);
            a1 = window.Lanes(0, column, 1);
        }
        Store(planes + k, a0);
        Store(right + k, a1);
    }
    for (; k < count; ++k) spread(k);
}

void GreyBilinearSpread(const double* const* rows, size_t planeStride, const GreyColumns& columns,
                        long first, long count, float u, uint8_t* out) {
    const size_t from = static_cast<size_t>(first);
    const double* const a00 = rows[0] + from;
    const double* const a01 = rows[1] + from;
    const double* const a10 = a00 + planeStride;
    const double* const a11 = a01 + planeStride;
    const float* const t = columns.fraction + from;
    const double* const complement = columns.complement + from;
    const char* const complementIsFloat = columns.complementIsFloat + from;
    auto sample = [&](long k) {
        out[k] = BilinearWeights(t[k], u).Mix(a00[k], a10[k], a01[k], a11[k]);
    };
    long k = 0;
    for (const long aligned = ColumnsToBoundary(a00, count); k < aligned; ++k) sample(k);
    const Floats vu = SetFloats(u), unit = SetFloats(1.0f);
    static_assert(kCount == 4, "four lanes, four flags");
    for (; k + kCount <= count; k += kCount) {
        const Floats vt = LoadFloats(t + k);
        const Floats d = vt * vu;
        const Floats w01 = vu - d;
        // As in the picked groups: with 1 − t a float, the float subtraction
        // gives the plain form's doubly rounded result. The four lanes' flags
        // (each 0 or 1) are read at once.
        uint32_t flags;
        __builtin_memcpy(&flags, complementIsFloat + k, sizeof flags);
        const Doubles w00 = flags == 0x01010101u ? Widen((unit - vt) - w01)
                                                 : RoundToFloat(Load(complement + k) - Widen(w01));
        StoreBytes(out + k, BilinearSum(w00, vt - d, w01, d, Load(a00 + k), Load(a10 + k),
                                        Load(a01 + k), Load(a11 + k)));
    }
    for (; k < count; ++k) sample(k);
}
#endif

// This level's table, each entry by name.
constexpr GreyBilinearKernels GreyBilinearEntries() {
    GreyBilinearKernels kernels{};
    kernels.greyBilinearRow = GreyBilinearRow;
    kernels.widenBytes = WidenBytes;
    kernels.greyBilinearWidened = GreyBilinearWidened;
#if UEYE_SIMD_LEVEL >= 3
    kernels.pickGroups = PickGroups;
#endif
#if UEYE_SIMD_LEVEL == 2
    kernels.spreadCorners = SpreadCorners;
    kernels.greyBilinearSpread = GreyBilinearSpread;
#endif
    kernels.readsWidened = UEYE_SIMD_LEVEL != 2;
    return kernels;
}

} // namespace

extern const GreyBilinearKernels UEYE_KERNEL_TABLE(kGreyBilinearKernels) = GreyBilinearEntries();
