#pragma once

#include "fuzz/FuzzInput.h"
#include "image/CxImage.h"

#include <memory>
#include <vector>

// Builds an image from the fuzzer's bytes through the raw imports, at any
// depth (unsupported ones included) and any line length, shorter or longer
// than a row. Every source row lies in a buffer of exactly the bytes the line
// length gives it, so a read past a row is caught.
inline void ImportImage(CxImage& image, FuzzInput& in) {
    static const unsigned long kDepths[] = {0, 1, 2, 4, 8, 16, 24, 32};
    // Mostly tens of pixels a side, one side in 32 up to a few hundred: every
    // input then costs little, and the large ones still come up.
    const unsigned long width = in.Below(32) != 0 ? in.Below(24) : in.Take<uint16_t>() % 320;
    const unsigned long height = in.Below(32) != 0 ? in.Below(24) : in.Take<uint16_t>() % 320;
    const unsigned long bpp = kDepths[in.Below(8)];
    const unsigned long lineLength = in.Take<uint16_t>() % (4 * width + 9);
    const bool flip = in.Below(2);
    if (in.Below(2)) {
        // new[] gives an address even for no bytes, as a caller's buffer has.
        const size_t size = size_t(lineLength) * height;
        std::unique_ptr<unsigned char[]> pixels(new unsigned char[size]);
        for (size_t i = 0; i < size; ++i) pixels[i] = in.Take<uint8_t>();
        image.CreateFromArray(pixels.get(), width, height, bpp, lineLength, flip);
    } else {
        std::vector<std::unique_ptr<unsigned char[]>> rows(height);
        std::vector<unsigned char*> pointers(height);
        for (size_t y = 0; y < height; ++y) {
            if (in.Below(8) == 0) continue; // a missing row
            rows[y].reset(new unsigned char[lineLength]);
            for (unsigned long x = 0; x < lineLength; ++x) rows[y][x] = in.Take<uint8_t>();
            pointers[y] = rows[y].get();
        }
        image.CreateFromMatrix(pointers.data(), width, height, bpp, lineLength, flip);
    }
}
