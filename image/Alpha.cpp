// The alpha plane: creating, clearing, setting and reading it, the alpha
// palette, copying, flipping and mirroring, splitting it into a grey image,
// and blending it into the pixels (AlphaStrip).

#include "image/CxImage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

size_t PlaneBytes(unsigned long width, unsigned long height) {
    return static_cast<size_t>(width) * static_cast<size_t>(height);
}

uint8_t CompositeOver(uint8_t background, uint8_t colour, unsigned opacity) {
    return static_cast<uint8_t>((background * (255u - opacity) + colour * opacity) / 255u);
}

} // namespace

bool CxImage::AlphaIsValid() {
    return alpha != nullptr;
}

void CxImage::AlphaCreate() {
    if (alpha != nullptr || pixelBuffer == nullptr) return;
    const size_t bytes = PlaneBytes(GetWidth(), GetHeight());
    alpha = static_cast<uint8_t*>(std::malloc(bytes));
    if (alpha != nullptr) std::memset(alpha, 255, bytes);
}

void CxImage::AlphaDelete() {
    std::free(alpha);
    alpha = nullptr;
}

void CxImage::AlphaClear() {
    AlphaSet(static_cast<unsigned char>(0));
}

void CxImage::AlphaSet(unsigned char level) {
    if (alpha != nullptr) std::memset(alpha, level, PlaneBytes(GetWidth(), GetHeight()));
}

void CxImage::AlphaInvert() {
    if (alpha == nullptr) return;
    const size_t bytes = PlaneBytes(GetWidth(), GetHeight());
    for (size_t i = 0; i < bytes; ++i) alpha[i] = static_cast<uint8_t>(255 - alpha[i]);
}

unsigned char CxImage::AlphaGet(long x, long y) {
    if (alpha == nullptr || !IsInside(x, y)) return 0;
    return BlindAlphaGet(x, y);
}

void CxImage::AlphaSet(long x, long y, unsigned char level) {
    if (alpha == nullptr || !IsInside(x, y)) return;
    alpha[static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth()] = level;
}

unsigned char* CxImage::AlphaGetPointer(long x, long y) {
    if (alpha == nullptr || !IsInside(x, y)) return nullptr;
    return alpha + static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth();
}

unsigned char CxImage::AlphaGetMax() const {
    return info.alphaMax;
}
void CxImage::AlphaSetMax(unsigned char maximum) {
    info.alphaMax = maximum;
}
void CxImage::AlphaPaletteEnable(bool enable) {
    info.alphaPaletteEnabled = enable;
}
bool CxImage::AlphaPaletteIsEnabled() const {
    return info.alphaPaletteEnabled;
}

bool CxImage::AlphaPaletteIsValid() {
    const RGBQUAD* palette = GetPalette();
    if (palette == nullptr) return false;
    for (uint32_t i = 0; i < head.biClrUsed; ++i)
        if (palette[i].rgbReserved != 0) return true;
    return false;
}

void CxImage::AlphaPaletteClear() {
    for (uint32_t i = 0; i < head.biClrUsed; ++i) {
        const unsigned char index = static_cast<unsigned char>(i);
        RGBQUAD entry = GetPaletteColor(index);
        entry.rgbReserved = 0;
        SetPaletteColor(index, entry);
    }
}

bool CxImage::AlphaCopy(CxImage& from) {
    if (from.alpha == nullptr || from.GetWidth() != GetWidth() || from.GetHeight() != GetHeight())
        return false;
    const size_t bytes = PlaneBytes(GetWidth(), GetHeight());
    if (alpha == nullptr) {
        alpha = static_cast<uint8_t*>(std::malloc(bytes));
        if (alpha == nullptr) return false;
    }
    if (alpha != from.alpha) std::memcpy(alpha, from.alpha, bytes);
    info.alphaMax = from.info.alphaMax;
    return true;
}

bool CxImage::AlphaSet(CxImage& from) {
    if (from.GetBpp() != 8 || !from.IsGrayScale() || from.GetWidth() != GetWidth() ||
        from.GetHeight() != GetHeight())
        return false;
    const unsigned long width = GetWidth(), height = GetHeight();
    if (alpha == nullptr) {
        alpha = static_cast<uint8_t*>(std::malloc(PlaneBytes(width, height)));
        if (alpha == nullptr) return false;
    }
    for (unsigned long y = 0; y < height; ++y)
        std::memcpy(alpha + y * width, from.GetBits(y), width);
    return true;
}

bool CxImage::AlphaFlip() {
    if (alpha == nullptr) return false;
    const size_t width = GetWidth(), height = GetHeight();
    std::vector<uint8_t> spare;
    try {
        spare.resize(width);
    } catch (const std::exception&) {
        return false;
    }
    // Rows swapped in place, through one spare row.
    for (size_t row = 0; row < height / 2; ++row) {
        uint8_t* low = alpha + row * width;
        uint8_t* high = alpha + (height - 1 - row) * width;
        std::memcpy(spare.data(), low, width);
        std::memcpy(low, high, width);
        std::memcpy(high, spare.data(), width);
    }
    return true;
}

bool CxImage::AlphaMirror() {
    if (alpha == nullptr) return false;
    const size_t width = GetWidth(), height = GetHeight();
    for (size_t row = 0; row < height; ++row)
        std::reverse(alpha + row * width, alpha + (row + 1) * width);
    return true;
}

bool CxImage::AlphaSplit(CxImage* destination) {
    if (alpha == nullptr || destination == nullptr) return false;
    return PlaneToGreyImage(alpha, *destination);
}

bool CxImage::AlphaPaletteSplit(CxImage* destination) {
    if (!AlphaPaletteIsValid() || destination == nullptr) return false;
    CxImage work(GetWidth(), GetHeight(), 8, 0);
    if (!work.IsValid()) return false;
    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
            work.BlindSetPixelIndex(x, y, GetPixelColor(x, y, true).rgbReserved);
    work.SetGrayPalette();
    destination->Transfer(work);
    return true;
}

void CxImage::AlphaStrip() {
    const bool paletteAlpha = AlphaPaletteIsValid();
    const bool planeAlpha = AlphaIsValid();
    if ((!paletteAlpha && !planeAlpha) || pixelBuffer == nullptr) return;

    const RGBQUAD background = info.transColor;
    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    const unsigned alphaMax = info.alphaMax;
    auto opacityAt = [&](long x, long y) -> unsigned {
        return planeAlpha ? BlindAlphaGet(x, y) * alphaMax / 255u : alphaMax;
    };
    auto composite = [&](RGBQUAD c, unsigned opacity) {
        c.rgbBlue = CompositeOver(background.rgbBlue, c.rgbBlue, opacity);
        c.rgbGreen = CompositeOver(background.rgbGreen, c.rgbGreen, opacity);
        c.rgbRed = CompositeOver(background.rgbRed, c.rgbRed, opacity);
        return c;
    };

    if (head.biBitCount == 24) {
        for (long y = 0; y < height; ++y)
            for (long x = 0; x < width; ++x)
                BlindSetPixelColor(x, y, composite(GetPixelColor(x, y, true), opacityAt(x, y)),
                                   false);
        AlphaDelete();
        return;
    }

    CxImage work(GetWidth(), GetHeight(), 24, 0);
    if (!work.IsValid()) return;
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            const RGBQUAD c = GetPixelColor(x, y, true);
            unsigned opacity = opacityAt(x, y);
            if (paletteAlpha) opacity = c.rgbReserved * opacity / 255u;
            work.BlindSetPixelColor(x, y, composite(c, opacity), false);
        }
    }
    Transfer(work);
}
