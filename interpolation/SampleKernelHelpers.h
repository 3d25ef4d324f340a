#pragma once

// What several sample kernel units share, built into each unit's copy at its
// level: the bilinear weights and sums of grey samples in lanes, the rows of
// a grey window (bytes or widened), and the bilinear sample of one 24-bit
// pixel. For kernel units only, after image/KernelUnit.h: everything here
// stays in an anonymous namespace, and what a unit leaves unused is marked so.

#if !defined(UEYE_SIMD_LEVEL)
#error "for the kernel units, after image/KernelUnit.h"
#endif

#include "image/KernelLanes.h"
#include "image/Truncate.h"
#include "interpolation/SampleWindow.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>
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
[[maybe_unused]] Ints BilinearSum(Doubles w00, Floats w10, Floats w01, Floats d, Doubles a00,
                                  Doubles a10, Doubles a01, Doubles a11) {
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
[[maybe_unused]] Ints BilinearMix(Floats t, Doubles complement, Floats u, Doubles a00, Doubles a10,
                                  Doubles a01, Doubles a11) {
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
#if UEYE_SIMD_LEVEL >= 1
    // Whether values [column, column + count) lie in every row.
    bool Fits(size_t column, size_t count) const {
        return column + count <= width;
    }
    // The values of a row.
    const T* Row(size_t row) const {
        return rows[row - top];
    }
#endif
#if UEYE_SIMD_LEVEL >= 3
    // Values column .. column + 15 of a row as doubles, eight a register.
    void LoadSixteen(size_t row, size_t column, lanes::Doubles& low, lanes::Doubles& high) const {
        const T* at = rows[row - top] + column;
        if constexpr (std::is_same<T, uint8_t>::value) {
            lanes::LoadSixteenBytesAsDoubles(at, low, high);
        } else {
            low = lanes::Load(at);
            high = lanes::Load(at + 8);
        }
    }
#endif
};

// The colour sample at base cell (xi, yi) with fractions fx, fy in 1/256
// steps, the weights those of BilinearSource; alpha from the plane when there
// is one, else 0. Kept out of line: inlined into the per-pixel store of
// colourRotatedRow, it pushes the store itself out of line, and the avx512
// rotated row runs slower.
[[maybe_unused]] __attribute__((noinline)) RGBQUAD ColourAt(const uint8_t* firstRow, size_t stride,
                                                            const uint8_t* alpha,
                                                            size_t alphaStride, int32_t xi,
                                                            int32_t yi, int32_t fx, int32_t fy) {
    const long d = (static_cast<long>(fx) * fy) >> 8;
    const long w00 = 256 - fx - fy + d, w10 = fx - d, w01 = fy - d, w11 = d;
    auto mix = [&](uint8_t a00, uint8_t a10, uint8_t a01, uint8_t a11) {
        return static_cast<uint8_t>((a00 * w00 + a10 * w10 + a01 * w01 + a11 * w11) >> 8);
    };
    const uint8_t* p0 = firstRow + static_cast<size_t>(yi) * stride + 3 * static_cast<size_t>(xi);
    const uint8_t* p1 = p0 + stride;
#if UEYE_SIMD_LEVEL >= 1
    const uint32_t bytes = lanes::BlendColourPixel(p0, p1, w00, w10, w01, w11);
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

} // namespace
