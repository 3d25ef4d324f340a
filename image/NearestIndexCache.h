#pragma once

#include "image/CxImage.h"

#include <cstdint>
#include <cstring>
#include <vector>

// The index GetNearestIndex searches for among the first `count` palette
// entries: the first exact match, else the first of the nearest by squared
// distance over red, green and blue.
uint8_t SearchNearestIndex(const RGBQUAD* palette, uint32_t count, const RGBQUAD& colour);

// Colour writes of one operation into an image whose palette it leaves alone
// meanwhile. Each write gives what SetPixelColor gives and leaves the image's
// one-colour memory as SetPixelColor would; but the nearest index of every
// colour met is remembered, and on an identity grey ramp it is computed
// directly, so an indexed result does not cost a palette search per pixel.
class NearestIndexCache {
public:
    explicit NearestIndexCache(CxImage& image);

    unsigned char Find(const RGBQUAD& colour);
    void SetPixelColor(long x, long y, const RGBQUAD& colour, bool setalpha);

private:
    unsigned char Look(const RGBQUAD& colour);
    unsigned char LookUp(const RGBQUAD& colour); // the remembered search

    CxImage& image;
    const RGBQUAD* palette;
    uint32_t count;
    bool greyRamp;
    std::vector<uint32_t> keys;
    std::vector<uint8_t> indices;
};

// Inline: the operations call them per pixel.
inline unsigned char NearestIndexCache::Look(const RGBQUAD& colour) {
    if (greyRamp) {
        // On the ramp entry i is (i, i, i): the squared distance is smallest
        // at the integer nearest to the mean of the channels, which is never
        // halfway between two, and a grey level is its own exact match.
        const unsigned sum = 0u + colour.rgbRed + colour.rgbGreen + colour.rgbBlue;
        return static_cast<unsigned char>((sum + 1) / 3);
    }
    return LookUp(colour);
}

inline unsigned char NearestIndexCache::Find(const RGBQUAD& colour) {
    CxImage::Info& info = image.info;
    if (palette == nullptr) return 0;
    // The image's own memory answers first, as in GetNearestIndex.
    if (info.nearestValid && std::memcmp(&info.nearestColor, &colour, sizeof colour) == 0)
        return info.nearestIndex;
    info.nearestColor = colour;
    info.nearestValid = true;
    info.nearestIndex = Look(colour);
    return info.nearestIndex;
}

inline void NearestIndexCache::SetPixelColor(long x, long y, const RGBQUAD& colour, bool setalpha) {
    if (image.pixelBuffer == nullptr || !image.IsInside(x, y)) return;
    if (image.head.biClrUsed != 0)
        image.BlindSetPixelIndex(x, y, Find(colour));
    else
        image.BlindSetPixelColor(x, y, colour, setalpha);
}
