#pragma once

// The lanes of the neon level (AArch64), which takes the sse2 level's place
// in the level tables: the same lane types of the same widths (two doubles,
// two floats, two 32-bit integers; 128-bit blocks and 16-bit words), so that
// the kernel units' level-1 code serves both. Each operation gives the bits
// of its sse2 form, out-of-range and NaN lanes included: the maximum and
// minimum return their second operand where x86 does, truncation gives
// INT32_MIN for what int32 cannot hold, packing saturates as x86 packs.
// Included by KernelLanes.h alone.

#include <arm_neon.h>

#include <cstdint>

namespace {
namespace lanes {

constexpr int kCount = 2;
typedef float64x2_t Doubles;
typedef float32x2_t Floats;
typedef int32x2_t Ints;
inline Doubles Set(double v) {
    return vdupq_n_f64(v);
}
inline Doubles Iota() {
    return Doubles{0.0, 1.0};
}
inline Doubles Load(const double* p) {
    return vld1q_f64(p);
}
inline void Store(double* p, Doubles v) {
    vst1q_f64(p, v);
}
inline Floats LoadFloats(const float* p) {
    return vld1_f32(p);
}
inline Floats SetFloats(float v) {
    return vdup_n_f32(v);
}
inline Ints LoadInts(const int32_t* p) {
    return vld1_s32(p);
}
template <typename Value> Ints MakeInts(Value value) {
    return Ints{static_cast<int32_t>(value(0)), static_cast<int32_t>(value(1))};
}
template <typename Value> Floats MakeFloats(Value value) {
    return Floats{static_cast<float>(value(0)), static_cast<float>(value(1))};
}
// Byte i of each lane's pointer for i below count (at most 16) as 32-bit
// values side by side: out[2i + l] = at[l][i], so that LoadInts(out + 2i)
// gives the lanes of byte i; sixteen bytes are read at each pointer, zipped
// and widened, four values a store.
inline void InterleaveLaneBytes(const uint8_t* const (&at)[kCount], int count, int32_t* out) {
    const uint8x16x2_t zipped = vzipq_u8(vld1q_u8(at[0]), vld1q_u8(at[1]));
    auto store = [out](int from, uint8x8_t pairs) {
        const uint16x8_t words = vmovl_u8(pairs);
        vst1q_s32(out + 2 * from, vreinterpretq_s32_u32(vmovl_u16(vget_low_u16(words))));
        vst1q_s32(out + 2 * from + 4, vreinterpretq_s32_u32(vmovl_u16(vget_high_u16(words))));
    };
    for (int half = 0; half < 2 && 8 * half < count; ++half) {
        store(8 * half, vget_low_u8(zipped.val[half]));
        if (8 * half + 4 < count) store(8 * half + 4, vget_high_u8(zipped.val[half]));
    }
}
// Lane l's values at p + index[l] and at p + index[l] + kStep (1 or 3), in
// `first` and `second`: each read by a 128-bit load with its neighbour, the
// lanes then zipped.
template <int kStep>
inline void LoadStepPairs(const double* p, const int32_t* index, Doubles& first, Doubles& second) {
    static_assert(kStep == 1 || kStep == 3, "pairs a step of 1 or 3 apart");
    const double* const a = p + index[0];
    const double* const b = p + index[1];
    first = vzip1q_f64(vld1q_f64(a), vld1q_f64(b));
    second = vzip2q_f64(vld1q_f64(a + kStep - 1), vld1q_f64(b + kStep - 1));
}
inline Doubles Widen(Floats v) {
    return vcvt_f64_f32(v);
}
inline Doubles Widen(Ints v) {
    return vcvtq_f64_s64(vmovl_s32(v));
}
inline Floats Narrow(Doubles v) {
    return vcvt_f32_f64(v);
}
inline Ints LoadBytes(const uint8_t* p) {
    return Ints{p[0], p[1]};
}
// Toward zero; NaN and lanes beyond int32 give INT32_MIN, as on x86 (the
// ARM conversion saturates, and gives 0 for NaN).
inline Ints Truncate(Doubles v) {
    const int64x2_t t = vcvtq_s64_f64(v);
    const uint64x2_t fits =
        vandq_u64(vceqq_f64(v, v), vandq_u64(vcgeq_s64(t, vdupq_n_s64(INT32_MIN)),
                                             vcleq_s64(t, vdupq_n_s64(INT32_MAX))));
    return vmovn_s64(vbslq_s64(fits, t, vdupq_n_s64(INT32_MIN)));
}
// Every lane of a mask set.
inline bool All(uint64x2_t mask) {
    return (vgetq_lane_u64(mask, 0) & vgetq_lane_u64(mask, 1)) != 0;
}
inline bool AllWithin(Doubles v, Doubles low, Doubles high) {
    return All(vandq_u64(vcgeq_f64(v, low), vcltq_f64(v, high)));
}
inline void StoreInts(int32_t* p, Ints v) {
    vst1_s32(p, v);
}
inline bool NoneWithin(Doubles x, Doubles y, Doubles lowX, Doubles highX, Doubles lowY,
                       Doubles highY) {
    const uint64x2_t inX = vandq_u64(vcgtq_f64(x, lowX), vcltq_f64(x, highX));
    const uint64x2_t inY = vandq_u64(vcgtq_f64(y, lowY), vcltq_f64(y, highY));
    const uint64x2_t in = vandq_u64(inX, inY);
    return (vgetq_lane_u64(in, 0) | vgetq_lane_u64(in, 1)) == 0;
}
// Signed 32 to 16 bits, then 16 to unsigned 8 bits, each saturating: the
// two packs of x86.
inline uint8x8_t PackToBytes(int32x4_t v) {
    const int16x4_t words = vqmovn_s32(v);
    return vqmovun_s16(vcombine_s16(words, words));
}
inline void StoreBytes(uint8_t* p, Ints v) {
    const uint8x8_t bytes = PackToBytes(vcombine_s32(v, v));
    p[0] = vget_lane_u8(bytes, 0);
    p[1] = vget_lane_u8(bytes, 1);
}
// The packs of StoreBytes, four registers' lanes at once, a's first.
inline void StoreBytesOfFour(uint8_t* p, Ints a, Ints b, Ints c, Ints d) {
    const int16x8_t words =
        vcombine_s16(vqmovn_s32(vcombine_s32(a, b)), vqmovn_s32(vcombine_s32(c, d)));
    vst1_u8(p, vqmovun_s16(words));
}
template <typename Value> Doubles MakeDoubles(Value value) {
    return Doubles{static_cast<double>(value(0)), static_cast<double>(value(1))};
}
// x86's maximum and minimum: a > b ? a : b and a < b ? a : b, lane by lane,
// so a NaN lane gives the second operand.
inline Doubles Clamp(Doubles v, Doubles low, Doubles high) {
    const Doubles raised = vbslq_f64(vcgtq_f64(v, low), v, low);
    return vbslq_f64(vcltq_f64(raised, high), raised, high);
}
inline void StoreFloats(float* p, Floats v) {
    vst1_f32(p, v);
}
inline Doubles Abs(Doubles v) {
    return vabsq_f64(v);
}
inline Doubles IfBelow(Doubles v, Doubles limit, Doubles then, Doubles otherwise) {
    return vbslq_f64(vcltq_f64(v, limit), then, otherwise);
}
typedef uint16_t Words8 __attribute__((vector_size(16)));
inline Words8 LoadWords8(const int32_t* p) {
    return reinterpret_cast<Words8>(
        vcombine_s16(vqmovn_s32(vld1q_s32(p)), vqmovn_s32(vld1q_s32(p + 4))));
}
inline Words8 LoadPairWords(const uint8_t* p) {
    return reinterpret_cast<Words8>(vmovl_u8(vld1_u8(p)));
}
inline void SpreadWeights(Words8 left, Words8 right, Words8 spread[8]) {
    for (int i = 0; i < 8; ++i) {
        const uint16_t l = left[i], r = right[i];
        spread[i] = Words8{l, l, l, r, r, r, l, l};
    }
}
inline void StorePixelSums(uint8_t* p, Words8 sums) {
    const uint16x8_t s = reinterpret_cast<uint16x8_t>(sums);
    const uint16x8_t channels = vshrq_n_u16(vaddq_u16(s, vextq_u16(s, vdupq_n_u16(0), 3)), 8);
    const uint8x8_t bytes = vqmovun_s16(vreinterpretq_s16_u16(channels));
    const uint32_t four = vget_lane_u32(vreinterpret_u32_u8(bytes), 0);
    __builtin_memcpy(p, &four, 4);
}

typedef uint8x16_t Block16;
inline Block16 LoadBlock16(const uint8_t* p) {
    return vld1q_u8(p);
}
inline void StoreBlock16(uint8_t* p, Block16 v) {
    vst1q_u8(p, v);
}
template <int Bits> inline Block16 InterleaveLow(Block16 a, Block16 b) {
    static_assert(Bits == 8 || Bits == 16 || Bits == 32 || Bits == 64, "an element width");
    if constexpr (Bits == 8)
        return vzip1q_u8(a, b);
    else if constexpr (Bits == 16)
        return vreinterpretq_u8_u16(vzip1q_u16(vreinterpretq_u16_u8(a), vreinterpretq_u16_u8(b)));
    else if constexpr (Bits == 32)
        return vreinterpretq_u8_u32(vzip1q_u32(vreinterpretq_u32_u8(a), vreinterpretq_u32_u8(b)));
    else
        return vreinterpretq_u8_u64(vzip1q_u64(vreinterpretq_u64_u8(a), vreinterpretq_u64_u8(b)));
}
template <int Bits> inline Block16 InterleaveHigh(Block16 a, Block16 b) {
    static_assert(Bits == 8 || Bits == 16 || Bits == 32 || Bits == 64, "an element width");
    if constexpr (Bits == 8)
        return vzip2q_u8(a, b);
    else if constexpr (Bits == 16)
        return vreinterpretq_u8_u16(vzip2q_u16(vreinterpretq_u16_u8(a), vreinterpretq_u16_u8(b)));
    else if constexpr (Bits == 32)
        return vreinterpretq_u8_u32(vzip2q_u32(vreinterpretq_u32_u8(a), vreinterpretq_u32_u8(b)));
    else
        return vreinterpretq_u8_u64(vzip2q_u64(vreinterpretq_u64_u8(a), vreinterpretq_u64_u8(b)));
}

// Four pixels a step, each read as its three bytes; the reach is that of
// the sse2 form, which reads a 32-bit word per pixel.
constexpr long kPixelStep = 4, kPixelReach = 5;
typedef int32x4_t PixelSums;
// blue·b + green·g + red·r of each pixel, in 32-bit integers: exact, as the
// 16-bit multiply-adds of x86 are for weights below 2^15.
inline PixelSums WeighPixels(const uint8_t* p, int blue, int green, int red) {
    const int32x4_t b{p[0], p[3], p[6], p[9]}, g{p[1], p[4], p[7], p[10]},
        r{p[2], p[5], p[8], p[11]};
    const int32_t wb = static_cast<int16_t>(blue), wg = static_cast<int16_t>(green),
                  wr = static_cast<int16_t>(red);
    return vaddq_s32(vaddq_s32(vmulq_n_s32(b, wb), vmulq_n_s32(g, wg)), vmulq_n_s32(r, wr));
}
inline PixelSums ShiftDown(PixelSums v, int bits) {
    return vreinterpretq_s32_u32(vshlq_u32(vreinterpretq_u32_s32(v), vdupq_n_s32(-bits)));
}
inline void StorePixelBytes(uint8_t* p, PixelSums v) {
    const uint32_t four = vget_lane_u32(vreinterpret_u32_u8(PackToBytes(v)), 0);
    __builtin_memcpy(p, &four, 4);
}

inline Ints PackQuads(Ints b0, Ints b1, Ints b2, Ints b3) {
    return vorr_s32(vorr_s32(b0, vshl_n_s32(b1, 8)),
                    vorr_s32(vshl_n_s32(b2, 16), vshl_n_s32(b3, 24)));
}

// The sse2 form's sums: per channel of the left column and the right one,
// the two rows weighted (weights as 16-bit integers), >> 8, packed to
// bytes with saturation; the fourth byte of no meaning computed as there.
inline uint32_t BlendColourPixel(const uint8_t* p0, const uint8_t* p1, long w00, long w10, long w01,
                                 long w11) {
    const int32_t a = static_cast<int16_t>(w00), b = static_cast<int16_t>(w10),
                  c = static_cast<int16_t>(w01), d = static_cast<int16_t>(w11);
    const int32x4_t upperLeft{p0[0], p0[1], p0[2], p0[3]}, lowerLeft{p1[0], p1[1], p1[2], p1[3]};
    const int32x4_t upperRight{p0[3], p0[4], p0[5], 0}, lowerRight{p1[3], p1[4], p1[5], 0};
    // Lane 3: the x86 form's fourth sum, the right column's blue alone.
    const int32x4_t leftWeight{a, a, a, b}, leftWeightBelow{c, c, c, d};
    const int32x4_t rightWeight{b, b, b, 0}, rightWeightBelow{d, d, d, 0};
    const int32x4_t sums = vaddq_s32(
        vaddq_s32(vmulq_s32(upperLeft, leftWeight), vmulq_s32(lowerLeft, leftWeightBelow)),
        vaddq_s32(vmulq_s32(upperRight, rightWeight), vmulq_s32(lowerRight, rightWeightBelow)));
    const int32x4_t shifted = vreinterpretq_s32_u32(vshrq_n_u32(vreinterpretq_u32_s32(sums), 8));
    return vget_lane_u32(vreinterpret_u32_u8(PackToBytes(shifted)), 0);
}

// s + a·w for products that are exact (see KernelLanes.h): the fused form
// rounds once, as the sum of the exact product does.
inline Doubles AddExactProduct(Doubles s, Doubles a, Doubles w) {
    return vfmaq_f64(s, a, w);
}
inline Doubles LoadBytesAsDoubles(const uint8_t* p) {
    return Widen(LoadBytes(p));
}
inline Doubles RoundToFloat(Doubles v) {
    return Widen(Narrow(v));
}
inline Ints ClampToBytes(Doubles v) {
    return Truncate(Clamp(v, Set(0.0), Set(255.0)));
}

} // namespace lanes
} // namespace
