#pragma once

// A thin lane wrapper over the intrinsics of the level a kernel unit is
// compiled for: one register of doubles (2, 4 or 8 lanes) and the floats,
// 32-bit integers and bytes of the same count. Kernels are written once on
// these and each level's copy gets its own registers. Only kernel units
// include this file; every function has internal linkage (see KernelUnit.h).
//
// The operations are IEEE operations lane by lane, each rounded on its own
// (-ffp-contract=off keeps products and sums apart), so a lane computes what
// the plain scalar form computes.

#if !defined(UEYE_SIMD_LEVEL)
#error "only kernel units use the lanes"
#endif

#if UEYE_SIMD_LEVEL >= 1 && defined(UEYE_SIMD_NEON)
// AArch64's neon level: the lane types of sse2, in NEON registers.
#include "image/KernelLanesNeon.h"
#elif UEYE_SIMD_LEVEL >= 1

#include <immintrin.h>

#include <cstdint>

namespace {
namespace lanes {

#if UEYE_SIMD_LEVEL >= 3
// The conversions take their zero-masked forms with every lane set: the
// plain ones trip GCC 12's uninitialised-value warnings inside its own
// header.
constexpr int kCount = 8;
typedef __m512d Doubles;
typedef __m256 Floats;
typedef __m256i Ints;
inline Doubles Set(double v) {
    return _mm512_set1_pd(v);
}
// 0, 1, ... in the lanes.
inline Doubles Iota() {
    return _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7);
}
inline Doubles Load(const double* p) {
    return _mm512_loadu_pd(p);
}
inline void Store(double* p, Doubles v) {
    _mm512_storeu_pd(p, v);
}
inline Floats LoadFloats(const float* p) {
    return _mm256_loadu_ps(p);
}
inline Floats SetFloats(float v) {
    return _mm256_set1_ps(v);
}
inline Ints LoadInts(const int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
// Lanes from value(0), value(1), ... built in registers: a vector load of
// values just stored one by one would wait for the stores.
template <typename Value> Ints MakeInts(Value value) {
    return _mm256_setr_epi32(value(0), value(1), value(2), value(3), value(4), value(5), value(6),
                             value(7));
}
template <typename Value> Floats MakeFloats(Value value) {
    return _mm256_setr_ps(value(0), value(1), value(2), value(3), value(4), value(5), value(6),
                          value(7));
}
inline Doubles Widen(Floats v) {
    return _mm512_maskz_cvtps_pd(0xFF, v);
}
inline Doubles Widen(Ints v) {
    return _mm512_maskz_cvtepi32_pd(0xFF, v);
}
inline Floats Narrow(Doubles v) {
    return _mm512_maskz_cvtpd_ps(0xFF, v);
}
inline Ints LoadBytes(const uint8_t* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
inline Ints Truncate(Doubles v) {
    return _mm512_maskz_cvttpd_epi32(0xFF, v);
}
// Every lane at least `low` and below `high` (NaN is neither).
inline bool AllWithin(Doubles v, Doubles low, Doubles high) {
    return (_mm512_cmp_pd_mask(v, low, _CMP_GE_OQ) & _mm512_cmp_pd_mask(v, high, _CMP_LT_OQ)) ==
           0xFF;
}
inline void StoreInts(int32_t* p, Ints v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
// No lane above `low` and below `high` on both axes (NaN is neither).
inline bool NoneWithin(Doubles x, Doubles y, Doubles lowX, Doubles highX, Doubles lowY,
                       Doubles highY) {
    return (_mm512_cmp_pd_mask(x, lowX, _CMP_GT_OQ) & _mm512_cmp_pd_mask(x, highX, _CMP_LT_OQ) &
            _mm512_cmp_pd_mask(y, lowY, _CMP_GT_OQ) & _mm512_cmp_pd_mask(y, highY, _CMP_LT_OQ)) ==
           0;
}
// Low bytes of lanes holding 0..255.
inline void StoreBytes(uint8_t* p, Ints v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm256_maskz_cvtepi32_epi8(0xFF, v));
}
// Low bytes of four registers of lanes holding 0..255, a's first.
inline void StoreBytesOfFour(uint8_t* p, Ints a, Ints b, Ints c, Ints d) {
    StoreBytes(p, a);
    StoreBytes(p + 8, b);
    StoreBytes(p + 16, c);
    StoreBytes(p + 24, d);
}
template <typename Value> Doubles MakeDoubles(Value value) {
    return _mm512_setr_pd(value(0), value(1), value(2), value(3), value(4), value(5), value(6),
                          value(7));
}
// Each lane within low .. high; NaN gives low.
inline Doubles Clamp(Doubles v, Doubles low, Doubles high) {
    return _mm512_maskz_min_pd(0xFF, _mm512_maskz_max_pd(0xFF, v, low), high);
}
inline void StoreFloats(float* p, Floats v) {
    _mm256_storeu_ps(p, v);
}
inline Doubles Abs(Doubles v) {
    return _mm512_andnot_pd(_mm512_set1_pd(-0.0), v);
}
// Each lane of `then` where v < limit, else of `otherwise` (NaN included).
inline Doubles IfBelow(Doubles v, Doubles limit, Doubles then, Doubles otherwise) {
    return _mm512_mask_blend_pd(_mm512_cmp_pd_mask(v, limit, _CMP_LT_OQ), otherwise, then);
}
// Lanes p[l] - base.
inline Ints OffsetsFrom(const int32_t* p, int32_t base) {
    return _mm256_sub_epi32(LoadInts(p), _mm256_set1_epi32(base));
}
// Every lane below `bound`, compared unsigned: a negative lane is above
// every bound.
inline bool AllBelow(Ints v, int32_t bound) {
    return _mm256_cmplt_epu32_mask(v, _mm256_set1_epi32(bound)) == 0xFF;
}
// Sixteen bytes as doubles, the first eight in `low`.
inline void LoadSixteenBytesAsDoubles(const uint8_t* p, Doubles& low, Doubles& high) {
    const __m512i words =
        _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    low = _mm512_cvtepi32_pd(_mm512_castsi512_si256(words));
    high = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(words, 1));
}
// Every lane at most `bound`, compared unsigned.
inline bool AllAtMost(Ints v, int32_t bound) {
    return _mm256_cmple_epu32_mask(v, _mm256_set1_epi32(bound)) == 0xFF;
}
// Lane indices into the sixteen doubles of two registers, for Pick.
typedef __m512i Picks;
inline Picks SetPicks(int64_t v) {
    return _mm512_set1_epi64(v);
}
// Offsets 0 or more (below 2^31) as pick indices.
inline Picks ToPicks(Ints offsets) {
    return _mm512_maskz_cvtepu32_epi64(0xFF, offsets);
}
// Each lane's index plus n.
inline Picks Plus(Picks index, int64_t n) {
    return _mm512_add_epi64(index, _mm512_set1_epi64(n));
}
// Each lane the value at its index (0 to 15) among the eight lanes of low
// and then the eight of high: values loaded once are picked in registers,
// where gathers would load the same values at several times the cost.
inline Doubles Pick(Doubles low, Picks index, Doubles high) {
    return _mm512_permutex2var_pd(low, index, high);
}
// Each lane times `factor`, the low 32 bits of the product.
inline Ints Scale(Ints v, int32_t factor) {
    return _mm256_mullo_epi32(v, _mm256_set1_epi32(factor));
}
// Sixteen 32-bit integer lanes, two registers of Ints in one, with the
// compiler's vector operators (+, -, *, >>) lane by lane. Unsigned, so that
// sums wrap as the integer instructions do and the compiler may order them
// as it orders the instructions' own; >> shifts zeros in.
typedef uint32_t Ints16 __attribute__((vector_size(64)));
inline Ints16 LoadInts16(const int32_t* p) {
    return reinterpret_cast<Ints16>(_mm512_loadu_si512(p));
}
// Sixteen bytes, each widened to a 32-bit lane.
inline Ints16 LoadBytes16(const uint8_t* p) {
    return reinterpret_cast<Ints16>(
        _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
}
// The low byte of each lane, sixteen bytes.
inline void StoreLowBytes16(uint8_t* p, Ints16 v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm512_cvtepi32_epi8(reinterpret_cast<__m512i>(v)));
}
// Every lane below `bound`, compared unsigned.
inline bool AllBelow(Ints16 v, int32_t bound) {
    return _mm512_cmplt_epu32_mask(reinterpret_cast<__m512i>(v), _mm512_set1_epi32(bound)) ==
           0xFFFF;
}
// Each lane the value at its index (0 to 31) among the sixteen lanes of low
// and then the sixteen of high.
inline Ints16 PickInts(Ints16 low, Ints16 index, Ints16 high) {
    return reinterpret_cast<Ints16>(_mm512_permutex2var_epi32(reinterpret_cast<__m512i>(low),
                                                              reinterpret_cast<__m512i>(index),
                                                              reinterpret_cast<__m512i>(high)));
}
// The same for the eight lanes of an index of Ints.
inline Ints PickInts(Ints16 low, Ints index, Ints16 high) {
    return _mm512_castsi512_si256(_mm512_permutex2var_epi32(reinterpret_cast<__m512i>(low),
                                                            _mm512_zextsi256_si512(index),
                                                            reinterpret_cast<__m512i>(high)));
}
// Each lane the value at its index (0 to 15) among the lanes of `values`.
inline Ints16 PickInts(Ints16 values, Ints16 index) {
    return reinterpret_cast<Ints16>(_mm512_permutexvar_epi32(reinterpret_cast<__m512i>(index),
                                                             reinterpret_cast<__m512i>(values)));
}
// The lanes of v, then eight lanes of 0.
inline Ints16 ToInts16(Ints v) {
    return reinterpret_cast<Ints16>(_mm512_zextsi256_si512(v));
}
// The first and the last eight lanes.
inline Ints LowInts(Ints16 v) {
    return _mm512_castsi512_si256(reinterpret_cast<__m512i>(v));
}
inline Ints HighInts(Ints16 v) {
    return _mm512_extracti64x4_epi64(reinterpret_cast<__m512i>(v), 1);
}
// Picks among four registers: the lanes whose index lies in the second
// pair (16 or more of doubles, 32 or more of 32-bit lanes), found once for
// indices used on many rows.
typedef __mmask8 SecondPair;
typedef __mmask16 SecondPair16;
inline SecondPair InSecondPair(Picks index) {
    return _mm512_cmpge_epi64_mask(index, _mm512_set1_epi64(16));
}
inline SecondPair16 InSecondPair(Ints16 index) {
    return _mm512_cmpge_epi32_mask(reinterpret_cast<__m512i>(index), _mm512_set1_epi32(32));
}
// Each lane the value at its index among the lanes of r0, r1, r2 and r3:
// of r0 and r1, or of r2 and r3 in the lanes of `second`.
inline Doubles PickOfFour(Doubles r0, Doubles r1, Doubles r2, Doubles r3, Picks index,
                          SecondPair second) {
    return _mm512_mask_blend_pd(second, Pick(r0, index, r1), Pick(r2, index, r3));
}
inline Ints16 PickOfFour(Ints16 r0, Ints16 r1, Ints16 r2, Ints16 r3, Ints16 index,
                         SecondPair16 second) {
    return reinterpret_cast<Ints16>(
        _mm512_mask_blend_epi32(second, reinterpret_cast<__m512i>(PickInts(r0, index, r1)),
                                reinterpret_cast<__m512i>(PickInts(r2, index, r3))));
}
// Each lane's four bytes from p + its offset (below 126), picked in
// registers from the 128 bytes from p: the dword at each lane's offset is
// joined from the two aligned dwords it straddles. Of an offset of 125,
// only the low three bytes are those from p + 125.
inline Ints PickUnaligned(const uint8_t* p, Ints offsets) {
    const __m512i low = _mm512_loadu_si512(p), high = _mm512_loadu_si512(p + 64);
    const __m512i bytes = _mm512_zextsi256_si512(offsets);
    const __m512i index = _mm512_srli_epi32(bytes, 2);
    const __m512i shift = _mm512_slli_epi32(_mm512_and_si512(bytes, _mm512_set1_epi32(3)), 3);
    // A shift of 32 (an aligned dword) clears the second dword's share.
    const __m512i first = _mm512_srlv_epi32(_mm512_permutex2var_epi32(low, index, high), shift);
    const __m512i second = _mm512_sllv_epi32(
        _mm512_permutex2var_epi32(low, _mm512_add_epi32(index, _mm512_set1_epi32(1)), high),
        _mm512_sub_epi32(_mm512_set1_epi32(32), shift));
    return _mm512_castsi512_si256(_mm512_or_si512(first, second));
}
// Lanes holding 0..255 as the bytes of one 32-bit lane each, first lowest.
inline Ints PackQuads(Ints b0, Ints b1, Ints b2, Ints b3) {
    return _mm256_or_si256(_mm256_or_si256(b0, _mm256_slli_epi32(b1, 8)),
                           _mm256_or_si256(_mm256_slli_epi32(b2, 16), _mm256_slli_epi32(b3, 24)));
}
#elif UEYE_SIMD_LEVEL == 2
constexpr int kCount = 4;
typedef __m256d Doubles;
typedef __m128 Floats;
typedef __m128i Ints;
inline Doubles Set(double v) {
    return _mm256_set1_pd(v);
}
inline Doubles Iota() {
    return _mm256_setr_pd(0, 1, 2, 3);
}
inline Doubles Load(const double* p) {
    return _mm256_loadu_pd(p);
}
inline void Store(double* p, Doubles v) {
    _mm256_storeu_pd(p, v);
}
inline Floats LoadFloats(const float* p) {
    return _mm_loadu_ps(p);
}
inline Floats SetFloats(float v) {
    return _mm_set1_ps(v);
}
inline Ints LoadInts(const int32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
template <typename Value> Ints MakeInts(Value value) {
    return _mm_setr_epi32(value(0), value(1), value(2), value(3));
}
template <typename Value> Floats MakeFloats(Value value) {
    return _mm_setr_ps(value(0), value(1), value(2), value(3));
}
inline Doubles Widen(Floats v) {
    return _mm256_cvtps_pd(v);
}
inline Doubles Widen(Ints v) {
    return _mm256_cvtepi32_pd(v);
}
inline Floats Narrow(Doubles v) {
    return _mm256_cvtpd_ps(v);
}
inline Ints LoadBytes(const uint8_t* p) {
    int32_t word;
    __builtin_memcpy(&word, p, 4);
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(word));
}
inline Ints Truncate(Doubles v) {
    return _mm256_cvttpd_epi32(v);
}
inline bool AllWithin(Doubles v, Doubles low, Doubles high) {
    return _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(v, low, _CMP_GE_OQ),
                                            _mm256_cmp_pd(v, high, _CMP_LT_OQ))) == 0xF;
}
inline void StoreInts(int32_t* p, Ints v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline bool NoneWithin(Doubles x, Doubles y, Doubles lowX, Doubles highX, Doubles lowY,
                       Doubles highY) {
    const __m256d inX =
        _mm256_and_pd(_mm256_cmp_pd(x, lowX, _CMP_GT_OQ), _mm256_cmp_pd(x, highX, _CMP_LT_OQ));
    const __m256d inY =
        _mm256_and_pd(_mm256_cmp_pd(y, lowY, _CMP_GT_OQ), _mm256_cmp_pd(y, highY, _CMP_LT_OQ));
    return _mm256_movemask_pd(_mm256_and_pd(inX, inY)) == 0;
}
// Low bytes of lanes holding 0..255, gathered by one byte shuffle.
inline void StoreBytes(uint8_t* p, Ints v) {
    const __m128i lowBytes =
        _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_shuffle_epi8(v, lowBytes));
    __builtin_memcpy(p, &bytes, 4);
}
// Low bytes of four registers of lanes holding 0..255, a's first, packed
// together (the packs saturate nothing there).
inline void StoreBytesOfFour(uint8_t* p, Ints a, Ints b, Ints c, Ints d) {
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), bytes);
}
template <typename Value> Doubles MakeDoubles(Value value) {
    return _mm256_setr_pd(value(0), value(1), value(2), value(3));
}
inline Doubles Clamp(Doubles v, Doubles low, Doubles high) {
    return _mm256_min_pd(_mm256_max_pd(v, low), high);
}
inline void StoreFloats(float* p, Floats v) {
    _mm_storeu_ps(p, v);
}
inline Doubles Abs(Doubles v) {
    return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v);
}
inline Doubles IfBelow(Doubles v, Doubles limit, Doubles then, Doubles otherwise) {
    return _mm256_blendv_pd(otherwise, then, _mm256_cmp_pd(v, limit, _CMP_LT_OQ));
}
// Lanes p[l] - base.
inline Ints OffsetsFrom(const int32_t* p, int32_t base) {
    return _mm_sub_epi32(LoadInts(p), _mm_set1_epi32(base));
}
// Every lane below `bound` (1 or more), compared unsigned: a negative lane is
// above every bound.
inline bool AllBelow(Ints v, int32_t bound) {
    const __m128i highest = _mm_set1_epi32(bound - 1);
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_max_epu32(v, highest), highest)) == 0xFFFF;
}
// Lane l's values at p + index[l] and at p + index[l] + 1, in `first` and
// `second`: each lane's pair read by one 128-bit load, then sorted into the
// lanes by shuffles. (Pixels of three bytes are blended a pixel a step at
// this level, with LoadFromSecond.)
template <int kStep>
inline void LoadStepPairs(const double* p, const int32_t* index, Doubles& first, Doubles& second) {
    static_assert(kStep == 1, "pairs a step of 1 apart");
    const __m256d even = _mm256_loadu2_m128d(p + index[2], p + index[0]);
    const __m256d odd = _mm256_loadu2_m128d(p + index[3], p + index[1]);
    first = _mm256_unpacklo_pd(even, odd);
    second = _mm256_unpackhi_pd(even, odd);
}
// p[1], p[2] and p[3] in lanes 0 to 2, and p[3] again in lane 3: a load of
// p[0] to p[3] moved down a lane.
inline Doubles LoadFromSecond(const double* p) {
    return _mm256_permute4x64_pd(_mm256_loadu_pd(p), 0xF9);
}
// Sixteen bytes of a row, for PickByte.
typedef __m128i ByteBlock;
inline ByteBlock LoadByteBlock(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
// Each lane's offset (0 to 15) into a block as a byte shuffle's control: the
// offset in the low byte of its 32-bit lane, the other bytes out of range,
// so that they read zero.
typedef __m128i BytePicks;
inline BytePicks ToBytePicks(Ints offsets) {
    return _mm_or_si128(offsets, _mm_set1_epi32(static_cast<int32_t>(0x80808000u)));
}
// Each lane's offset plus n (the offsets staying below 16).
inline BytePicks Plus(BytePicks picks, int32_t n) {
    return _mm_add_epi32(picks, _mm_set1_epi32(n));
}
// Each lane the byte at its offset in the block, as a double.
inline Doubles PickByte(ByteBlock block, BytePicks picks) {
    return _mm256_cvtepi32_pd(_mm_shuffle_epi8(block, picks));
}
// Sixteen 16-bit lanes, unsigned, with the compiler's vector operators
// (+, -, *: the low 16 bits, >>: zeros in), lane by lane. Lanes 0 to 7 lie in
// the register's first 128-bit half, 8 to 15 in its second.
typedef uint16_t Words16 __attribute__((vector_size(32)));
// Lanes 0 to 7 p[i] − firstBase, lanes 8 to 15 p[i] − secondBase, each
// difference saturated to the signed 16-bit range (a negative one reads as
// 0x8000 or more).
inline Words16 WordsFrom(const int32_t* p, int32_t firstBase, int32_t secondBase) {
    const __m256i first = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                                           _mm256_set1_epi32(firstBase));
    const __m256i second = _mm256_sub_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 8)), _mm256_set1_epi32(secondBase));
    return reinterpret_cast<Words16>(
        _mm256_permute4x64_epi64(_mm256_packs_epi32(first, second), 0xD8));
}
// Every lane at most `bound`, compared unsigned.
inline bool AllAtMost(Words16 v, uint16_t bound) {
    const __m256i limit = _mm256_set1_epi16(static_cast<short>(bound));
    const __m256i w = reinterpret_cast<__m256i>(v);
    return _mm256_movemask_epi8(_mm256_cmpeq_epi16(_mm256_max_epu16(w, limit), limit)) == -1;
}
// Sixteen bytes at `first` in the first half, sixteen at `second` in the
// second.
typedef __m256i ByteBlocks;
inline ByteBlocks LoadByteBlocks(const uint8_t* first, const uint8_t* second) {
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(second),
                               reinterpret_cast<const __m128i*>(first));
}
// Each lane the byte at its offset (0 to 15) in its half's block, widened:
// one byte shuffle whose high control bytes are out of range, and so zero.
inline Words16 PickBytes(ByteBlocks blocks, Words16 offsets) {
    const Words16 widening = offsets | static_cast<uint16_t>(0x8000);
    return reinterpret_cast<Words16>(
        _mm256_shuffle_epi8(blocks, reinterpret_cast<__m256i>(widening)));
}
// The lanes, each holding 0..255, as sixteen bytes.
inline void StoreWordsAsBytes(uint8_t* p, Words16 v) {
    const __m256i w = reinterpret_cast<__m256i>(v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1)));
}
#else
constexpr int kCount = 2;
typedef __m128d Doubles;
typedef __m128 Floats; // the low two lanes
typedef __m128i Ints;  // the low two lanes
inline Doubles Set(double v) {
    return _mm_set1_pd(v);
}
inline Doubles Iota() {
    return _mm_setr_pd(0, 1);
}
inline Doubles Load(const double* p) {
    return _mm_loadu_pd(p);
}
inline void Store(double* p, Doubles v) {
    _mm_storeu_pd(p, v);
}
inline Floats LoadFloats(const float* p) {
    double pair; // two floats, read as one unaligned 8-byte value
    __builtin_memcpy(&pair, p, sizeof pair);
    return _mm_castpd_ps(_mm_set_sd(pair));
}
inline Floats SetFloats(float v) {
    return _mm_set1_ps(v);
}
inline Ints LoadInts(const int32_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
template <typename Value> Ints MakeInts(Value value) {
    return _mm_setr_epi32(value(0), value(1), 0, 0);
}
// Byte i of each lane's pointer for i below count (at most 16) as 32-bit
// values side by side: out[2i + l] = at[l][i], so that LoadInts(out + 2i)
// gives the lanes of byte i; sixteen bytes are read at each pointer. Without
// a byte shuffle, the bytes are widened and interleaved by unpacks, four
// values a store.
inline void InterleaveLaneBytes(const uint8_t* const (&at)[kCount], int count, int32_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytesA = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[0]));
    const __m128i bytesB = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[1]));
    auto store = [&](int from, __m128i words) {
        __m128i* to = reinterpret_cast<__m128i*>(out + 2 * from);
        _mm_storeu_si128(to, _mm_unpacklo_epi16(words, zero));
        _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(words, zero));
    };
    for (int half = 0; half < 2 && 8 * half < count; ++half) {
        const __m128i wordsA =
            half == 0 ? _mm_unpacklo_epi8(bytesA, zero) : _mm_unpackhi_epi8(bytesA, zero);
        const __m128i wordsB =
            half == 0 ? _mm_unpacklo_epi8(bytesB, zero) : _mm_unpackhi_epi8(bytesB, zero);
        store(8 * half, _mm_unpacklo_epi16(wordsA, wordsB));
        if (8 * half + 4 < count) store(8 * half + 4, _mm_unpackhi_epi16(wordsA, wordsB));
    }
}
template <typename Value> Floats MakeFloats(Value value) {
    return _mm_setr_ps(value(0), value(1), 0, 0);
}
// Lane l's values at p + index[l] and at p + index[l] + kStep (1 or 3), in
// `first` and `second`: each read by a 128-bit load with its neighbour, the
// lanes then sorted by shuffles.
template <int kStep>
inline void LoadStepPairs(const double* p, const int32_t* index, Doubles& first, Doubles& second) {
    static_assert(kStep == 1 || kStep == 3, "pairs a step of 1 or 3 apart");
    const double* const a = p + index[0];
    const double* const b = p + index[1];
    first = _mm_unpacklo_pd(_mm_loadu_pd(a), _mm_loadu_pd(b));
    second = _mm_unpackhi_pd(_mm_loadu_pd(a + kStep - 1), _mm_loadu_pd(b + kStep - 1));
}
inline Doubles Widen(Floats v) {
    return _mm_cvtps_pd(v);
}
inline Doubles Widen(Ints v) {
    return _mm_cvtepi32_pd(v);
}
inline Floats Narrow(Doubles v) {
    return _mm_cvtpd_ps(v);
}
inline Ints LoadBytes(const uint8_t* p) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(p[0] | (p[1] << 8)), zero), zero);
}
inline Ints Truncate(Doubles v) {
    return _mm_cvttpd_epi32(v);
}
inline bool AllWithin(Doubles v, Doubles low, Doubles high) {
    return _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(v, low), _mm_cmplt_pd(v, high))) == 0x3;
}
inline void StoreInts(int32_t* p, Ints v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}
inline bool NoneWithin(Doubles x, Doubles y, Doubles lowX, Doubles highX, Doubles lowY,
                       Doubles highY) {
    const __m128d inX = _mm_and_pd(_mm_cmpgt_pd(x, lowX), _mm_cmplt_pd(x, highX));
    const __m128d inY = _mm_and_pd(_mm_cmpgt_pd(y, lowY), _mm_cmplt_pd(y, highY));
    return _mm_movemask_pd(_mm_and_pd(inX, inY)) == 0;
}
inline void StoreBytes(uint8_t* p, Ints v) {
    const __m128i words = _mm_packs_epi32(v, v);
    const uint16_t bytes = static_cast<uint16_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
    __builtin_memcpy(p, &bytes, 2);
}
// The packs of StoreBytes, four registers' lanes at once, a's first.
inline void StoreBytesOfFour(uint8_t* p, Ints a, Ints b, Ints c, Ints d) {
    const __m128i words = _mm_packs_epi32(_mm_unpacklo_epi64(a, b), _mm_unpacklo_epi64(c, d));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(words, words));
}
template <typename Value> Doubles MakeDoubles(Value value) {
    return _mm_setr_pd(value(0), value(1));
}
inline Doubles Clamp(Doubles v, Doubles low, Doubles high) {
    return _mm_min_pd(_mm_max_pd(v, low), high);
}
inline void StoreFloats(float* p, Floats v) {
    _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
}
inline Doubles Abs(Doubles v) {
    return _mm_andnot_pd(_mm_set1_pd(-0.0), v);
}
inline Doubles IfBelow(Doubles v, Doubles limit, Doubles then, Doubles otherwise) {
    const __m128d below = _mm_cmplt_pd(v, limit);
    return _mm_or_pd(_mm_and_pd(below, then), _mm_andnot_pd(below, otherwise));
}
// Eight 16-bit lanes, unsigned, with the compiler's vector operators
// (+, -, *: the low 16 bits, >>: zeros in), lane by lane.
typedef uint16_t Words8 __attribute__((vector_size(16)));
// Eight 32-bit values, each within the signed 16-bit range, as 16-bit lanes.
inline Words8 LoadWords8(const int32_t* p) {
    return reinterpret_cast<Words8>(
        _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4))));
}
// A pixel pair's six bytes (blue, green, red of a pixel and of the next) as
// lanes 0 to 5, and the two bytes after them as lanes 6 and 7: eight bytes
// are read, which must all lie in the pixel block.
inline Words8 LoadPairWords(const uint8_t* p) {
    return reinterpret_cast<Words8>(_mm_unpacklo_epi8(
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128()));
}
// Eight pixels' weights of a row's two columns, left[i] and right[i], each
// pixel's broadcast into spread[i] as [l l l r r r l l]: its lanes 0 to 5
// weigh the pair's six bytes (LoadPairWords).
inline void SpreadWeights(Words8 left, Words8 right, Words8 spread[8]) {
    const __m128i l = reinterpret_cast<__m128i>(left), r = reinterpret_cast<__m128i>(right);
    // Pixel i's pair (l, r) in 32-bit lane i % 4 of low or high.
    const __m128i low = _mm_unpacklo_epi16(l, r), high = _mm_unpackhi_epi16(l, r);
    // The pair in every 32-bit lane, [l r l r l r l r], to [l l l r r r l l].
    auto spread3 = [](__m128i pairs) {
        return reinterpret_cast<Words8>(
            _mm_shufflehi_epi16(_mm_shufflelo_epi16(pairs, 0x40), 0x05));
    };
    spread[0] = spread3(_mm_shuffle_epi32(low, 0x00));
    spread[1] = spread3(_mm_shuffle_epi32(low, 0x55));
    spread[2] = spread3(_mm_shuffle_epi32(low, 0xAA));
    spread[3] = spread3(_mm_shuffle_epi32(low, 0xFF));
    spread[4] = spread3(_mm_shuffle_epi32(high, 0x00));
    spread[5] = spread3(_mm_shuffle_epi32(high, 0x55));
    spread[6] = spread3(_mm_shuffle_epi32(high, 0xAA));
    spread[7] = spread3(_mm_shuffle_epi32(high, 0xFF));
}
// A pixel's blue, green and red from its weighted pair (lanes 0 to 2 the
// left column's terms, 3 to 5 the right one's): each channel's two halves
// added, >> 8, at p[0 .. 2]. Writes four bytes, p[3] of no meaning.
inline void StorePixelSums(uint8_t* p, Words8 sums) {
    const __m128i s = reinterpret_cast<__m128i>(sums);
    const __m128i channels = _mm_srli_epi16(_mm_add_epi16(s, _mm_srli_si128(s, 6)), 8);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(channels, channels));
    __builtin_memcpy(p, &bytes, 4);
}
#endif

// Sixteen bytes as they lie, in one register at every level: the quarter
// turns transpose their blocks in these.
typedef __m128i Block16;
inline Block16 LoadBlock16(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void StoreBlock16(uint8_t* p, Block16 v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
// The elements of Bits bits (8, 16, 32 or 64) of the low halves of a and b,
// alternately, a's first.
template <int Bits> inline Block16 InterleaveLow(Block16 a, Block16 b) {
    static_assert(Bits == 8 || Bits == 16 || Bits == 32 || Bits == 64, "an element width");
    if constexpr (Bits == 8)
        return _mm_unpacklo_epi8(a, b);
    else if constexpr (Bits == 16)
        return _mm_unpacklo_epi16(a, b);
    else if constexpr (Bits == 32)
        return _mm_unpacklo_epi32(a, b);
    else
        return _mm_unpacklo_epi64(a, b);
}
// The same of the high halves.
template <int Bits> inline Block16 InterleaveHigh(Block16 a, Block16 b) {
    static_assert(Bits == 8 || Bits == 16 || Bits == 32 || Bits == 64, "an element width");
    if constexpr (Bits == 8)
        return _mm_unpackhi_epi8(a, b);
    else if constexpr (Bits == 16)
        return _mm_unpackhi_epi16(a, b);
    else if constexpr (Bits == 32)
        return _mm_unpackhi_epi32(a, b);
    else
        return _mm_unpackhi_epi64(a, b);
}

// Rows of pixels of three bytes (blue, green, red), kPixelStep pixels a
// step, a step reading kPixelReach pixels of its row: the pixels' weighted
// sums in 32-bit lanes.
#if UEYE_SIMD_LEVEL >= 2
// Four pixels in each 128-bit half, read as 16 bytes of which the first 12
// are theirs.
constexpr long kPixelStep = 8, kPixelReach = 10;
typedef __m256i PixelSums;
// blue·b + green·g + red·r of each pixel, weights below 2^15: the bytes are
// spread into 16-bit lanes, blue and green paired for one multiply-add, red
// alone with a zero weight.
inline PixelSums WeighPixels(const uint8_t* p, int blue, int green, int red) {
    const __m256i blueGreen = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1));
    const __m256i redOnly = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1));
    const __m256i pixels = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    return _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, blueGreen),
                          _mm256_set1_epi32((green << 16) | blue)),
        _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, redOnly), _mm256_set1_epi32(red)));
}
// Each lane shifted right by `bits`, zeros in.
inline PixelSums ShiftDown(PixelSums v, int bits) {
    return _mm256_srli_epi32(v, bits);
}
// The low bytes of sums holding 0..255, kPixelStep bytes.
inline void StorePixelBytes(uint8_t* p, PixelSums v) {
    const __m256i words = _mm256_packus_epi32(v, v);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    const int low = _mm_cvtsi128_si32(_mm256_castsi256_si128(bytes));
    const int high = _mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1));
    __builtin_memcpy(p, &low, 4);
    __builtin_memcpy(p + 4, &high, 4);
}

// Four pixels of three bytes, each spread into a 32-bit lane whose high byte
// is 0; reads 12 bytes.
inline Block16 LoadSpreadPixels(const uint8_t* p) {
    int32_t tail;
    __builtin_memcpy(&tail, p + 8, 4);
    const __m128i bytes = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                             _mm_cvtsi32_si128(tail));
    return _mm_shuffle_epi8(bytes,
                            _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
}
// The low three bytes of each 32-bit lane, as four pixels; writes 12 bytes.
inline void StorePackedPixels(uint8_t* p, Block16 v) {
    const __m128i packed =
        _mm_shuffle_epi8(v, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
    const int32_t tail = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
    __builtin_memcpy(p + 8, &tail, 4);
}
#else
// Each pixel read as a 32-bit word, so that the last pixel of a row, whose
// word would run past it, is left to the plain loop.
constexpr long kPixelStep = 4, kPixelReach = 5;
typedef __m128i PixelSums;
inline PixelSums WeighPixels(const uint8_t* p, int blue, int green, int red) {
    const __m128i weights = _mm_set_epi16(0, static_cast<short>(red), static_cast<short>(green),
                                          static_cast<short>(blue), 0, static_cast<short>(red),
                                          static_cast<short>(green), static_cast<short>(blue));
    const __m128i zero = _mm_setzero_si128();
    uint32_t words[4];
    __builtin_memcpy(words, p, 4);
    __builtin_memcpy(words + 1, p + 3, 4);
    __builtin_memcpy(words + 2, p + 6, 4);
    __builtin_memcpy(words + 3, p + 9, 4);
    const __m128i pixels = _mm_set_epi32(static_cast<int>(words[3]), static_cast<int>(words[2]),
                                         static_cast<int>(words[1]), static_cast<int>(words[0]));
    // Per pixel: blue and green weighted and added, and red.
    const __m128 low = _mm_castsi128_ps(_mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), weights));
    const __m128 high = _mm_castsi128_ps(_mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), weights));
    const __m128i blueGreen = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i redOnly = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm_add_epi32(blueGreen, redOnly);
}
inline PixelSums ShiftDown(PixelSums v, int bits) {
    return _mm_srli_epi32(v, bits);
}
inline void StorePixelBytes(uint8_t* p, PixelSums v) {
    const __m128i words = _mm_packs_epi32(v, v);
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    __builtin_memcpy(p, &bytes, 4);
}
#endif

#if UEYE_SIMD_LEVEL >= 2
// The four bytes from p + index[l] on of each of eight lanes, transposed
// and widened: byte t of lane l to out[t · stride + l] as a 32-bit value.
// Each lane's four bytes are read at once, the lanes' transposed by
// unpacks, and each byte's eight lanes widened and stored at once.
inline void SpreadLaneBytes(const uint8_t* p, const int32_t* index, int32_t* out, size_t stride) {
    auto four = [&](int l) {
        int32_t bytes;
        __builtin_memcpy(&bytes, p + index[l], sizeof bytes);
        return _mm_cvtsi32_si128(bytes);
    };
    // Bytes 4t .. 4t + 3: byte t of lanes l to l + 3.
    auto quarter = [&](int l) {
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(four(l), four(l + 1)),
                                  _mm_unpacklo_epi8(four(l + 2), four(l + 3)));
    };
    const __m128i low = quarter(0), high = quarter(4);
    // Bytes 8t .. 8t + 7 of `pairs[t / 2]`, t mod 2: byte t of lanes 0 to 7.
    const __m128i pairs[2] = {_mm_unpacklo_epi32(low, high), _mm_unpackhi_epi32(low, high)};
    for (int t = 0; t < 4; ++t) {
        const __m128i bytes = t % 2 == 0 ? pairs[t / 2] : _mm_srli_si128(pairs[t / 2], 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<size_t>(t) * stride),
                            _mm256_cvtepu8_epi32(bytes));
    }
}
#endif

#if UEYE_SIMD_LEVEL == 2
// Byte i of each lane's pointer for i below count (at most 16) as 32-bit
// values side by side: out[4i + l] = at[l][i], so that LoadInts(out + 4i)
// gives the lanes of byte i; sixteen bytes are read at each pointer. The
// four rows of bytes are transposed by unpacks and each four bytes widened,
// where reading them one by one would take several times as long.
inline void InterleaveLaneBytes(const uint8_t* const (&at)[kCount], int count, int32_t* out) {
    __m128i bytes[4];
    for (int l = 0; l < 4; ++l) bytes[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at[l]));
    // Bytes i .. i + 3 of the four lanes (`fours`), widened.
    auto store = [out](int i, __m128i fours) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i), _mm256_cvtepu8_epi32(fours));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i + 8),
                            _mm256_cvtepu8_epi32(_mm_unpackhi_epi64(fours, fours)));
    };
    for (int half = 0; half < 2 && 8 * half < count; ++half) {
        // Bytes 8·half .. 8·half + 7 of lanes 0 and 1, and of lanes 2 and 3,
        // interleaved, then in fours: byte i of the four lanes side by side.
        const __m128i first = half == 0 ? _mm_unpacklo_epi8(bytes[0], bytes[1])
                                        : _mm_unpackhi_epi8(bytes[0], bytes[1]);
        const __m128i second = half == 0 ? _mm_unpacklo_epi8(bytes[2], bytes[3])
                                         : _mm_unpackhi_epi8(bytes[2], bytes[3]);
        store(8 * half, _mm_unpacklo_epi16(first, second));
        if (8 * half + 4 < count) store(8 * half + 4, _mm_unpackhi_epi16(first, second));
    }
}
#endif

#if UEYE_SIMD_LEVEL <= 2
inline Ints PackQuads(Ints b0, Ints b1, Ints b2, Ints b3) {
    return _mm_or_si128(_mm_or_si128(b0, _mm_slli_epi32(b1, 8)),
                        _mm_or_si128(_mm_slli_epi32(b2, 16), _mm_slli_epi32(b3, 24)));
}
#endif

// Blue, green and red of one bilinear sample of a 24-bit image in 1/256
// steps, from the six bytes (two pixels) at p0 and at p1 of the row below.
// The two rows' bytes interleaved and each vertical pair weighted at once.
// The sums are exact integers (weights 0..256, at most 65280), so the order
// of their terms does not matter. Six bytes of a row (blue, green, red of
// two pixels) as 16-bit lanes, read as 4 + 2 bytes straight into the
// register.
inline uint32_t BlendColourPixel(const uint8_t* p0, const uint8_t* p1, long w00, long w10, long w01,
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

// s + a·w for products a·w that are exact: an 8-bit value times a float
// weight has at most 8 + 24 significant bits, which a double holds. The
// fused form then rounds once, as the sum of the separate exact product
// does, so it gives the same bits; the levels with FMA save a
// multiplication. Never for other products.
inline Doubles AddExactProduct(Doubles s, Doubles a, Doubles w) {
#if UEYE_SIMD_LEVEL >= 3
    return _mm512_fmadd_pd(a, w, s);
#elif UEYE_SIMD_LEVEL == 2
    return _mm256_fmadd_pd(a, w, s);
#else
    return s + a * w;
#endif
}

// kCount bytes as doubles: at avx512 widened to 64 bits and converted in
// one step, one instruction fewer than through 32-bit lanes.
inline Doubles LoadBytesAsDoubles(const uint8_t* p) {
#if UEYE_SIMD_LEVEL >= 3
    return _mm512_maskz_cvtepi64_pd(
        0xFF, _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
#else
    return Widen(LoadBytes(p));
#endif
}

// A float rounding of each lane, held as a double again.
inline Doubles RoundToFloat(Doubles v) {
    return Widen(Narrow(v));
}

// ClampChannel of lanes holding floats: 0 at or below 0 and for NaN, 255
// above 255, else the truncation.
inline Ints ClampToBytes(Doubles v) {
    return Truncate(Clamp(v, Set(0.0), Set(255.0)));
}

#if UEYE_SIMD_LEVEL >= 3
// The picked groups of `count` lanes from 0 on (PickedGroups): each
// register of sums(k), the truncated results of lanes k .. k + 7 of a
// picked group, narrowed into out[k ..]; two groups at once where two
// follow, so that their sixteen bytes narrow together. A group not picked
// goes to other(k). Returns the lanes walked, a multiple of kCount.
template <typename Sums, typename Other>
long WalkPickedGroups(const int32_t* runs, long count, uint8_t* out, Sums sums, Other other) {
    long k = 0;
    while (k + kCount <= count) {
        const long picked = runs[k] < (count - k) / kCount ? runs[k] : (count - k) / kCount;
        const long end = k + kCount * picked;
        for (; k + 2 * kCount <= end; k += 2 * kCount) {
            const __m512i both =
                _mm512_inserti64x4(_mm512_castsi256_si512(sums(k)), sums(k + kCount), 1);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm512_cvtepi32_epi8(both));
        }
        if (k < end) {
            StoreBytes(out + k, sums(k));
            k += kCount;
        }
        if (k + kCount <= count) {
            other(k);
            k += kCount;
        }
    }
    return k;
}

// The lanes' indices of a picked group: its eight offsets from the base,
// and those plus `step`.
inline void PickIndices(const uint8_t* pick, Picks step, Picks& first, Picks& second) {
    first = _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pick)));
    second = _mm512_add_epi64(first, step);
}
#endif

} // namespace lanes
} // namespace

#endif
