// The palette: reading and setting entries, the grey and standard palettes,
// blending, the nearest index of a colour, and colour conversions.

#include "image/CxImage.h"
#include "image/NearestIndexCache.h"

#include <algorithm>
#include <cstring>

namespace {

RGBQUAD Quad(uint8_t blue, uint8_t green, uint8_t red) {
    return RGBQUAD{blue, green, red, 0};
}

const RGBQUAD kStandardPalette16[16] = {
    Quad(0, 0, 0),       Quad(0, 0, 128),   Quad(0, 128, 0),   Quad(0, 128, 128),
    Quad(128, 0, 0),     Quad(128, 0, 128), Quad(128, 128, 0), Quad(192, 192, 192),
    Quad(128, 128, 128), Quad(0, 0, 255),   Quad(0, 255, 0),   Quad(0, 255, 255),
    Quad(255, 0, 0),     Quad(255, 0, 255), Quad(255, 255, 0), Quad(255, 255, 255)};

// Tints (lightest first) and shades (brightest first) of one hue component.
uint8_t Tint(uint8_t component, int k) {
    switch (component) {
    case 255:
        return 255;
    case 170:
        return static_cast<uint8_t>(240 - 14 * k);
    case 85:
        return static_cast<uint8_t>(227 - 28 * k);
    default:
        return static_cast<uint8_t>(212 - 35 * k);
    }
}

uint8_t Shade(uint8_t component, int k) {
    switch (component) {
    case 255:
        return static_cast<uint8_t>(255 - 35 * k);
    case 170:
        return static_cast<uint8_t>(170 - 24 * k);
    case 85:
        return static_cast<uint8_t>(85 - 12 * k);
    default:
        return 0;
    }
}

struct StandardPalette256 {
    RGBQUAD entries[256];

    StandardPalette256() {
        const RGBQUAD system[10] = {Quad(0, 0, 0),      Quad(0, 0, 128),     Quad(0, 128, 0),
                                    Quad(0, 128, 128),  Quad(128, 0, 0),     Quad(128, 0, 128),
                                    Quad(128, 128, 0),  Quad(192, 192, 192), Quad(192, 220, 192),
                                    Quad(240, 202, 166)};
        std::copy(system, system + 10, entries);

        const uint8_t hues[18][3] = {
            {0, 170, 255}, {0, 85, 255}, {0, 0, 255}, {85, 0, 255}, {170, 0, 255}, {255, 0, 255},
            {255, 0, 170}, {255, 0, 85}, {255, 0, 0}, {255, 85, 0}, {255, 170, 0}, {255, 255, 0},
            {170, 255, 0}, {85, 255, 0}, {0, 255, 0}, {0, 255, 85}, {0, 255, 170}, {0, 255, 255}};
        for (int group = 0; group < 18; ++group) {
            const uint8_t* hue = hues[group];
            RGBQUAD* run = entries + 10 + 12 * group;
            for (int k = 0; k < 6; ++k) {
                run[k] = Quad(Tint(hue[0], k), Tint(hue[1], k), Tint(hue[2], k));
                run[6 + k] = Quad(Shade(hue[0], k), Shade(hue[1], k), Shade(hue[2], k));
            }
            // Pure hues (only 0 and 255) start their shades at 254.
            if (group % 3 == 2) {
                uint8_t* bytes[3] = {&run[6].rgbBlue, &run[6].rgbGreen, &run[6].rgbRed};
                for (uint8_t* b : bytes)
                    if (*b == 255) *b = 254;
            }
        }

        for (int k = 0; k < 20; ++k) {
            const uint8_t v = static_cast<uint8_t>(242 - 12 * k);
            entries[226 + k] = Quad(v, v, v);
        }

        const RGBQUAD tail[10] = {Quad(240, 251, 255), Quad(164, 160, 160), Quad(128, 128, 128),
                                  Quad(0, 0, 255),     Quad(0, 255, 0),     Quad(0, 255, 255),
                                  Quad(255, 0, 0),     Quad(255, 0, 255),   Quad(255, 255, 0),
                                  Quad(255, 255, 255)};
        std::copy(tail, tail + 10, entries + 246);
    }
};

const StandardPalette256& StandardPalette() {
    static const StandardPalette256 palette;
    return palette;
}

} // namespace

unsigned long CxImage::GetPaletteSize() {
    return head.biClrUsed * 4ul;
}

RGBQUAD* CxImage::GetPalette() const {
    if (pixelBuffer == nullptr || head.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RGBQUAD*>(static_cast<uint8_t*>(pixelBuffer) +
                                      sizeof(BITMAPINFOHEADER));
}

RGBQUAD CxImage::GetPaletteColor(unsigned char index) {
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr || index >= head.biClrUsed) return RGBQUAD{0, 0, 0, 0};
    return palette[index];
}

bool CxImage::GetPaletteColor(unsigned char index, unsigned char* red, unsigned char* green,
                              unsigned char* blue) {
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr || index >= head.biClrUsed) return false;
    if (red != nullptr) *red = palette[index].rgbRed;
    if (green != nullptr) *green = palette[index].rgbGreen;
    if (blue != nullptr) *blue = palette[index].rgbBlue;
    return true;
}

void CxImage::SetPaletteColor(unsigned char index, unsigned char red, unsigned char green,
                              unsigned char blue, unsigned char alphaByte) {
    SetPaletteColor(index, RGBQUAD{blue, green, red, alphaByte});
}

void CxImage::SetPaletteColor(unsigned char index, RGBQUAD colour) {
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr || index >= head.biClrUsed) return;
    palette[index] = colour;
    info.nearestValid = false;
}

void CxImage::SetPaletteColor(unsigned char index, unsigned long colour) {
    SetPaletteColor(index, RGBtoRGBQUAD(colour));
}

void CxImage::SetPalette(unsigned long count, unsigned char* red, unsigned char* green,
                         unsigned char* blue) {
    RGBQUAD* palette = GetPalette();
    if (red == nullptr || palette == nullptr) return;
    if (green == nullptr) green = red;
    if (blue == nullptr) blue = green;
    const unsigned long n = std::min<unsigned long>(count, head.biClrUsed);
    for (unsigned long i = 0; i < n; ++i) {
        palette[i].rgbRed = red[i];
        palette[i].rgbGreen = green[i];
        palette[i].rgbBlue = blue[i];
    }
    info.nearestValid = false;
}

void CxImage::SetPalette(rgb_color* colours, unsigned long count) {
    RGBQUAD* palette = GetPalette();
    if (colours == nullptr || palette == nullptr) return;
    const unsigned long n = std::min<unsigned long>(count, head.biClrUsed);
    for (unsigned long i = 0; i < n; ++i) {
        palette[i].rgbRed = colours[i].r;
        palette[i].rgbGreen = colours[i].g;
        palette[i].rgbBlue = colours[i].b;
    }
    info.nearestValid = false;
}

void CxImage::SetPalette(RGBQUAD* source, unsigned long count) {
    RGBQUAD* palette = GetPalette();
    if (source == nullptr || palette == nullptr) return;
    const unsigned long n = std::min<unsigned long>(count, head.biClrUsed);
    if (source != palette) std::memmove(palette, source, n * sizeof(RGBQUAD));
    info.nearestValid = false;
}

void CxImage::SetGrayPalette() {
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr) return;
    const uint32_t n = head.biClrUsed;
    const uint32_t step = 255 / (n - 1);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t v = static_cast<uint8_t>(step * i);
        palette[i].rgbBlue = palette[i].rgbGreen = palette[i].rgbRed = v;
    }
    info.nearestValid = false;
}

void CxImage::SetStdPalette() {
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr) return;
    if (head.biBitCount == 4) {
        std::copy(kStandardPalette16, kStandardPalette16 + 16, palette);
    } else if (head.biBitCount == 8) {
        const RGBQUAD* standard = StandardPalette().entries;
        std::copy(standard, standard + 256, palette);
    } else {
        return;
    }
    info.nearestValid = false;
}

void CxImage::BlendPalette(unsigned long colour, long percent) {
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr) return;
    if (percent > 100) percent = 100;
    // Unsigned 32-bit arithmetic as stored colours have always been blended:
    // a negative percentage wraps rather than failing.
    const uint32_t p = static_cast<uint32_t>(percent);
    const uint32_t q = 100u - p;
    const uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    for (uint32_t i = 0; i < head.biClrUsed; ++i) {
        palette[i].rgbBlue = static_cast<uint8_t>((palette[i].rgbBlue * q + b * p) / 100);
        palette[i].rgbGreen = static_cast<uint8_t>((palette[i].rgbGreen * q + g * p) / 100);
        palette[i].rgbRed = static_cast<uint8_t>((palette[i].rgbRed * q + r * p) / 100);
    }
    info.nearestValid = false;
}

bool CxImage::IsGrayScale() {
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr) return false;
    for (uint32_t i = 0; i < head.biClrUsed; ++i) {
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i)
            return false;
    }
    return true;
}

void CxImage::SwapIndex(unsigned char index1, unsigned char index2) {
    if (GetPalette() == nullptr) return;
    const RGBQUAD first = GetPaletteColor(index1);
    const RGBQUAD second = GetPaletteColor(index2);
    SetPaletteColor(index1, second);
    SetPaletteColor(index2, first);
    info.nearestValid = false;

    const long width = static_cast<long>(GetWidth());
    const long height = static_cast<long>(GetHeight());
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            const unsigned char index = BlindGetPixelIndex(x, y);
            if (index == index1)
                BlindSetPixelIndex(x, y, index2);
            else if (index == index2)
                BlindSetPixelIndex(x, y, index1);
        }
    }
}

bool CxImage::IsSamePalette(CxImage& other, bool checkAlpha) {
    if (head.biClrUsed != other.head.biClrUsed || head.biClrUsed == 0) return false;
    for (uint32_t i = 0; i < head.biClrUsed; ++i) {
        const RGBQUAD a = GetPaletteColor(static_cast<unsigned char>(i));
        const RGBQUAD b = other.GetPaletteColor(static_cast<unsigned char>(i));
        if (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue)
            return false;
        if (checkAlpha && a.rgbReserved != b.rgbReserved) return false;
    }
    return true;
}

unsigned char CxImage::GetNearestIndex(RGBQUAD colour) {
    RGBQUAD* palette = GetPalette();
    if (palette == nullptr) return 0;
    if (info.nearestValid && std::memcmp(&info.nearestColor, &colour, sizeof(colour)) == 0)
        return info.nearestIndex;

    info.nearestColor = colour;
    info.nearestValid = true;

    const uint32_t searched = head.biClrImportant != 0 ? head.biClrImportant : head.biClrUsed;
    info.nearestIndex =
        SearchNearestIndex(palette, std::min<uint32_t>(searched, head.biClrUsed), colour);
    return info.nearestIndex;
}

RGBQUAD CxImage::RGBtoRGBQUAD(unsigned long colour) {
    return RGBQUAD{static_cast<uint8_t>((colour >> 16) & 0xFF),
                   static_cast<uint8_t>((colour >> 8) & 0xFF), static_cast<uint8_t>(colour & 0xFF),
                   0};
}

unsigned long CxImage::RGBQUADtoRGB(RGBQUAD colour) {
    return static_cast<unsigned long>(colour.rgbRed) |
           (static_cast<unsigned long>(colour.rgbGreen) << 8) |
           (static_cast<unsigned long>(colour.rgbBlue) << 16);
}
