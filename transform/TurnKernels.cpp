// Kernel unit of the quarter turns: planes of 1-byte and 3-byte pixels
// transposed in blocks.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "transform/TurnKernels.h"

namespace {

long Min(long a, long b) {
    return a < b ? a : b;
}

// Side of the square tiles that keep source and target lines in cache.
constexpr long kTile = 64;

// Square blocks transposed at once: 16 x 16 bytes, 4 x 4 pixels of 3 bytes.
template <size_t N> constexpr long kBlock = N == 1 ? 16 : 4;

template <size_t N> void TransposeBlock(const uint8_t* const* in, uint8_t* const* out);

// in[i] holds 16 bytes; out[j] receives byte j of every in[i], in order of i.
template <> void TransposeBlock<1>(const uint8_t* const* in, uint8_t* const* out) {
#if UEYE_SIMD_LEVEL >= 1
    using namespace lanes;
    Block16 r[16];
    for (int i = 0; i < 16; ++i) r[i] = LoadBlock16(in[i]);
    // Four rounds of interleaving: bytes, words, double words, quad words.
    Block16 t[16];
    for (int i = 0; i < 8; ++i) {
        t[i] = InterleaveLow<8>(r[2 * i], r[2 * i + 1]);
        t[i + 8] = InterleaveHigh<8>(r[2 * i], r[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = InterleaveLow<16>(t[2 * i], t[2 * i + 1]);
        r[i + 4] = InterleaveHigh<16>(t[2 * i], t[2 * i + 1]);
        r[i + 8] = InterleaveLow<16>(t[8 + 2 * i], t[8 + 2 * i + 1]);
        r[i + 12] = InterleaveHigh<16>(t[8 + 2 * i], t[8 + 2 * i + 1]);
    }
    // r[4q + i] holds columns 4q to 4q + 3 of input rows 4i to 4i + 3.
    for (int q = 0; q < 4; ++q)
        for (int h = 0; h < 2; ++h) {
            t[4 * q + h] = InterleaveLow<32>(r[4 * q + 2 * h], r[4 * q + 2 * h + 1]);
            t[4 * q + h + 2] = InterleaveHigh<32>(r[4 * q + 2 * h], r[4 * q + 2 * h + 1]);
        }
    // t[4q + 2k + h] holds columns 4q + 2k and 4q + 2k + 1 of input rows
    // 8h to 8h + 7; the last round joins the two halves of each column.
    for (int q = 0; q < 4; ++q)
        for (int k = 0; k < 2; ++k) {
            r[4 * q + 2 * k] = InterleaveLow<64>(t[4 * q + 2 * k], t[4 * q + 2 * k + 1]);
            r[4 * q + 2 * k + 1] = InterleaveHigh<64>(t[4 * q + 2 * k], t[4 * q + 2 * k + 1]);
        }
    for (int j = 0; j < 16; ++j) StoreBlock16(out[j], r[j]);
#else
    for (int j = 0; j < 16; ++j)
        for (int i = 0; i < 16; ++i) out[j][i] = in[i][j];
#endif
}

// in[i] holds 4 pixels of 3 bytes; out[j] receives pixel j of every in[i], in
// order of i. From avx2 on, each pixel is spread to 32 bits, the 4 x 4 words
// transposed, and the bytes packed back.
template <> void TransposeBlock<3>(const uint8_t* const* in, uint8_t* const* out) {
#if UEYE_SIMD_LEVEL >= 2
    // sse2 has no byte shuffle to spread the pixels: it takes the plain copy.
    using namespace lanes;
    Block16 r[4];
    for (int i = 0; i < 4; ++i) r[i] = LoadSpreadPixels(in[i]);
    const Block16 t0 = InterleaveLow<32>(r[0], r[1]), t1 = InterleaveLow<32>(r[2], r[3]);
    const Block16 t2 = InterleaveHigh<32>(r[0], r[1]), t3 = InterleaveHigh<32>(r[2], r[3]);
    const Block16 columns[4] = {InterleaveLow<64>(t0, t1), InterleaveHigh<64>(t0, t1),
                                InterleaveLow<64>(t2, t3), InterleaveHigh<64>(t2, t3)};
    for (int j = 0; j < 4; ++j) StorePackedPixels(out[j], columns[j]);
#else
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) __builtin_memcpy(out[j] + 3 * i, in[i] + 3 * j, 3);
#endif
}

template <size_t N>
void TurnPlane(bool left, const uint8_t* source, size_t stride, long width, long height,
               uint8_t* target, size_t targetStride) {
    constexpr long block = kBlock<N>;
    // Source pixel of target (x, y).
    auto from = [&](long x, long y) {
        const long sx = left ? y : width - 1 - y, sy = left ? height - 1 - x : x;
        return source + static_cast<size_t>(sy) * stride + N * static_cast<size_t>(sx);
    };
    // The target is H wide and W high.
    for (long xs = 0; xs < height; xs += kTile) {
        const long xe = Min(xs + kTile, height);
        for (long ys = 0; ys < width; ys += kTile) {
            const long ye = Min(ys + kTile, width);
            for (long bx = xs; bx < xe; bx += block)
                for (long by = ys; by < ye; by += block) {
                    if (bx + block <= xe && by + block <= ye) {
                        // Input row i: target column bx + i, as a block's
                        // source pixels in the order of target rows (a right
                        // turn reads them backwards, so its rows are
                        // reversed).
                        const uint8_t* in[block];
                        uint8_t* out[block];
                        for (int i = 0; i < block; ++i) {
                            in[i] = left ? from(bx + i, by) : from(bx + i, by + block - 1);
                            uint8_t* row = target + static_cast<size_t>(by + i) * targetStride +
                                           N * static_cast<size_t>(bx);
                            out[left ? i : block - 1 - i] = row;
                        }
                        TransposeBlock<N>(in, out);
                        continue;
                    }
                    const long bxe = Min(bx + block, xe), bye = Min(by + block, ye);
                    for (long y = by; y < bye; ++y)
                        for (long x = bx; x < bxe; ++x)
                            __builtin_memcpy(target + static_cast<size_t>(y) * targetStride +
                                                 N * static_cast<size_t>(x),
                                             from(x, y), N);
                }
        }
    }
}

void TurnBytePlane(bool left, const uint8_t* source, size_t stride, long width, long height,
                   uint8_t* target, size_t targetStride) {
    TurnPlane<1>(left, source, stride, width, height, target, targetStride);
}

void TurnPixelPlane(bool left, const uint8_t* source, size_t stride, long width, long height,
                    uint8_t* target, size_t targetStride) {
    TurnPlane<3>(left, source, stride, width, height, target, targetStride);
}

// This level's table, each entry by name.
constexpr TurnKernels TurnEntries() {
    TurnKernels kernels{};
    kernels.turnBytePlane = TurnBytePlane;
    kernels.turnPixelPlane = TurnPixelPlane;
    return kernels;
}

} // namespace

extern const TurnKernels UEYE_KERNEL_TABLE(kTurnKernels) = TurnEntries();
