#include "host/FrameFiles.h"

#include "image/CxImage.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

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

bool ReadLayout(CxImage& image, DibLayout& dib, std::string& error) {
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

void Put16(uint8_t* at, uint16_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

bool WriteBmp(CxImage& image, const std::string& path, std::string& error) {
    DibLayout dib;
    if (!ReadLayout(image, dib, error)) return false;
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
                         std::fwrite(image.GetDIB(), 1, dibSize, file) == dibSize &&
                         std::fflush(file) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) error = std::strerror(written ? errno : writeError);
    return written && closed;
}

bool WritePng(CxImage& image, const std::string& path, std::string& error) {
    DibLayout dib;
    if (!ReadLayout(image, dib, error)) return false;

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory";
        return false;
    }
    std::vector<png_color> palette;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = std::ferror(file.get()) ? std::strerror(errno) : "encoding failed";
        return false;
    }
    png_init_io(png, file.get());
    if (dib.bpp <= 8) {
        png_set_IHDR(png, info, dib.width, dib.height, dib.bpp, PNG_COLOR_TYPE_PALETTE,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        const uint32_t count = dib.colours < 256 ? dib.colours : 256;
        for (uint32_t i = 0; i < count; ++i) {
            palette.push_back(
                {dib.palette[i].rgbRed, dib.palette[i].rgbGreen, dib.palette[i].rgbBlue});
        }
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    } else {
        png_set_IHDR(png, info, dib.width, dib.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    }
    png_write_info(png, info);
    if (dib.bpp == 24) png_set_bgr(png);
    // Rows are stored bottom-up; the file starts with the top row.
    for (uint32_t row = 0; row < dib.height; ++row) {
        const uint8_t* stored = dib.pixels + dib.stride * (dib.height - 1 - row);
        png_write_row(png, const_cast<png_bytep>(stored));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool flushed = std::fflush(file.get()) == 0;
    const int flushError = errno;
    if (std::fclose(file.release()) != 0 || !flushed) {
        error = std::strerror(flushed ? errno : flushError);
        return false;
    }
    return true;
}
