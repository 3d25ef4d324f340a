#pragma once

#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace testutil {

inline RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return RGBQUAD{b, g, r, 0};
}

// A deterministic pseudo-random byte sequence.
inline uint8_t Noise(unsigned long seed) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>((seed >> 16) & 0xFF);
}

// An image of the given depth filled with varied pixels, a colourful palette
// and, on request, an alpha plane.
inline CxImage MakeImage(long w, long h, unsigned bpp, bool withAlpha) {
    CxImage image(static_cast<unsigned long>(w), static_cast<unsigned long>(h), bpp);
    EXPECT_TRUE(image.IsValid());
    for (unsigned i = 0; i < image.GetNumColors(); ++i)
        image.SetPaletteColor(static_cast<unsigned char>(i), Noise(3 * i), Noise(3 * i + 1),
                              Noise(3 * i + 2));
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const unsigned long seed = static_cast<unsigned long>(y * 1000 + x);
            if (bpp == 24)
                image.SetPixelColor(x, y, Rgb(Noise(seed), Noise(seed + 7), Noise(seed + 13)));
            else
                image.SetPixelIndex(x, y, Noise(seed));
        }
    if (withAlpha) {
        image.AlphaCreate();
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x)
                image.AlphaSet(x, y, Noise(static_cast<unsigned long>(x * 31 + y * 17)));
    }
    return image;
}

// Compares size, depth, pixels, palette and alpha plane.
inline void ExpectSameImage(CxImage& a, CxImage& b) {
    ASSERT_EQ(a.GetWidth(), b.GetWidth());
    ASSERT_EQ(a.GetHeight(), b.GetHeight());
    ASSERT_EQ(a.GetBpp(), b.GetBpp());
    const long w = static_cast<long>(a.GetWidth()), h = static_cast<long>(a.GetHeight());
    for (unsigned i = 0; i < a.GetNumColors(); ++i) {
        const RGBQUAD pa = a.GetPaletteColor(static_cast<unsigned char>(i));
        const RGBQUAD pb = b.GetPaletteColor(static_cast<unsigned char>(i));
        EXPECT_EQ(std::vector<uint8_t>({pa.rgbBlue, pa.rgbGreen, pa.rgbRed, pa.rgbReserved}),
                  std::vector<uint8_t>({pb.rgbBlue, pb.rgbGreen, pb.rgbRed, pb.rgbReserved}));
    }
    ASSERT_EQ(a.AlphaIsValid(), b.AlphaIsValid());
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            if (a.GetNumColors() != 0) {
                ASSERT_EQ(a.GetPixelIndex(x, y), b.GetPixelIndex(x, y)) << x << "," << y;
            } else {
                const RGBQUAD ca = a.GetPixelColor(x, y, false), cb = b.GetPixelColor(x, y, false);
                ASSERT_TRUE(ca.rgbBlue == cb.rgbBlue && ca.rgbGreen == cb.rgbGreen &&
                            ca.rgbRed == cb.rgbRed)
                    << x << "," << y;
            }
            if (a.AlphaIsValid()) {
                ASSERT_EQ(a.AlphaGet(x, y), b.AlphaGet(x, y));
            }
        }
}

} // namespace testutil
