#pragma once

// The nearest palette index of a colour, and the colour writer that remembers
// it over an operation's rows (the nearest-colour memory).

#include "image/CxImage.h"
#include "image/RecordView.h"

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
//
// A writer of one band of rows among several keeps a one-colour memory of its
// own, empty at the start, since the bands run side by side; Commit leaves it
// in the image, from the band that holds the last row, so that the image ends
// with the memory a one-thread run leaves.
class NearestIndexCache {
public:
    enum Memory { ImageMemory, OwnMemory };

    explicit NearestIndexCache(CxImage& image, Memory memory = ImageMemory);

    unsigned char Find(const RGBQUAD& colour);
    void SetPixelColor(long x, long y, const RGBQUAD& colour, bool setalpha);
    // SetPixelColor(x + k, y, colours[k], true) for k below count, checking
    // the run's ends only when an image without palette takes it whole.
    void SetPixelColors(long x, long y, const RGBQUAD* colours, long count);
    // True when a grey colour (v, v, v, 0) may be stored as index v without
    // a lookup: the palette is the identity grey ramp and the one-colour
    // memory, if any, holds the ramp's own answer (so skipping it changes no
    // later answer). The caller then calls Find with the last colour it
    // stored that way, to leave the memory as writing it would.
    bool StoresGreyDirectly();
    void Commit();

private:
    unsigned char Look(const RGBQUAD& colour);
    unsigned char LookUp(const RGBQUAD& colour); // the remembered search

    const RecordView image;
    const RGBQUAD* palette;
    uint32_t count;
    bool greyRamp;
    // The one-colour memory: the image's own, or ownColour and its fellows.
    RGBQUAD* memoryColour;
    uint8_t* memoryIndex;
    bool* memoryValid;
    RGBQUAD ownColour{};
    uint8_t ownIndex = 0;
    bool ownValid = false;
    unsigned slotBits = 4; // the table has 1 << slotBits slots
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
    if (palette == nullptr) return 0;
    // The one-colour memory answers first, as in GetNearestIndex.
    if (*memoryValid && std::memcmp(memoryColour, &colour, sizeof colour) == 0) return *memoryIndex;
    *memoryColour = colour;
    *memoryValid = true;
    *memoryIndex = Look(colour);
    return *memoryIndex;
}

inline void NearestIndexCache::SetPixelColor(long x, long y, const RGBQUAD& colour, bool setalpha) {
    if (!image.HasPixels() || !image.Image().IsInside(x, y)) return;
    if (image.Header().biClrUsed != 0)
        image.BlindSetPixelIndex(x, y, Find(colour));
    else
        image.BlindSetPixelColor(x, y, colour, setalpha);
}

inline void NearestIndexCache::SetPixelColors(long x, long y, const RGBQUAD* colours, long count) {
    if (count <= 0) return;
    if (!image.HasPixels() || image.Header().biClrUsed != 0 || !image.Image().IsInside(x, y) ||
        !image.Image().IsInside(x + count - 1, y)) {
        for (long k = 0; k < count; ++k) SetPixelColor(x + k, y, colours[k], true);
        return;
    }
    for (long k = 0; k < count; ++k) image.BlindSetPixelColor(x + k, y, colours[k], true);
}

inline bool NearestIndexCache::StoresGreyDirectly() {
    return greyRamp && (!*memoryValid || *memoryIndex == Look(*memoryColour));
}
