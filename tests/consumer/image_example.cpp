// The image library on its own: create a picture, resample it, and save it
// as a BMP file, built in memory through a CxMemFile.
#include "image/CxImage.h"
#include "stream/CxIOFile.h"
#include "stream/CxMemFile.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    CxImage image(64, 48, 24);
    for (long y = 0; y < 48; ++y)
        for (long x = 0; x < 64; ++x)
            image.SetPixelColor(
                x, y, RGBQUAD{static_cast<uint8_t>(4 * x), static_cast<uint8_t>(5 * y), 128, 0});

    if (!image.Resample2(100, 75, CxImage::IM_BICUBIC2, CxImage::OM_REPEAT)) return 1;

    // A BMP file is a 14-byte file header followed by the image's own block:
    // its bitmap header, palette (none at 24 bpp) and bottom-up rows.
    const uint32_t block = static_cast<uint32_t>(image.GetSize());
    const uint32_t fileSize = 14 + block, pixelOffset = 14 + 40;
    const uint8_t header[14] = {'B',
                                'M',
                                static_cast<uint8_t>(fileSize),
                                static_cast<uint8_t>(fileSize >> 8),
                                static_cast<uint8_t>(fileSize >> 16),
                                static_cast<uint8_t>(fileSize >> 24),
                                0,
                                0,
                                0,
                                0,
                                static_cast<uint8_t>(pixelOffset),
                                0,
                                0,
                                0};
    CxMemFile memory;
    memory.Open();
    memory.Write(header, 1, sizeof header);
    memory.Write(image.GetDIB(), 1, block);
    const int32_t size = memory.Size();
    uint8_t* bytes = memory.GetBuffer(true); // detached: ours to free

    bool saved = size == static_cast<int32_t>(fileSize);
    if (argc > 1) {
        CxIOFile file;
        saved = saved && file.Open(argv[1], "wb") &&
                file.Write(bytes, 1, static_cast<size_t>(size)) == static_cast<size_t>(size) &&
                file.Close();
    }
    std::printf("%lu x %lu, %d bytes of BMP\n", image.GetWidth(), image.GetHeight(), size);
    std::free(bytes);
    return saved ? 0 : 1;
}
