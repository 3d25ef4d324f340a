// Orientation and tone: flips, quarter and half turns, negative, grey scale.

#include "image/CxImage.h"
#include "transform/WorkImage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using transform_detail::Percent;

namespace {

// Grey level with the luma weights in 1024ths.
inline uint8_t Gray(unsigned red, unsigned green, unsigned blue) {
    return static_cast<uint8_t>((306 * red + 601 * green + 117 * blue) >> 10);
}

// Side of the square tiles of the quarter turns.
constexpr long kTile = 64;

} // namespace

bool CxImage::GrayScale() {
    if (pixelBuffer == nullptr) return false;
    const long width = static_cast<long>(GetWidth());
    const long height = static_cast<long>(GetHeight());

    if (head.biBitCount == 24) {
        CxImage work;
        work.CopyInfo(*this);
        if (work.Create(GetWidth(), GetHeight(), 8, GetType()) == nullptr) return false;
        work.SetGrayPalette();
        work.SelectionCopy(*this);
        work.AlphaCopy(*this);
        for (long y = 0; y < height; ++y) {
            const uint8_t* source = info.firstRow + static_cast<size_t>(y) * info.effWidth;
            uint8_t* target = work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth;
            for (long x = 0; x < width; ++x, source += 3)
                target[x] = Gray(source[2], source[1], source[0]);
        }
        return Transfer(work);
    }

    // Indexed: the grey level of each palette entry goes into its blue byte.
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr) return false;
    const uint32_t colours = head.biClrUsed;
    for (uint32_t i = 0; i < colours; ++i)
        palette[i].rgbBlue = Gray(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
    // An index outside the palette has no entry to take a grey level from.
    if (info.transIndex >= 0 && static_cast<uint32_t>(info.transIndex) < colours)
        info.transIndex = palette[info.transIndex].rgbBlue;

    if (head.biBitCount == 8) {
        uint8_t* bits = info.firstRow;
        const size_t bytes = static_cast<size_t>(info.effWidth) * GetHeight();
        for (size_t i = 0; i < bytes; ++i) bits[i] = palette[bits[i]].rgbBlue;
        SetGrayPalette();
        return true;
    }

    CxImage work;
    work.CopyInfo(*this);
    if (work.Create(GetWidth(), GetHeight(), 8, GetType()) == nullptr) return false;
    work.SetGrayPalette();
    work.SelectionCopy(*this);
    work.AlphaCopy(*this);
    for (long y = 0; y < height; ++y) {
        uint8_t* target = work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth;
        for (long x = 0; x < width; ++x) target[x] = palette[BlindGetPixelIndex(x, y)].rgbBlue;
    }
    return Transfer(work);
}

bool CxImage::Flip() {
    if (pixelBuffer == nullptr) return false;
    CxImage work(*this, false, false, true);
    if (!work.IsValid()) return false;
    const size_t stride = info.effWidth;
    const size_t height = GetHeight();
    for (size_t i = 0; i < height; ++i)
        std::memcpy(work.info.firstRow + i * stride, info.firstRow + (height - 1 - i) * stride,
                    stride);
    work.AlphaFlip();
    return Transfer(work);
}

bool CxImage::Mirror() {
    if (pixelBuffer == nullptr) return false;
    CxImage work(*this, false, false, true);
    if (!work.IsValid()) return false;
    const long width = static_cast<long>(GetWidth());
    const long height = static_cast<long>(GetHeight());
    const size_t stride = info.effWidth;

    switch (head.biBitCount) {
    case 24:
        for (long y = 0; y < height; ++y) {
            const uint8_t* source = info.firstRow + static_cast<size_t>(y) * stride;
            uint8_t* target = work.info.firstRow + static_cast<size_t>(y) * stride +
                              3 * static_cast<size_t>(width - 1);
            for (long x = 0; x < width; ++x, source += 3, target -= 3) {
                target[0] = source[0];
                target[1] = source[1];
                target[2] = source[2];
            }
        }
        break;
    case 8:
        for (long y = 0; y < height; ++y) {
            const uint8_t* source = info.firstRow + static_cast<size_t>(y) * stride;
            uint8_t* target = work.info.firstRow + static_cast<size_t>(y) * stride;
            for (long x = 0; x < width; ++x) target[x] = source[width - 1 - x];
        }
        break;
    default:
        for (long y = 0; y < height; ++y)
            for (long x = 0; x < width; ++x)
                work.BlindSetPixelIndex(x, y, BlindGetPixelIndex(width - 1 - x, y));
        break;
    }
    work.AlphaMirror();
    return Transfer(work);
}

bool CxImage::RotateLeft(CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());

    CxImage work;
    if (!CreateWorkImage(work, GetHeight(), GetWidth())) return false;
    const size_t stride = info.effWidth;
    const size_t workStride = work.info.effWidth;
    const size_t newWidth = static_cast<size_t>(H);

    // Work pixel (x, y) is source pixel (y, H - 1 - x).
    if (head.biBitCount == 1) {
        for (long y = 0; y < H; ++y) {
            const uint8_t* source = info.firstRow + static_cast<size_t>(y) * stride;
            const long column = H - 1 - y;
            uint8_t* target = work.info.firstRow + (column >> 3);
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (column & 7));
            for (long c0 = 0; c0 < W; c0 += 8) {
                const uint8_t bits = source[c0 >> 3];
                if (bits == 0) continue;
                const long count = std::min<long>(8, W - c0);
                for (long k = 0; k < count; ++k)
                    if (bits & (0x80 >> k))
                        target[static_cast<size_t>(c0 + k) * workStride] |= mask;
            }
        }
        if (alpha != nullptr)
            for (long y = 0; y < W; ++y)
                for (long x = 0; x < H; ++x)
                    work.alpha[static_cast<size_t>(y) * newWidth + x] = BlindAlphaGet(y, H - 1 - x);
        return (destination != nullptr ? destination : this)->Transfer(work);
    }

    for (long xs = 0; xs < H; xs += kTile) {
        const long xe = std::min(xs + kTile, H);
        for (long ys = 0; ys < W; ys += kTile) {
            const long ye = std::min(ys + kTile, W);
            for (long x = xs; x < xe; ++x) {
                info.progress = static_cast<int32_t>(Percent(x, H));
                const long sourceRow = H - 1 - x;
                if (head.biBitCount == 24) {
                    const uint8_t* source = info.firstRow +
                                            static_cast<size_t>(sourceRow) * stride +
                                            3 * static_cast<size_t>(ys);
                    uint8_t* target = work.info.firstRow + static_cast<size_t>(ys) * workStride +
                                      3 * static_cast<size_t>(x);
                    for (long y = ys; y < ye; ++y, source += 3, target += workStride) {
                        target[0] = source[0];
                        target[1] = source[1];
                        target[2] = source[2];
                    }
                } else {
                    for (long y = ys; y < ye; ++y)
                        work.BlindSetPixelIndex(x, y, BlindGetPixelIndex(y, sourceRow));
                }
                if (alpha != nullptr)
                    for (long y = ys; y < ye; ++y)
                        work.alpha[static_cast<size_t>(y) * newWidth + x] =
                            BlindAlphaGet(y, sourceRow);
            }
        }
    }
    return (destination != nullptr ? destination : this)->Transfer(work);
}

bool CxImage::RotateRight(CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());

    CxImage work;
    if (!CreateWorkImage(work, GetHeight(), GetWidth())) return false;
    const size_t stride = info.effWidth;
    const size_t workStride = work.info.effWidth;
    const size_t newWidth = static_cast<size_t>(H);

    // Work pixel (x, y) is source pixel (W - 1 - y, x).
    if (head.biBitCount == 1) {
        for (long y = 0; y < H; ++y) {
            const uint8_t* source = info.firstRow + static_cast<size_t>(y) * stride;
            uint8_t* target = work.info.firstRow + (y >> 3);
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (y & 7));
            for (long c0 = 0; c0 < W; c0 += 8) {
                const uint8_t bits = source[c0 >> 3];
                if (bits == 0) continue;
                const long count = std::min<long>(8, W - c0);
                for (long k = 0; k < count; ++k)
                    if (bits & (0x80 >> k))
                        target[static_cast<size_t>(W - 1 - (c0 + k)) * workStride] |= mask;
            }
        }
        if (alpha != nullptr)
            for (long y = 0; y < W; ++y)
                for (long x = 0; x < H; ++x)
                    work.alpha[static_cast<size_t>(y) * newWidth + x] = BlindAlphaGet(W - 1 - y, x);
        return (destination != nullptr ? destination : this)->Transfer(work);
    }

    for (long xs = 0; xs < H; xs += kTile) {
        const long xe = std::min(xs + kTile, H);
        for (long ys = 0; ys < W; ys += kTile) {
            const long ye = std::min(ys + kTile, W);
            for (long y = ys; y < ye; ++y) {
                info.progress = static_cast<int32_t>(Percent(y, W));
                const long sourceColumn = W - 1 - y;
                if (head.biBitCount == 24) {
                    const uint8_t* source = info.firstRow + static_cast<size_t>(xs) * stride +
                                            3 * static_cast<size_t>(sourceColumn);
                    uint8_t* target = work.info.firstRow + static_cast<size_t>(y) * workStride +
                                      3 * static_cast<size_t>(xs);
                    for (long x = xs; x < xe; ++x, source += stride, target += 3) {
                        target[0] = source[0];
                        target[1] = source[1];
                        target[2] = source[2];
                    }
                } else {
                    for (long x = xs; x < xe; ++x)
                        work.BlindSetPixelIndex(x, y, BlindGetPixelIndex(sourceColumn, x));
                }
                if (alpha != nullptr)
                    for (long x = xs; x < xe; ++x)
                        work.alpha[static_cast<size_t>(y) * newWidth + x] =
                            BlindAlphaGet(sourceColumn, x);
            }
        }
    }
    return (destination != nullptr ? destination : this)->Transfer(work);
}

bool CxImage::Rotate180(CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());

    CxImage work;
    if (!CreateWorkImage(work, GetWidth(), GetHeight())) return false;
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
