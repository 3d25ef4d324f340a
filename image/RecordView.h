#pragma once

// RecordView: the library's own view of an image's record, for the code that
// works on an image's pixels without being one of its members (the samplers,
// the callers of the kernels, the colour writer, the area rows) and for the
// tests. Through it they read and write the bitmap header, the attribute
// block, the pixel rows and the alpha and selection planes, and call the
// unchecked accessors. It is CxImage's one friend; a host never sees it, as
// this header is not installed.
//
// A view is one pointer, cheap to pass by value, and lives no longer than its
// image. Its calls are inline, since the samplers make them per pixel.

#include "image/CxImage.h"

#include <cstddef>
#include <cstdint>

class RecordView {
public:
    explicit RecordView(CxImage& image) : image(&image) {}

    // The image itself, for its public operations.
    CxImage& Image() const { return *image; }

    // The bitmap header of the pixel block, and the attribute block.
    BITMAPINFOHEADER& Header() const { return image->head; }
    CxImage::Info& Attributes() const { return image->info; }

    // The pixel block (header, palette, rows); null for an image without
    // pixels.
    void* Block() const { return image->pixelBuffer; }
    bool HasPixels() const { return image->pixelBuffer != nullptr; }
    // Row 0 (the bottom row of the picture) and the bytes from one row to
    // the next, padding included.
    uint8_t* FirstRow() const { return image->info.firstRow; }
    size_t RowBytes() const { return image->info.effWidth; }
    // The alpha and selection planes, one byte per pixel in rows of the
    // image's width; null where the image has none.
    uint8_t* AlphaPlane() const { return image->alpha; }
    uint8_t* SelectionPlane() const { return image->selection; }

    // The unchecked accessors: the caller has established a pixel block and
    // 0 <= x < width, 0 <= y < height.
    unsigned char BlindGetPixelIndex(long x, long y) const {
        return image->BlindGetPixelIndex(x, y);
    }
    RGBQUAD BlindGetPixelColor(long x, long y) const { return image->BlindGetPixelColor(x, y); }
    void BlindSetPixelIndex(long x, long y, unsigned char index) const {
        image->BlindSetPixelIndex(x, y, index);
    }
    void BlindSetPixelColor(long x, long y, RGBQUAD colour, bool setalpha = false) const {
        image->BlindSetPixelColor(x, y, colour, setalpha);
    }
    void* BlindGetPixelPointer(long x, long y) const { return image->BlindGetPixelPointer(x, y); }
    unsigned char BlindAlphaGet(long x, long y) const { return image->BlindAlphaGet(x, y); }

    // The colour of pixel (x, y) with an overflow method, on 64-bit
    // coordinates whatever the width of long: the samplers' cells may lie
    // beyond the 32-bit range.
    RGBQUAD PixelColorWithOverflowWide(long long x, long long y, CxImage::OverflowMethod method,
                                       RGBQUAD* const replacement) const {
        return image->PixelColorWithOverflowWide(x, y, method, replacement);
    }
    // Folds cell (x, y) back inside the image by a wrap, repeat or mirror
    // overflow, on 64-bit coordinates; a cell inside, an image of no width
    // or height and any other method leave it as it is
    // (interpolation/Overflow.cpp).
    void FoldWide(long long& x, long long& y, CxImage::OverflowMethod method) const;

private:
    CxImage* image;
};
