// The image calls of the C interface: images made from caller's pixels or
// camera frames, read back top row first, saved, and transformed in place.
#include "capi/Images.h"
#include "host/FrameFiles.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

using capi::Fail;
using capi::Guard;
using capi::ImageObject;

namespace {

int32_t NullArgument(const char* name) noexcept {
    return Fail(UEYE_E_ARGUMENT, name, " is null");
}

// Runs `call` on the image behind `handle` while holding its lock.
template <typename Call> int32_t WithImage(ueye_image handle, Call&& call) noexcept {
    return Guard([&] {
        std::shared_ptr<ImageObject> object = capi::Images().Find(handle);
        if (!object) return capi::BadHandle("the image");
        boost::lock_guard<boost::mutex> hold(object->lock);
        if (!object->image.IsValid()) return Fail(UEYE_E_STATE, "the image holds no pixels");
        return call(object->image);
    });
}

// Runs an image operation that reports failure by its result. The library's
// error text is added when the operation wrote one.
template <typename Operation>
int32_t Transform(ueye_image handle, const char* name, Operation&& operation) noexcept {
    return WithImage(handle, [&](CxImage& image) {
        const std::string before = image.GetLastError();
        if (operation(image)) return UEYE_OK;
        const std::string after = image.GetLastError();
        const std::string reason = after != before && !after.empty() ? ": " + after : "";
        return Fail(UEYE_E_OPERATION, name, reason.c_str());
    });
}

int32_t Publish(std::shared_ptr<ImageObject> object, ueye_image* image) {
    *image = reinterpret_cast<ueye_image>(capi::Images().Add(std::move(object)));
    return UEYE_OK;
}

bool IsMethod(int32_t method) {
    return method >= UEYE_IM_NEAREST_NEIGHBOUR && method <= UEYE_IM_CATROM;
}

bool IsOverflow(int32_t overflow) {
    return overflow >= UEYE_OM_COLOR && overflow <= UEYE_OM_MIRROR;
}

bool IsSize(int32_t width, int32_t height) {
    return width >= 1 && height >= 1;
}

// The palette index of pixel x of a stored row of 1, 4 or 8 bits per pixel;
// pixels below 8 bits fill each byte from its high bits.
uint8_t IndexAt(const uint8_t* row, size_t x, unsigned bpp) {
    switch (bpp) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (row[x >> 1] >> (x & 1 ? 0 : 4)) & 15;
    default:
        return row[x];
    }
}

// Writes the picture's rows, top first, as one grey byte or three bytes per
// pixel. Indexed pixels go through their palette colours.
void ReadRows(CxImage& image, uint8_t* out, size_t stride, bool grey) {
    const size_t width = image.GetWidth();
    const size_t height = image.GetHeight();
    const unsigned bpp = image.GetBpp();
    RGBQUAD colours[256];
    for (unsigned i = 0; bpp <= 8 && i < 256; ++i) colours[i] = image.GetPaletteColor(uint8_t(i));
    const bool identity = bpp == 8 && image.IsGrayScale();
    for (size_t y = 0; y < height; ++y, out += stride) {
        const uint8_t* row = image.GetBits(static_cast<unsigned long>(height - 1 - y));
        if ((bpp == 24 && !grey) || (identity && grey)) {
            std::memcpy(out, row, width * (grey ? 1 : 3));
        } else if (grey) {
            for (size_t x = 0; x < width; ++x) out[x] = colours[IndexAt(row, x, bpp)].rgbRed;
        } else {
            for (size_t x = 0; x < width; ++x) {
                const RGBQUAD colour = colours[IndexAt(row, x, bpp)];
                out[3 * x] = colour.rgbBlue;
                out[3 * x + 1] = colour.rgbGreen;
                out[3 * x + 2] = colour.rgbRed;
            }
        }
    }
}

bool HasGreyPalette(CxImage& image) {
    if (image.GetBpp() > 8) return false;
    for (unsigned i = 0; i < (1u << image.GetBpp()); ++i) {
        const RGBQUAD colour = image.GetPaletteColor(uint8_t(i));
        if (colour.rgbRed != colour.rgbGreen || colour.rgbGreen != colour.rgbBlue) return false;
    }
    return true;
}

} // namespace

extern "C" {

int32_t ueye_image_create(uint32_t width, uint32_t height, uint32_t bits_per_pixel,
                          ueye_image* image) {
    if (image == nullptr) return NullArgument("the image output");
    if (bits_per_pixel != 1 && bits_per_pixel != 4 && bits_per_pixel != 8 && bits_per_pixel != 24) {
        return Fail(UEYE_E_ARGUMENT, "bits per pixel must be 1, 4, 8 or 24");
    }
    if (width == 0 || height == 0) return Fail(UEYE_E_ARGUMENT, "width and height must be >= 1");
    return Guard([&] {
        auto object = std::make_shared<ImageObject>();
        if (object->image.Create(width, height, bits_per_pixel) == nullptr) {
            return Fail(UEYE_E_ARGUMENT,
                        "the image cannot be created: ", object->image.GetLastError());
        }
        if (bits_per_pixel <= 8) object->image.SetGrayPalette();
        return Publish(std::move(object), image);
    });
}

int32_t ueye_image_from_buffer(const void* pixels, size_t size, uint32_t width, uint32_t height,
                               uint32_t bits_per_pixel, size_t stride, int32_t order,
                               ueye_image* image) {
    if (pixels == nullptr) return NullArgument("the pixel buffer");
    if (image == nullptr) return NullArgument("the image output");
    if (bits_per_pixel != 1 && bits_per_pixel != 4 && bits_per_pixel != 8 && bits_per_pixel != 24 &&
        bits_per_pixel != 32) {
        return Fail(UEYE_E_ARGUMENT, "bits per pixel must be 1, 4, 8, 24 or 32");
    }
    if (width == 0 || height == 0) return Fail(UEYE_E_ARGUMENT, "width and height must be >= 1");
    if (order != UEYE_TOP_DOWN && order != UEYE_BOTTOM_UP) {
        return Fail(UEYE_E_ARGUMENT, "the row order must be UEYE_TOP_DOWN or UEYE_BOTTOM_UP");
    }
    const uint64_t rowBytes = (uint64_t(width) * bits_per_pixel + 7) / 8;
    if (rowBytes > SIZE_MAX || stride > ULONG_MAX) {
        return Fail(UEYE_E_ARGUMENT, "the rows are too long");
    }
    if (!capi::BufferFits(size_t(rowBytes), height, stride, size)) return UEYE_E_ARGUMENT;
    return Guard([&] {
        auto object = std::make_shared<ImageObject>();
        // The import only reads the caller's pixels.
        unsigned char* source = static_cast<unsigned char*>(const_cast<void*>(pixels));
        if (!object->image.CreateFromArray(source, width, height, bits_per_pixel,
                                           static_cast<unsigned long>(stride),
                                           order == UEYE_TOP_DOWN)) {
            return Fail(UEYE_E_ARGUMENT,
                        "the image cannot be created: ", object->image.GetLastError());
        }
        return Publish(std::move(object), image);
    });
}

int32_t ueye_image_free(ueye_image image) {
    return Guard([&] {
        // The object ends once a call still running on it has finished.
        return capi::Images().Remove(image) ? UEYE_OK : capi::BadHandle("the image");
    });
}

int32_t ueye_image_info(ueye_image image, uint32_t* width, uint32_t* height,
                        uint32_t* bits_per_pixel, size_t* stride) {
    if (width == nullptr || height == nullptr || bits_per_pixel == nullptr || stride == nullptr) {
        return NullArgument("an info output");
    }
    return WithImage(image, [&](CxImage& picture) {
        *width = uint32_t(picture.GetWidth());
        *height = uint32_t(picture.GetHeight());
        *bits_per_pixel = picture.GetBpp();
        *stride = picture.GetEffWidth();
        return UEYE_OK;
    });
}

int32_t ueye_image_is_gray(ueye_image image, int32_t* grey) {
    if (grey == nullptr) return NullArgument("the grey output");
    return WithImage(image, [&](CxImage& picture) {
        *grey = HasGreyPalette(picture) ? 1 : 0;
        return UEYE_OK;
    });
}

int32_t ueye_image_pixels(ueye_image image, void** top_row, ptrdiff_t* row_step) {
    if (top_row == nullptr || row_step == nullptr) return NullArgument("a pixel output");
    return WithImage(image, [&](CxImage& picture) {
        *top_row = picture.GetBits(picture.GetHeight() - 1);
        *row_step = -ptrdiff_t(picture.GetEffWidth());
        return UEYE_OK;
    });
}

int32_t ueye_image_read(ueye_image image, void* buffer, size_t stride, size_t size,
                        int32_t format) {
    if (buffer == nullptr) return NullArgument("the pixel buffer");
    if (format != UEYE_PIXELS_GRAY8 && format != UEYE_PIXELS_BGR24) {
        return Fail(UEYE_E_ARGUMENT, "the format must be UEYE_PIXELS_GRAY8 or UEYE_PIXELS_BGR24");
    }
    return WithImage(image, [&](CxImage& picture) {
        const bool grey = format == UEYE_PIXELS_GRAY8;
        if (grey && !HasGreyPalette(picture)) {
            return Fail(UEYE_E_ARGUMENT, "the image has colours: read it as UEYE_PIXELS_BGR24");
        }
        const size_t rowBytes = size_t(picture.GetWidth()) * (grey ? 1 : 3);
        if (!capi::BufferFits(rowBytes, picture.GetHeight(), stride, size)) {
            return UEYE_E_ARGUMENT;
        }
        ReadRows(picture, static_cast<uint8_t*>(buffer), stride, grey);
        return UEYE_OK;
    });
}

int32_t ueye_image_save(ueye_image image, const char* path, int32_t file_type) {
    if (path == nullptr || *path == '\0') return Fail(UEYE_E_ARGUMENT, "the path is empty");
    if (file_type != UEYE_FILE_BMP && file_type != UEYE_FILE_PNG) {
        return Fail(UEYE_E_ARGUMENT, "the file type must be UEYE_FILE_BMP or UEYE_FILE_PNG");
    }
    return WithImage(image, [&](CxImage& picture) {
        std::string error;
        const bool written = file_type == UEYE_FILE_BMP ? WriteBmp(picture, path, error)
                                                        : WritePng(picture, path, error);
        if (written) return UEYE_OK;
        error = std::string(path) + ": " + error;
        return Fail(UEYE_E_IO, "cannot write ", error.c_str());
    });
}

int32_t ueye_image_resample(ueye_image image, int32_t width, int32_t height, int32_t mode) {
    if (!IsSize(width, height)) return Fail(UEYE_E_ARGUMENT, "width and height must be >= 1");
    if (mode < 0 || mode > 2) return Fail(UEYE_E_ARGUMENT, "the resample mode must be 0, 1 or 2");
    return Transform(image, "Resample failed",
                     [&](CxImage& picture) { return picture.Resample(width, height, mode); });
}

int32_t ueye_image_resample2(ueye_image image, int32_t width, int32_t height, int32_t method,
                             int32_t overflow) {
    if (!IsSize(width, height)) return Fail(UEYE_E_ARGUMENT, "width and height must be >= 1");
    if (!IsMethod(method)) return Fail(UEYE_E_ARGUMENT, "unknown interpolation method");
    if (!IsOverflow(overflow)) return Fail(UEYE_E_ARGUMENT, "unknown overflow method");
    return Transform(image, "Resample2 failed", [&](CxImage& picture) {
        return picture.Resample2(width, height, CxImage::InterpolationMethod(method),
                                 CxImage::OverflowMethod(overflow));
    });
}

int32_t ueye_image_rotate2(ueye_image image, float degrees, int32_t method, int32_t overflow,
                           const uint8_t* replacement, int32_t keep_size) {
    if (!std::isfinite(degrees)) return Fail(UEYE_E_ARGUMENT, "the angle is not finite");
    if (!IsMethod(method)) return Fail(UEYE_E_ARGUMENT, "unknown interpolation method");
    if (!IsOverflow(overflow)) return Fail(UEYE_E_ARGUMENT, "unknown overflow method");
    if (keep_size != 0 && keep_size != 1) return Fail(UEYE_E_ARGUMENT, "keep_size must be 0 or 1");
    RGBQUAD colour{};
    if (replacement != nullptr) {
        colour = RGBQUAD{replacement[0], replacement[1], replacement[2], replacement[3]};
    }
    return Transform(image, "Rotate2 failed", [&](CxImage& picture) {
        return picture.Rotate2(degrees, nullptr, CxImage::InterpolationMethod(method),
                               CxImage::OverflowMethod(overflow),
                               replacement != nullptr ? &colour : nullptr, true, keep_size == 1);
    });
}

int32_t ueye_image_rotate(ueye_image image, float degrees) {
    if (!std::isfinite(degrees)) return Fail(UEYE_E_ARGUMENT, "the angle is not finite");
    return Transform(image, "Rotate failed",
                     [&](CxImage& picture) { return picture.Rotate(degrees); });
}

int32_t ueye_image_rotate_left(ueye_image image) {
    return Transform(image, "RotateLeft failed",
                     [](CxImage& picture) { return picture.RotateLeft(); });
}

int32_t ueye_image_rotate_right(ueye_image image) {
    return Transform(image, "RotateRight failed",
                     [](CxImage& picture) { return picture.RotateRight(); });
}

int32_t ueye_image_rotate_180(ueye_image image) {
    return Transform(image, "Rotate180 failed",
                     [](CxImage& picture) { return picture.Rotate180(); });
}

int32_t ueye_image_flip(ueye_image image) {
    return Transform(image, "Flip failed", [](CxImage& picture) { return picture.Flip(); });
}

int32_t ueye_image_mirror(ueye_image image) {
    return Transform(image, "Mirror failed", [](CxImage& picture) { return picture.Mirror(); });
}

int32_t ueye_image_negative(ueye_image image) {
    return Transform(image, "Negative failed", [](CxImage& picture) { return picture.Negative(); });
}

int32_t ueye_image_grayscale(ueye_image image) {
    return Transform(image, "GrayScale failed",
                     [](CxImage& picture) { return picture.GrayScale(); });
}

int32_t ueye_image_crop(ueye_image image, int32_t left, int32_t top, int32_t right,
                        int32_t bottom) {
    if (left < 0 || top < 0 || right <= left || bottom <= top) {
        return Fail(UEYE_E_ARGUMENT, "the crop rectangle is empty or starts outside");
    }
    return Transform(image, "Crop failed",
                     [&](CxImage& picture) { return picture.Crop(left, top, right, bottom); });
}

int32_t ueye_image_increase_bpp(ueye_image image, uint32_t bits_per_pixel) {
    if (bits_per_pixel != 4 && bits_per_pixel != 8 && bits_per_pixel != 24) {
        return Fail(UEYE_E_ARGUMENT, "bits per pixel must be 4, 8 or 24");
    }
    return Transform(image, "IncreaseBpp failed (the image is deeper already)",
                     [&](CxImage& picture) { return picture.IncreaseBpp(bits_per_pixel); });
}

int32_t ueye_image_decrease_bpp(ueye_image image, uint32_t bits_per_pixel, int32_t diffuse) {
    if (bits_per_pixel != 1 && bits_per_pixel != 4 && bits_per_pixel != 8) {
        return Fail(UEYE_E_ARGUMENT, "bits per pixel must be 1, 4 or 8");
    }
    if (diffuse != 0 && diffuse != 1) return Fail(UEYE_E_ARGUMENT, "diffuse must be 0 or 1");
    return Transform(
        image, "DecreaseBpp failed (the image is shallower already)",
        [&](CxImage& picture) { return picture.DecreaseBpp(bits_per_pixel, diffuse == 1); });
}

int32_t ueye_image_dither(ueye_image image, int32_t method) {
    if (method < 0 || method > 7) return Fail(UEYE_E_ARGUMENT, "the dither method must be 0 to 7");
    return Transform(image, "Dither failed",
                     [&](CxImage& picture) { return picture.Dither(method); });
}
}
