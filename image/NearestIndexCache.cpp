// The nearest-index search and the colour writer's table of the colours met.

#include "image/NearestIndexCache.h"

namespace {

constexpr unsigned kSlotBits = 16;

uint32_t Key(const RGBQUAD& c) {
    // Bit 24 marks a used slot; the fourth byte plays no part in the search.
    return 0x1000000u | (static_cast<uint32_t>(c.rgbRed) << 16) |
           (static_cast<uint32_t>(c.rgbGreen) << 8) | c.rgbBlue;
}

} // namespace

uint8_t SearchNearestIndex(const RGBQUAD* palette, uint32_t count, const RGBQUAD& colour) {
    int32_t bestDistance = 200000;
    uint8_t best = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t db = palette[i].rgbBlue - colour.rgbBlue;
        const int32_t dg = palette[i].rgbGreen - colour.rgbGreen;
        const int32_t dr = palette[i].rgbRed - colour.rgbRed;
        const int32_t distance = db * db + dg * dg + dr * dr;
        if (distance == 0) return static_cast<uint8_t>(i);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<uint8_t>(i);
        }
    }
    return best;
}

NearestIndexCache::NearestIndexCache(CxImage& target, Memory memory)
    : image(target), palette(target.GetPalette()), count(0), greyRamp(false),
      memoryColour(memory == ImageMemory ? &image.Attributes().nearestColor : &ownColour),
      memoryIndex(memory == ImageMemory ? &image.Attributes().nearestIndex : &ownIndex),
      memoryValid(memory == ImageMemory ? &image.Attributes().nearestValid : &ownValid) {
    if (palette == nullptr) return;
    const uint32_t used = image.Header().biClrUsed, important = image.Header().biClrImportant;
    count = important != 0 && important < used ? important : used;
    greyRamp = count == 256;
    for (uint32_t i = 0; i < count && greyRamp; ++i)
        greyRamp = palette[i].rgbRed == i && palette[i].rgbGreen == i && palette[i].rgbBlue == i;
    if (!greyRamp) {
        // No more slots than the image has pixels, since it cannot hold more
        // colours: a small image does not fill a table meant for a frame.
        const uint64_t pixels = uint64_t(target.GetWidth()) * target.GetHeight();
        while (slotBits < kSlotBits && (uint64_t(1) << slotBits) < pixels) ++slotBits;
        keys.assign(size_t(1) << slotBits, 0);
        indices.assign(size_t(1) << slotBits, 0);
    }
}

unsigned char NearestIndexCache::LookUp(const RGBQUAD& colour) {
    const uint32_t key = Key(colour);
    const size_t slot = (key * 2654435761u) >> (32 - slotBits);
    if (keys[slot] != key) {
        keys[slot] = key;
        indices[slot] = SearchNearestIndex(palette, count, colour);
    }
    return indices[slot];
}

void NearestIndexCache::Commit() {
    // A band that wrote nothing leaves the image's memory as it was.
    if (memoryValid != &ownValid || !ownValid) return;
    CxImage::Info& info = image.Attributes();
    info.nearestColor = ownColour;
    info.nearestIndex = ownIndex;
    info.nearestValid = true;
}
