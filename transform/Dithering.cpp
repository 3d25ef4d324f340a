// Dither: black and white by error diffusion or by an ordered threshold table.

#include "image/CxImage.h"
#include "image/RowBands.h"
#include "transform/WorkImage.h"

#include <algorithm>
#include <array>

namespace {

// One error-diffusion target: offset from the current pixel and weight.
struct Target {
    int dx, dy, weight;
};

struct DiffusionKernel {
    int divisor;
    const Target* targets;
    int count;
};

const Target kFloydSteinberg[] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
const Target kBurkes[] = {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4},
                          {0, 1, 8}, {1, 1, 4}, {2, 1, 2}};
const Target kStucki[] = {{1, 0, 8}, {2, 0, 4},  {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4},
                          {2, 1, 2}, {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4},  {1, 2, 2}, {2, 2, 1}};
const Target kJarvisJudiceNinke[] = {{1, 0, 7},  {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5},
                                     {0, 1, 7},  {1, 1, 5}, {2, 1, 3},  {-2, 2, 1},
                                     {-1, 2, 3}, {0, 2, 5}, {1, 2, 3},  {2, 2, 1}};
const Target kSierra[] = {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5},
                          {1, 1, 4}, {2, 1, 2}, {-1, 2, 2}, {0, 2, 3},  {1, 2, 2}};
const Target kStevensonArce[] = {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30},
                                 {3, 1, 16}, {-2, 2, 12}, {0, 2, 26},  {2, 2, 12},
                                 {-3, 2, 5}, {-1, 2, 12}, {1, 2, 12},  {3, 2, 5}};

template <size_t N> DiffusionKernel Kernel(int divisor, const Target (&targets)[N]) {
    return DiffusionKernel{divisor, targets, static_cast<int>(N)};
}

DiffusionKernel KernelFor(long method) {
    switch (method) {
    case 2:
        return Kernel(32, kBurkes);
    case 3:
        return Kernel(42, kStucki);
    case 4:
        return Kernel(48, kJarvisJudiceNinke);
    case 5:
        return Kernel(32, kSierra);
    case 6:
        return Kernel(200, kStevensonArce);
    default:
        return Kernel(16, kFloydSteinberg);
    }
}

const uint8_t kOrderedMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The interleaved threshold table: each entry interleaves the bits of its
// row and column position.
std::array<uint8_t, 256> InterleavedTable() {
    std::array<uint8_t, 256> table{};
    for (int level = 0; level < 256; ++level) {
        int o = level / 4, c = level % 4, bits = 0;
        for (int round = 0; round < 4; ++round) {
            bits = bits * 4 + 2 * ((c ^ o) & 1) + (c & 1);
            o >>= 1;
            c >>= 1;
        }
        table[level] = static_cast<uint8_t>(bits);
    }
    return table;
}

} // namespace

bool CxImage::Dither(long method) {
    if (pixelBuffer == nullptr) return false;
    if (head.biBitCount == 1) return true;

    GrayScale();

    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    CxImage work;
    work.CopyInfo(*this);
    work.Create(width, height, 1, GetType());
    if (!work.IsValid()) return false;
    work.SelectionCopy(*this);
    work.AlphaCopy(*this);

    std::array<uint8_t, 256> interleaved{};
    if (method == 7) interleaved = InterleavedTable();
    const DiffusionKernel kernel = KernelFor(method);

    // The ordered methods set each pixel from its own grey level, so their
    // rows go in parallel bands; error diffusion feeds later rows and stays
    // on one thread.
    const bool ordered = method == 1 || method == 7;
    RowBands bands(info, height, ordered ? static_cast<long long>(width) * height : 0);
    bands.RunRows([&](int, long y) {
        for (long x = 0; x < width; ++x) {
            const int grey = GetPixelIndex(x, y);
            if (method == 1) {
                const int s = grey * 16 / 255;
                const int levels[3] = {0, 1, 1};
                const int r = s % 16, q = s / 16;
                work.BlindSetPixelIndex(x, y,
                                        static_cast<uint8_t>(kOrderedMatrix[y % 4][x % 4] < r
                                                                 ? levels[q + 1]
                                                                 : levels[q]));
                continue;
            }
            if (method == 7) {
                work.BlindSetPixelIndex(x, y, grey > interleaved[(y % 4) * 4 + x % 4] ? 1 : 0);
                continue;
            }
            const bool white = grey >= 129;
            const int error = white ? grey - 255 : grey;
            work.BlindSetPixelIndex(x, y, white ? 1 : 0);
            for (int i = 0; i < kernel.count; ++i) {
                const Target& t = kernel.targets[i];
                const long tx = x + t.dx, ty = y + t.dy;
                if (!IsInside(tx, ty)) continue;
                const int value = GetPixelIndex(tx, ty) + error * t.weight / kernel.divisor;
                SetPixelIndex(tx, ty, static_cast<uint8_t>(std::clamp(value, 0, 255)));
            }
        }
    });

    work.SetPaletteColor(0, 0, 0, 0, 0);
    work.SetPaletteColor(1, 255, 255, 255, 0);
    Transfer(work);
    return true;
}
