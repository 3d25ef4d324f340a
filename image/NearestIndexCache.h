#pragma once

#include "image/CxImage.h"

#include <cstdint>
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

    CxImage& image;
    const RGBQUAD* palette;
    uint32_t count;
    bool greyRamp;
    std::vector<uint32_t> keys;
    std::vector<uint8_t> indices;
};
