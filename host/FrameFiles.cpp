// BMP and PNG of an image: the bitmap as held in memory behind a file header;
// PNG chunks written here, their data compressed by stb_image_write, palette
// images keeping their palette and depth.

#include "host/FrameFiles.h"

#include "image/CxImage.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

void Put16(uint8_t* at, uint16_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

void Put32BigEndian(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (24 - 8 * i));
}

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

// Appends one PNG chunk: length, type, data and the CRC of type and data.
void AppendChunk(std::vector<uint8_t>& png, const char* type, const uint8_t* data, size_t size) {
    uint8_t length[4], crc[4];
    Put32BigEndian(length, uint32_t(size));
    const uint8_t* typeBytes = reinterpret_cast<const uint8_t*>(type);
    Put32BigEndian(crc, ~Crc32(Crc32(0xFFFFFFFFu, typeBytes, 4), data, size));
    png.insert(png.end(), length, length + 4);
    png.insert(png.end(), typeBytes, typeBytes + 4);
    if (size != 0) png.insert(png.end(), data, data + size);
    png.insert(png.end(), crc, crc + 4);
}

// Flushes and closes a file whose content went out when `written`; on failure
// the error is the system's reason for the first step that failed.
bool Finish(std::FILE* file, bool written, std::string& error) {
    written = written && std::fflush(file) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) error = std::strerror(written ? errno : writeError);
    return written && closed;
}

} // namespace

bool ReadDibLayout(CxImage& image, DibLayout& dib, std::string& error) {
    const uint8_t* block = static_cast<const uint8_t*>(image.GetDIB());
    if (block == nullptr || image.GetSize() <= 0) {
        error = "the image is empty";
        return false;
    }
    dib.header = reinterpret_cast<const BITMAPINFOHEADER*>(block);
    dib.bpp = dib.header->biBitCount;
    if (dib.header->biWidth <= 0 || dib.header->biHeight <= 0 ||
        (dib.bpp != 1 && dib.bpp != 4 && dib.bpp != 8 && dib.bpp != 24)) {
        error = "unsupported image layout";
        return false;
    }
    dib.width = uint32_t(dib.header->biWidth);
    dib.height = uint32_t(dib.header->biHeight);
    dib.colours = dib.header->biClrUsed;
    if (dib.colours == 0 && dib.bpp <= 8) dib.colours = 1u << dib.bpp;
    dib.palette = reinterpret_cast<const RGBQUAD*>(block + dib.header->biSize);
    dib.pixels = block + dib.header->biSize + 4 * size_t(dib.colours);
    dib.stride = ((size_t(dib.width) * dib.bpp + 31) / 32) * 4;
    const size_t needed = dib.header->biSize + 4 * size_t(dib.colours) + dib.stride * dib.height;
    if (needed > size_t(image.GetSize())) {
        error = "inconsistent image size";
        return false;
    }
    return true;
}

bool WriteBmp(CxImage& image, const std::string& path, std::string& error) {
    DibLayout dib;
    if (!ReadDibLayout(image, dib, error)) return false;
    const uint32_t dibSize = uint32_t(image.GetSize());
    uint8_t header[14] = {'B', 'M'};
    Put32(header + 2, 14 + dibSize);
    Put16(header + 6, 0);
    Put16(header + 8, 0);
    Put32(header + 10, uint32_t(14 + dib.header->biSize + 4 * dib.colours));

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(header, 1, sizeof header, file) == sizeof header &&
                         std::fwrite(image.GetDIB(), 1, dibSize, file) == dibSize;
    return Finish(file, written, error);
}

bool EncodePng(CxImage& image, std::vector<uint8_t>& png, std::string& error) {
    DibLayout dib;
    if (!ReadDibLayout(image, dib, error)) return false;
    // Filter type 0 before every row; rows are stored bottom-up, the file
    // starts with the top row. PNG packs pixels below 8 bits as the DIB does.
    const size_t rowBytes = (size_t(dib.width) * dib.bpp + 7) / 8;
    std::vector<uint8_t> raw;
    raw.reserve((rowBytes + 1) * dib.height);
    for (uint32_t row = 0; row < dib.height; ++row) {
        const uint8_t* stored = dib.pixels + dib.stride * (dib.height - 1 - row);
        raw.push_back(0);
        raw.insert(raw.end(), stored, stored + rowBytes);
        if (dib.bpp == 24) { // BGR to RGB
            for (size_t at = raw.size() - rowBytes; at + 2 < raw.size(); at += 3) {
                std::swap(raw[at], raw[at + 2]);
            }
        }
    }
    int compressedSize = 0;
    std::unique_ptr<unsigned char, decltype(&std::free)> compressed(
        raw.size() <= size_t(std::numeric_limits<int>::max())
            ? stbi_zlib_compress(raw.data(), int(raw.size()), &compressedSize, 8)
            : nullptr,
        &std::free);
    if (!compressed) {
        error = "encoding failed";
        return false;
    }

    std::vector<uint8_t> header(13);
    Put32BigEndian(&header[0], dib.width);
    Put32BigEndian(&header[4], dib.height);
    header[8] = uint8_t(dib.bpp <= 8 ? dib.bpp : 8);
    header[9] = dib.bpp <= 8 ? 3 : 2; // palette or RGB
    std::vector<uint8_t> palette;
    for (uint32_t i = 0; dib.bpp <= 8 && i < dib.colours && i < 256; ++i) {
        palette.insert(palette.end(),
                       {dib.palette[i].rgbRed, dib.palette[i].rgbGreen, dib.palette[i].rgbBlue});
    }

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.assign(signature, signature + sizeof signature);
    AppendChunk(png, "IHDR", header.data(), header.size());
    if (!palette.empty()) AppendChunk(png, "PLTE", palette.data(), palette.size());
    AppendChunk(png, "IDAT", compressed.get(), size_t(compressedSize));
    AppendChunk(png, "IEND", nullptr, 0);
    return true;
}

bool WritePng(CxImage& image, const std::string& path, std::string& error) {
    std::vector<uint8_t> png;
    if (!EncodePng(image, png, error)) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    return Finish(file, std::fwrite(png.data(), 1, png.size(), file) == png.size(), error);
}
