#include "image/KernelUnit.h"

#include "transform/TurnKernels.h"

#if UEYE_SIMD_LEVEL >= 1
#include <emmintrin.h>
#endif

namespace {

long Min(long a, long b) {
    return a < b ? a : b;
}

// Side of the square tiles that keep source and target lines in cache.
constexpr long kTile = 64;
constexpr long kBlock = 16;

// in[i] holds 16 bytes; out[j] receives byte j of every in[i], in order of i.
void TransposeBlock(const uint8_t* const* in, uint8_t* const* out) {
#if UEYE_SIMD_LEVEL >= 1
    __m128i r[16];
    for (int i = 0; i < 16; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[i]));
    // Four rounds of interleaving: bytes, words, double words, quad words.
    __m128i t[16];
    for (int i = 0; i < 8; ++i) {
        t[i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
        t[i + 8] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = _mm_unpacklo_epi16(t[2 * i], t[2 * i + 1]);
        r[i + 4] = _mm_unpackhi_epi16(t[2 * i], t[2 * i + 1]);
        r[i + 8] = _mm_unpacklo_epi16(t[8 + 2 * i], t[8 + 2 * i + 1]);
        r[i + 12] = _mm_unpackhi_epi16(t[8 + 2 * i], t[8 + 2 * i + 1]);
    }
    // r[4q + i] holds columns 4q to 4q + 3 of input rows 4i to 4i + 3.
    for (int q = 0; q < 4; ++q)
        for (int h = 0; h < 2; ++h) {
            t[4 * q + h] = _mm_unpacklo_epi32(r[4 * q + 2 * h], r[4 * q + 2 * h + 1]);
            t[4 * q + h + 2] = _mm_unpackhi_epi32(r[4 * q + 2 * h], r[4 * q + 2 * h + 1]);
        }
    // t[4q + 2k + h] holds columns 4q + 2k and 4q + 2k + 1 of input rows
    // 8h to 8h + 7; the last round joins the two halves of each column.
    for (int q = 0; q < 4; ++q)
        for (int k = 0; k < 2; ++k) {
            r[4 * q + 2 * k] = _mm_unpacklo_epi64(t[4 * q + 2 * k], t[4 * q + 2 * k + 1]);
            r[4 * q + 2 * k + 1] = _mm_unpackhi_epi64(t[4 * q + 2 * k], t[4 * q + 2 * k + 1]);
        }
    for (int j = 0; j < 16; ++j) _mm_storeu_si128(reinterpret_cast<__m128i*>(out[j]), r[j]);
#else
    for (int j = 0; j < 16; ++j)
        for (int i = 0; i < 16; ++i) out[j][i] = in[i][j];
#endif
}

void TurnBytePlane(bool left, const uint8_t* source, size_t stride, long width, long height,
                   uint8_t* target, size_t targetStride) {
    // Source byte of target (x, y).
    auto from = [&](long x, long y) {
        const long sx = left ? y : width - 1 - y, sy = left ? height - 1 - x : x;
        return source + static_cast<size_t>(sy) * stride + static_cast<size_t>(sx);
    };
    // The target is H wide and W high.
    for (long xs = 0; xs < height; xs += kTile) {
        const long xe = Min(xs + kTile, height);
        for (long ys = 0; ys < width; ys += kTile) {
            const long ye = Min(ys + kTile, width);
            for (long bx = xs; bx < xe; bx += kBlock)
                for (long by = ys; by < ye; by += kBlock) {
                    if (bx + kBlock <= xe && by + kBlock <= ye) {
                        // Input row i: target column bx + i, as 16 source
                        // bytes in the order of target rows (a right turn
                        // reads them backwards, so its rows are reversed).
                        const uint8_t* in[16];
                        uint8_t* out[16];
                        for (int i = 0; i < 16; ++i) {
                            in[i] = left ? from(bx + i, by) : from(bx + i, by + 15);
                            uint8_t* row = target + static_cast<size_t>(by + i) * targetStride +
                                           static_cast<size_t>(bx);
                            out[left ? i : 15 - i] = row;
                        }
                        TransposeBlock(in, out);
                        continue;
                    }
                    const long bxe = Min(bx + kBlock, xe), bye = Min(by + kBlock, ye);
                    for (long y = by; y < bye; ++y)
                        for (long x = bx; x < bxe; ++x)
                            target[static_cast<size_t>(y) * targetStride + static_cast<size_t>(x)] =
                                *from(x, y);
                }
        }
    }
}

} // namespace

extern const TurnKernels UEYE_KERNEL_TABLE(kTurnKernels) = {TurnBytePlane};
