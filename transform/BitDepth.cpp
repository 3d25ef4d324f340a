// Bit depth: IncreaseBpp, and DecreaseBpp to the nearest palette colour,
// optionally with error diffusion.

#include "image/CxImage.h"
#include "image/NearestIndexCache.h"
#include "image/RowBands.h"
#include "transform/WorkImage.h"

#include <algorithm>

namespace {

// The nearest-colour error shares of the simple diffusion, in sixteenths,
// in the order they are applied.
struct Share {
    int dx, dy, weight;
};
const Share kDecreaseShares[] = {{1, 0, 7}, {-1, 1, 2}, {0, 1, 4}, {1, 1, 1}};

uint8_t AddClamped(uint8_t channel, int error, int weight) {
    return static_cast<uint8_t>(std::clamp(channel + error * weight / 16, 0, 255));
}

} // namespace

bool CxImage::DecreaseBpp(unsigned long bpp, bool errorDiffusion, RGBQUAD* palette,
                          unsigned long clrImportant) {
    if (pixelBuffer == nullptr || bpp > head.biBitCount) return false;
    if (bpp == head.biBitCount) {
        if (clrImportant == 0) return true;
        if (head.biClrImportant != 0 && head.biClrImportant < clrImportant) return true;
    }

    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    CxImage work;
    work.CopyInfo(*this);
    work.Create(width, height, bpp, GetType());
    if (clrImportant != 0) work.SetClrImportant(clrImportant);
    if (!work.IsValid()) return false;
    work.SelectionCopy(*this);
    work.AlphaCopy(*this);

    switch (work.GetBpp()) {
    case 1:
        if (palette != nullptr) {
            work.SetPalette(palette, 2);
        } else {
            work.SetPaletteColor(0, 0, 0, 0, 0);
            work.SetPaletteColor(1, 255, 255, 255, 0);
        }
        break;
    case 4:
    case 8:
        if (palette != nullptr)
            work.SetPalette(palette, work.GetNumColors());
        else
            work.SetStdPalette();
        break;
    default:
        return false;
    }

    // The result's palette is final from here on, and the source's does not
    // change: both take their colour writes through a cache.
    // A 1-bit source's result keeps the black and white palette.
    auto finish = [&] {
        if (head.biBitCount == 1) {
            work.SetPaletteColor(0, 0, 0, 0, 0);
            work.SetPaletteColor(1, 255, 255, 255, 0);
        }
        Transfer(work);
        return true;
    };
    if (!errorDiffusion) {
        DecreaseRows(work);
        return finish();
    }
    NearestIndexCache writer(work), diffuser(*this);
    for (long y = 0; y < height; ++y) {
        if (info.escape != 0) break;
        info.progress = static_cast<int32_t>(transform_detail::Percent(y, height));
        for (long x = 0; x < width; ++x) {
            const RGBQUAD c = GetPixelColor(x, y, true);
            writer.SetPixelColor(x, y, c, false);
            // The quantisation error goes to the unvisited neighbours in the
            // source itself, so later pixels compensate for it.
            const RGBQUAD q = work.GetPixelColor(x, y, true);
            const int errorRed = c.rgbRed - q.rgbRed;
            const int errorGreen = c.rgbGreen - q.rgbGreen;
            const int errorBlue = c.rgbBlue - q.rgbBlue;
            for (const Share& share : kDecreaseShares) {
                const long tx = x + share.dx, ty = y + share.dy;
                if (!IsInside(tx, ty)) continue;
                RGBQUAD n = GetPixelColor(tx, ty, true);
                n.rgbRed = AddClamped(n.rgbRed, errorRed, share.weight);
                n.rgbGreen = AddClamped(n.rgbGreen, errorGreen, share.weight);
                n.rgbBlue = AddClamped(n.rgbBlue, errorBlue, share.weight);
                diffuser.SetPixelColor(tx, ty, n, false);
            }
        }
    }

    return finish();
}

void CxImage::DecreaseRows(CxImage& work) {
    // Rows are independent without diffusion. An indexed source maps each
    // index to the nearest entry of the result once: the result's one-colour
    // memory starts empty, so every pixel's answer is the search's.
    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    const RGBQUAD* palette = GetPalette();
    uint8_t nearest[256] = {};
    if (palette != nullptr) {
        NearestIndexCache search(work, NearestIndexCache::OwnMemory);
        for (unsigned i = 0; i < 256; ++i)
            nearest[i] = search.Find(GetPaletteColor(static_cast<unsigned char>(i)));
    }
    RowBands bands(info, height, static_cast<long long>(width) * height,
                   RowBands::EscapeThenProgress);
    bands.RunRows(work, [&](NearestIndexCache& writer, int, long y) {
        if (palette == nullptr) {
            for (long x = 0; x < width; ++x)
                writer.SetPixelColor(x, y, GetPixelColor(x, y, true), false);
            return;
        }
        for (long x = 0; x < width; ++x)
            work.BlindSetPixelIndex(x, y, nearest[BlindGetPixelIndex(x, y)]);
        // The memory as the row's last colour write would leave it.
        writer.Find(GetPixelColor(width - 1, y, true));
    });
}

bool CxImage::IncreaseBpp(unsigned long bpp) {
    if (pixelBuffer == nullptr || (bpp != 4 && bpp != 8 && bpp != 24)) return false;
    if (head.biBitCount == bpp) return true;
    if (head.biBitCount > bpp) return false;

    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    CxImage work;
    work.CopyInfo(*this);
    work.Create(width, height, bpp, GetType());
    RowBands bands(info, height, static_cast<long long>(width) * height, RowBands::EscapeOnly);

    if (bpp < 24) {
        work.SetPalette(GetPalette(), GetNumColors());
        if (!work.IsValid()) return false;
        work.SelectionCopy(*this);
        work.AlphaCopy(*this);
        bands.RunRows([&](int, long y) {
            for (long x = 0; x < width; ++x)
                work.BlindSetPixelIndex(x, y, BlindGetPixelIndex(x, y));
        });
    } else {
        if (!work.IsValid()) return false;
        if (info.transIndex >= 0)
            work.info.transColor = GetPaletteColor(static_cast<unsigned char>(info.transIndex));
        work.SelectionCopy(*this);
        work.AlphaCopy(*this);
        if (AlphaPaletteIsValid() && !AlphaIsValid()) work.AlphaCreate();
        // A pixel's colour is its palette entry's, the fourth byte replaced by
        // its alpha value where there is an alpha plane.
        RGBQUAD colours[256];
        for (unsigned i = 0; i < 256; ++i)
            colours[i] = GetPaletteColor(static_cast<unsigned char>(i));
        bands.RunRows([&](int, long y) {
            for (long x = 0; x < width; ++x) {
                RGBQUAD c = colours[BlindGetPixelIndex(x, y)];
                if (alpha != nullptr) c.rgbReserved = BlindAlphaGet(x, y);
                work.BlindSetPixelColor(x, y, c, true);
            }
        });
    }
    Transfer(work);
    return true;
}
