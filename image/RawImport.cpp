// Images from the caller's pixel arrays and matrices (CreateFromArray,
// CreateFromMatrix), and the bit-field and byte-order conversions they need.

#include "image/CxImage.h"

#include <algorithm>
#include <cstring>

namespace {

bool SupportedImportDepth(unsigned long bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32;
}

int CountBits(unsigned short mask) {
    int count = 0;
    for (; mask != 0; mask = static_cast<unsigned short>(mask >> 1)) count += mask & 1;
    return count;
}

// Shifts left for a positive count and right for a negative one. Counts
// beyond the width of the word give 0, so unusual masks stay defined.
uint8_t ShiftToByte(uint32_t value, int leftShift) {
    if (leftShift >= 32 || leftShift <= -32) return 0;
    return static_cast<uint8_t>(leftShift >= 0 ? value << leftShift : value >> -leftShift);
}

} // namespace

// Writes one imported row: colour bytes copied whole, or at 32 bpp split into
// colour and alpha. No more than the line length is read from the source; the
// rest of the row keeps its content.
static void ImportRow(uint8_t* target, const unsigned char* source, unsigned long width,
                      unsigned long bpp, unsigned long lineLength, unsigned long effWidth,
                      unsigned char* alphaRow) {
    if (bpp == 32) {
        const unsigned long pixels = std::min(width, lineLength / 4);
        for (unsigned long x = 0; x < pixels; ++x) {
            target[3 * x] = source[4 * x];
            target[3 * x + 1] = source[4 * x + 1];
            target[3 * x + 2] = source[4 * x + 2];
            if (alphaRow != nullptr) alphaRow[x] = source[4 * x + 3];
        }
        return;
    }
    std::memcpy(target, source, std::min(effWidth, lineLength));
}

bool CxImage::CreateFromArray(unsigned char* source, unsigned long width, unsigned long height,
                              unsigned long bpp, unsigned long lineLength, bool flip) {
    if (source == nullptr || !SupportedImportDepth(bpp)) return false;

    const bool reuse =
        pixelBuffer != nullptr && GetWidth() == width && GetHeight() == height && GetBpp() == bpp;
    if (!reuse && Create(width, height, bpp, 0) == nullptr) return false;

    if (bpp < 24) SetGrayPalette();
    if (bpp == 32) AlphaCreate();

    for (unsigned long i = 0; i < height; ++i) {
        const unsigned long row = flip ? height - 1 - i : i;
        unsigned char* alphaRow = alpha != nullptr && bpp == 32 ? alpha + row * width : nullptr;
        ImportRow(info.firstRow + row * info.effWidth, source, width, bpp, lineLength,
                  info.effWidth, alphaRow);
        source += lineLength;
    }
    return true;
}

bool CxImage::CreateFromMatrix(unsigned char** rows, unsigned long width, unsigned long height,
                               unsigned long bpp, unsigned long lineLength, bool flip) {
    if (rows == nullptr || !SupportedImportDepth(bpp)) return false;
    if (Create(width, height, bpp, 0) == nullptr) return false;

    if (bpp < 24) SetGrayPalette();
    if (bpp == 32) AlphaCreate();

    for (unsigned long i = 0; i < height; ++i) {
        if (rows[i] == nullptr) continue;
        const unsigned long row = flip ? height - 1 - i : i;
        unsigned char* alphaRow = alpha != nullptr && bpp == 32 ? alpha + row * width : nullptr;
        ImportRow(info.firstRow + row * info.effWidth, rows[i], width, bpp, lineLength,
                  info.effWidth, alphaRow);
    }
    return true;
}

void CxImage::Bitfield2RGB(unsigned char* source, unsigned short redMask, unsigned short greenMask,
                           unsigned short blueMask, unsigned char sourceBpp) {
    if (source == nullptr || pixelBuffer == nullptr || head.biBitCount != 24) return;
    const long width = static_cast<long>(GetWidth());
    const long height = static_cast<long>(GetHeight());

    if (sourceBpp == 16) {
        const int nr = CountBits(redMask), ng = CountBits(greenMask), nb = CountBits(blueMask);
        const size_t sourceRow = static_cast<size_t>((width + 1) / 2) * 4;
        for (long y = height - 1; y >= 0; --y) {
            const uint8_t* in = source + static_cast<size_t>(y) * sourceRow;
            uint8_t* out = info.firstRow + static_cast<size_t>(y) * info.effWidth;
            for (long x = width - 1; x >= 0; --x) {
                const uint32_t w =
                    static_cast<uint32_t>(in[2 * x]) | (static_cast<uint32_t>(in[2 * x + 1]) << 8);
                // The blue and green shifts follow the red mask's width, as in
                // the common layouts where red and blue are equally wide.
                out[3 * x] = ShiftToByte((w & blueMask) & 0xFF, 8 - nr);
                out[3 * x + 1] = ShiftToByte(w & greenMask, -(nr + ng - 8));
                out[3 * x + 2] = ShiftToByte(w & redMask, -(nr + ng + nb - 8));
            }
        }
    } else if (sourceBpp == 32) {
        const size_t sourceRow = static_cast<size_t>(width) * 4;
        for (long y = height - 1; y >= 0; --y) {
            const uint8_t* in = source + static_cast<size_t>(y) * sourceRow;
            uint8_t* out = info.firstRow + static_cast<size_t>(y) * info.effWidth;
            for (long x = width - 1; x >= 0; --x) {
                out[3 * x] = in[4 * x];
                out[3 * x + 1] = in[4 * x + 1];
                out[3 * x + 2] = in[4 * x + 2];
            }
        }
    }
}

void CxImage::RGBtoBGR(unsigned char* buffer, int length) {
    if (buffer == nullptr || head.biClrUsed != 0) return;
    const long n = std::min<long>(length, static_cast<long>(info.effWidth));
    for (long i = 0; i + 2 < n; i += 3) std::swap(buffer[i], buffer[i + 2]);
}
