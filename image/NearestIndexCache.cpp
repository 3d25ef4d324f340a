#include "image/NearestIndexCache.h"

#include <cstring>

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

NearestIndexCache::NearestIndexCache(CxImage& target)
    : image(target), palette(target.GetPalette()), count(0), greyRamp(false) {
    if (palette == nullptr) return;
    const uint32_t used = target.head.biClrUsed, important = target.head.biClrImportant;
    count = important != 0 && important < used ? important : used;
    greyRamp = count == 256;
    for (uint32_t i = 0; i < count && greyRamp; ++i)
        greyRamp = palette[i].rgbRed == i && palette[i].rgbGreen == i && palette[i].rgbBlue == i;
    if (!greyRamp) {
        keys.assign(size_t(1) << kSlotBits, 0);
        indices.assign(size_t(1) << kSlotBits, 0);
    }
}

unsigned char NearestIndexCache::Look(const RGBQUAD& colour) {
    if (greyRamp) {
        // On the ramp entry i is (i, i, i): the squared distance is smallest
        // at the integer nearest to the mean of the channels, which is never
        // halfway between two, and a grey level is its own exact match.
        const unsigned sum = 0u + colour.rgbRed + colour.rgbGreen + colour.rgbBlue;
        return static_cast<unsigned char>((sum + 1) / 3);
    }
    const uint32_t key = Key(colour);
    const size_t slot = (key * 2654435761u) >> (32 - kSlotBits);
    if (keys[slot] != key) {
        keys[slot] = key;
        indices[slot] = SearchNearestIndex(palette, count, colour);
    }
    return indices[slot];
}

unsigned char NearestIndexCache::Find(const RGBQUAD& colour) {
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

void NearestIndexCache::SetPixelColor(long x, long y, const RGBQUAD& colour, bool setalpha) {
    if (image.pixelBuffer == nullptr || !image.IsInside(x, y)) return;
    if (image.head.biClrUsed != 0)
        image.BlindSetPixelIndex(x, y, Find(colour));
    else
        image.BlindSetPixelColor(x, y, colour, setalpha);
}
