// Orientation and tone: flips, quarter and half turns, negative, grey scale.

#include "image/CxImage.h"
#include "image/RowBands.h"
#include "transform/ToneKernels.h"
#include "transform/TurnKernels.h"
#include "transform/WorkImage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

using transform_detail::Percent;

namespace {

// Grey level with the luma weights in 1024ths.
inline uint8_t Grey(unsigned red, unsigned green, unsigned blue) {
    return static_cast<uint8_t>((306 * red + 601 * green + 117 * blue) >> 10);
}

// Side of the square tiles of the quarter turns.
constexpr long kTile = 64;

// Quarter turn of `source` into `work`, a cleared image of the same depth,
// H x W, with an alpha plane when the source has one. A left turn makes work
// pixel (x, y) the source pixel (y, H - 1 - x), a right turn the source pixel
// (W - 1 - y, x). getIndex and setIndex are the unchecked index accessors of
// the source and the work image, used at 4 and 8 bpp.
template <bool Left, typename GetIndex, typename SetIndex>
void QuarterTurn(CxImage& source, CxImage& work, CxImage::Info& info, GetIndex getIndex,
                 SetIndex setIndex) {
    const long W = static_cast<long>(source.GetWidth());
    const long H = static_cast<long>(source.GetHeight());
    const uint8_t* const sourceBits = source.GetBits(0);
    uint8_t* const workBits = work.GetBits(0);
    const size_t stride = source.GetEffWidth();
    const size_t workStride = work.GetEffWidth();
    const uint8_t* const sourceAlpha = source.AlphaGetPointer(0, 0);
    uint8_t* const workAlpha = work.AlphaGetPointer(0, 0);
    const size_t width = static_cast<size_t>(W), newWidth = static_cast<size_t>(H);
    // The source column of work pixel (x, y) depends on y alone, its source row on x alone.
    auto sourceX = [W](long y) { return Left ? y : W - 1 - y; };
    auto sourceY = [H](long x) { return Left ? H - 1 - x : x; };

    if (source.GetBpp() == 1) {
        // Bits are set in the cleared work buffer: a source row is one work
        // column, and each source byte reaches eight work rows.
        for (long y = 0; y < H; ++y) {
            const uint8_t* row = sourceBits + static_cast<size_t>(y) * stride;
            const long column = Left ? H - 1 - y : y;
            uint8_t* target = workBits + (column >> 3);
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (column & 7));
            for (long c0 = 0; c0 < W; c0 += 8) {
                const uint8_t bits = row[c0 >> 3];
                if (bits == 0) continue;
                const long count = std::min<long>(8, W - c0);
                for (long k = 0; k < count; ++k)
                    if (bits & (0x80 >> k)) {
                        const long workRow = Left ? c0 + k : W - 1 - (c0 + k);
                        target[static_cast<size_t>(workRow) * workStride] |= mask;
                    }
            }
        }
        if (sourceAlpha != nullptr)
            TurnKernelsInUse().turnBytePlane(Left, sourceAlpha, width, W, H, workAlpha, newWidth);
        return;
    }
    if (source.GetBpp() == 8 || source.GetBpp() == 24) {
        // Bands of work rows: work row y is source column y (left) or
        // W − 1 − y (right), so each band turns a strip of source columns
        // on its own.
        const TurnKernels& kernels = TurnKernelsInUse();
        const auto turn = source.GetBpp() == 8 ? kernels.turnBytePlane : kernels.turnPixelPlane;
        const size_t pixelBytes = source.GetBpp() / 8;
        RowBands bands(info, W, static_cast<long long>(W) * H, RowBands::NoChecks);
        bands.Run([&](int, long first, long last) {
            const size_t column = static_cast<size_t>(Left ? first : W - last);
            const size_t row = static_cast<size_t>(first);
            turn(Left, sourceBits + column * pixelBytes, stride, last - first, H,
                 workBits + row * workStride, workStride);
            if (sourceAlpha != nullptr)
                kernels.turnBytePlane(Left, sourceAlpha + column, width, last - first, H,
                                      workAlpha + row * newWidth, newWidth);
        });
        // Where the tiled walk below ends.
        info.progress = static_cast<int32_t>(Percent(Left ? H - 1 : W - 1, Left ? H : W));
        return;
    }

    // 4 bpp, through the index accessors, in tiles of 64 x 64 work pixels. A
    // left turn fills a tile column by column (each walks along one source
    // row), a right turn row by row (each walks down one source column); the
    // progress follows that outer index.
    for (long xs = 0; xs < H; xs += kTile) {
        const long xe = std::min(xs + kTile, H);
        for (long ys = 0; ys < W; ys += kTile) {
            const long ye = std::min(ys + kTile, W);
            const long outerEnd = Left ? xe : ye;
            const long innerBegin = Left ? ys : xs, innerEnd = Left ? ye : xe;
            for (long o = Left ? xs : ys; o < outerEnd; ++o) {
                info.progress = static_cast<int32_t>(Percent(o, Left ? H : W));
                for (long i = innerBegin; i < innerEnd; ++i) {
                    const long x = Left ? o : i, y = Left ? i : o;
                    setIndex(x, y, getIndex(sourceX(y), sourceY(x)));
                }
            }
        }
    }
    if (sourceAlpha != nullptr)
        TurnKernelsInUse().turnBytePlane(Left, sourceAlpha, width, W, H, workAlpha, newWidth);
}

} // namespace

bool CxImage::GrayScale() {
    if (pixelBuffer == nullptr) return false;
    const long width = static_cast<long>(GetWidth());
    const long height = static_cast<long>(GetHeight());
    // The 8-bit result of the 24, 4 and 1 bpp paths: this image's attributes,
    // the grey palette, the selection and the alpha plane. Its rows are not
    // cleared: each is written whole, padding included.
    auto createGreyWork = [&](CxImage& work) {
        work.CopyInfo(*this);
        if (work.CreateBlock(GetWidth(), GetHeight(), 8, GetType(), false) == nullptr) return false;
        work.SetGrayPalette();
        work.SelectionCopy(*this);
        work.AlphaCopy(*this);
        return true;
    };

    // Rows are independent; none of the loops reports progress or stops.
    RowBands bands(info, height, static_cast<long long>(width) * height, RowBands::NoChecks);
    if (head.biBitCount == 24) {
        CxImage work;
        if (!createGreyWork(work)) return false;
        const auto greyRow = ToneKernelsInUse().greyRow;
        bands.RunRows([&](int, long y) {
            const uint8_t* source = info.firstRow + static_cast<size_t>(y) * info.effWidth;
            uint8_t* target = work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth;
            greyRow(source, target, width);
            std::memset(target + width, 0, work.info.effWidth - static_cast<size_t>(width));
        });
        return Transfer(work);
    }

    // Indexed: the grey level of each palette entry. It is kept in a table
    // rather than in the entries' blue bytes: the palette is replaced by the
    // grey one in the end anyway, and a failure on the way (a work image that
    // cannot be made, a ghost that cannot take the result) must leave the
    // colours and the transparent index as they were.
    const RGBQUAD* palette = GetPalette();
    if (palette == nullptr) return false;
    const uint32_t colours = head.biClrUsed;
    uint8_t grey[256] = {};
    for (uint32_t i = 0; i < colours; ++i)
        grey[i] = Grey(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
    // An index outside the palette has no entry to take a grey level from.
    int32_t transIndex = info.transIndex;
    if (transIndex >= 0 && static_cast<uint32_t>(transIndex) < colours)
        transIndex = grey[transIndex];

    if (head.biBitCount == 8) {
        // On the grey ramp every index is its own grey level: no byte changes.
        bool identity = true;
        for (int i = 0; i < 256 && identity; ++i) identity = grey[i] == i;
        if (!identity)
            bands.RunRows([&](int, long y) {
                uint8_t* bits = info.firstRow + static_cast<size_t>(y) * info.effWidth;
                for (size_t i = 0; i < info.effWidth; ++i) bits[i] = grey[bits[i]];
            });
        info.transIndex = transIndex;
        SetGrayPalette();
        return true;
    }

    CxImage work;
    if (!createGreyWork(work)) return false;
    work.info.transIndex = transIndex;
    bands.RunRows([&](int, long y) {
        uint8_t* target = work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth;
        for (long x = 0; x < width; ++x) target[x] = grey[BlindGetPixelIndex(x, y)];
        std::memset(target + width, 0, work.info.effWidth - static_cast<size_t>(width));
    });
    return Transfer(work);
}

// Flip and Mirror rearrange the pixels in place and then leave the image as
// building the result in a work image (without the selection) and
// transferring it would. A ghost cannot take a result: it stays unchanged.
bool CxImage::Flip() {
    if (pixelBuffer == nullptr || info.ghostOwner != nullptr) return false;
    const size_t stride = info.effWidth;
    const size_t height = GetHeight();
    std::vector<uint8_t> spare;
    try {
        spare.resize(stride);
    } catch (const std::exception&) {
        return false;
    }
    if (alpha != nullptr && !AlphaFlip()) return false;
    // Whole rows, padding included, swap through one spare row.
    for (size_t i = 0; i < height / 2; ++i) {
        uint8_t* low = info.firstRow + i * stride;
        uint8_t* high = info.firstRow + (height - 1 - i) * stride;
        std::memcpy(spare.data(), low, stride);
        std::memcpy(low, high, stride);
        std::memcpy(high, spare.data(), stride);
    }
    RecreateInPlace();
    return true;
}

bool CxImage::Mirror() {
    if (pixelBuffer == nullptr || info.ghostOwner != nullptr) return false;
    const long width = static_cast<long>(GetWidth());
    const long height = static_cast<long>(GetHeight());
    const size_t stride = info.effWidth;
    const unsigned bpp = head.biBitCount;
    // Bytes that hold pixels; a result row built in a work image has zeros
    // beyond them (and in the unused bits of its last pixel byte).
    const size_t used = (static_cast<size_t>(width) * bpp + 7) / 8;
    const unsigned spareBits = static_cast<unsigned>(used * 8 - static_cast<size_t>(width) * bpp);
    // A 24-bit row is reversed from a copy, each pixel moved as a 4-byte word
    // whose fourth byte the next pixel overwrites (the copy has a spare byte
    // for the last word read); the row's last pixel moves as 3 bytes.
    std::vector<uint8_t> copy;
    if (bpp == 24) {
        try {
            copy.resize(3 * static_cast<size_t>(width) + 1);
        } catch (const std::exception&) {
            return false;
        }
    }
    for (long y = 0; y < height; ++y) {
        uint8_t* row = info.firstRow + static_cast<size_t>(y) * stride;
        switch (bpp) {
        case 24: {
            std::memcpy(copy.data(), row, 3 * static_cast<size_t>(width));
            const uint8_t* from = copy.data() + 3 * static_cast<size_t>(width - 1);
            uint8_t* to = row;
            for (long x = 0; x + 1 < width; ++x, from -= 3, to += 3) {
                uint32_t pixel;
                std::memcpy(&pixel, from, 4);
                std::memcpy(to, &pixel, 4);
            }
            std::memcpy(to, from, 3);
            break;
        }
        case 8:
            std::reverse(row, row + width);
            break;
        default:
            for (long left = 0, right = width - 1; left < right; ++left, --right) {
                const unsigned char a = BlindGetPixelIndex(left, y);
                BlindSetPixelIndex(left, y, BlindGetPixelIndex(right, y));
                BlindSetPixelIndex(right, y, a);
            }
            break;
        }
        if (spareBits != 0)
            row[used - 1] = static_cast<uint8_t>(row[used - 1] & (0xFF << spareBits));
        std::memset(row + used, 0, stride - used);
    }
    if (alpha != nullptr) AlphaMirror();
    RecreateInPlace();
    return true;
}

bool CxImage::RotateLeft(CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    CxImage work;
    if (!CreateWorkImage(work, GetHeight(), GetWidth(), destination)) return false;
    ReuseDestinationBlock(work, destination);
    QuarterTurn<true>(
        *this, work, info, [this](long x, long y) { return BlindGetPixelIndex(x, y); },
        [&work](long x, long y, unsigned char index) { work.BlindSetPixelIndex(x, y, index); });
    return (destination != nullptr ? destination : this)->Transfer(work);
}

bool CxImage::RotateRight(CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    CxImage work;
    if (!CreateWorkImage(work, GetHeight(), GetWidth(), destination)) return false;
    ReuseDestinationBlock(work, destination);
    QuarterTurn<false>(
        *this, work, info, [this](long x, long y) { return BlindGetPixelIndex(x, y); },
        [&work](long x, long y, unsigned char index) { work.BlindSetPixelIndex(x, y, index); });
    return (destination != nullptr ? destination : this)->Transfer(work);
}

bool CxImage::Rotate180(CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());

    CxImage work;
    if (!CreateWorkImage(work, GetWidth(), GetHeight(), destination)) return false;
    ReuseDestinationBlock(work, destination);
    const bool indexed = head.biClrUsed != 0;
    for (long y = 0; y < H; ++y) {
        info.progress = static_cast<int32_t>(Percent(y, H));
        const long ty = H - 1 - y;
        for (long x = 0; x < W; ++x) {
            const long tx = W - 1 - x;
            if (indexed)
                work.BlindSetPixelIndex(tx, ty, BlindGetPixelIndex(x, y));
            else
                work.BlindSetPixelColor(tx, ty, BlindGetPixelColor(x, y), false);
            if (alpha != nullptr)
                work.alpha[static_cast<size_t>(ty) * W + tx] = BlindAlphaGet(x, y);
        }
    }
    return (destination != nullptr ? destination : this)->Transfer(work);
}

bool CxImage::Negative() {
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());

    // The selection's box, held to the image: pixels outside are never inside.
    RECT box{0, 0, 0, 0};
    if (selection != nullptr) {
        SelectionGetBox(box);
        box.left = std::max<LONG>(box.left, 0);
        box.bottom = std::max<LONG>(box.bottom, 0);
        box.right = static_cast<LONG>(std::min<long>(box.right, W));
        box.top = static_cast<LONG>(std::min<long>(box.top, H));
    }

    if (head.biBitCount == 24) {
        if (selection != nullptr) {
            for (long y = box.bottom; y < box.top; ++y)
                for (long x = box.left; x < box.right; ++x)
                    if (SelectionIsInside(x, y)) {
                        RGBQUAD c = GetPixelColor(x, y, true);
                        c.rgbBlue = static_cast<uint8_t>(~c.rgbBlue);
                        c.rgbGreen = static_cast<uint8_t>(~c.rgbGreen);
                        c.rgbRed = static_cast<uint8_t>(~c.rgbRed);
                        SetPixelColor(x, y, c, false);
                    }
        } else {
            uint8_t* bits = info.firstRow;
            const size_t bytes = static_cast<size_t>(info.effWidth) * GetHeight();
            for (size_t i = 0; i < bytes; ++i) bits[i] = static_cast<uint8_t>(~bits[i]);
        }
        info.transColor.rgbBlue = static_cast<uint8_t>(~info.transColor.rgbBlue);
        info.transColor.rgbGreen = static_cast<uint8_t>(~info.transColor.rgbGreen);
        info.transColor.rgbRed = static_cast<uint8_t>(~info.transColor.rgbRed);
        return true;
    }

    if (!IsGrayScale()) {
        RGBQUAD* palette = GetPalette();
        if (palette == nullptr) return true;
        for (uint32_t i = 0; i < head.biClrUsed; ++i) {
            palette[i].rgbBlue = static_cast<uint8_t>(~palette[i].rgbBlue);
            palette[i].rgbGreen = static_cast<uint8_t>(~palette[i].rgbGreen);
            palette[i].rgbRed = static_cast<uint8_t>(~palette[i].rgbRed);
        }
        info.nearestValid = false;
        return true;
    }

    if (selection != nullptr) {
        for (long y = box.bottom; y < box.top; ++y)
            for (long x = box.left; x < box.right; ++x)
                if (SelectionIsInside(x, y))
                    BlindSetPixelIndex(x, y, static_cast<unsigned char>(~BlindGetPixelIndex(x, y)));
    } else if (head.biBitCount == 8) {
        for (long y = 0; y < H; ++y) {
            uint8_t* row = info.firstRow + static_cast<size_t>(y) * info.effWidth;
            for (long x = 0; x < W; ++x) row[x] = static_cast<uint8_t>(~row[x]);
        }
    } else {
        for (long y = 0; y < H; ++y)
            for (long x = 0; x < W; ++x)
                BlindSetPixelIndex(x, y, static_cast<unsigned char>(~BlindGetPixelIndex(x, y)));
    }
    return true;
}
