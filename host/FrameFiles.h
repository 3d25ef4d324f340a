#pragma once

// The picture files of framegrab, its live view and the C interface: an
// image's bitmap layout, BMP files, and PNG bytes and files.

#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CxImage;

// Where an image's device-independent bitmap keeps its parts: rows are
// stored bottom-up, each `stride` bytes apart.
struct DibLayout {
    const BITMAPINFOHEADER* header = nullptr;
    const RGBQUAD* palette = nullptr;
    uint32_t colours = 0;
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bpp = 0;
};

// Reads the layout of a non-empty 1, 4, 8 or 24-bit image whose block holds
// all its rows; otherwise says why not.
bool ReadDibLayout(CxImage& image, DibLayout& dib, std::string& error);

// Writes the image as a Windows bitmap file: a 14-byte file header followed
// by the image's device-independent bitmap as it is held in memory.
bool WriteBmp(CxImage& image, const std::string& path, std::string& error);

// The image as a PNG file's bytes: palette images keep their palette and bit
// depth, 24-bit images become RGB; the top row comes first.
bool EncodePng(CxImage& image, std::vector<uint8_t>& png, std::string& error);

// Writes the image as a PNG file (EncodePng's bytes).
bool WritePng(CxImage& image, const std::string& path, std::string& error);
