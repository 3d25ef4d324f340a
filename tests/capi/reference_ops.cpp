// The image operations done directly through CxImage, for the Python tests
// to hold the package's results to, byte for byte:
//
//   reference_ops INPUT WIDTH HEIGHT BPP OUTPUT.bmp OPERATION [ARGUMENTS...]
//
// INPUT holds the picture's rows top first, without padding, at 8 (grey) or
// 24 (blue, green, red) bits per pixel; the result is written as framegrab
// writes its BMP files.
#include "host/FrameFiles.h"
#include "image/CxImage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool Apply(CxImage& image, const std::string& op, char** args, int count) {
    auto i = [&](int k) { return k < count ? std::atol(args[k]) : 0L; };
    auto f = [&](int k) { return k < count ? float(std::atof(args[k])) : 0.0f; };
    using IM = CxImage::InterpolationMethod;
    using OM = CxImage::OverflowMethod;
    if (op == "resample") return image.Resample(i(0), i(1), int(i(2)));
    if (op == "resample2") return image.Resample2(i(0), i(1), IM(i(2)), OM(i(3)));
    if (op == "rotate2") return image.Rotate2(f(0), nullptr, IM(i(1)), OM(i(2)), nullptr, true);
    if (op == "rotate") return image.Rotate(f(0));
    if (op == "rotate_left") return image.RotateLeft();
    if (op == "rotate_right") return image.RotateRight();
    if (op == "rotate_180") return image.Rotate180();
    if (op == "flip") return image.Flip();
    if (op == "mirror") return image.Mirror();
    if (op == "negative") return image.Negative();
    if (op == "grayscale") return image.GrayScale();
    if (op == "crop") return image.Crop(i(0), i(1), i(2), i(3));
    if (op == "increase_bpp") return image.IncreaseBpp(i(0));
    if (op == "decrease_bpp") return image.DecreaseBpp(i(0), i(1) != 0);
    if (op == "dither") return image.Dither(i(0));
    std::fprintf(stderr, "unknown operation %s\n", op.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s INPUT WIDTH HEIGHT BPP OUTPUT OPERATION [ARGS...]\n",
                     argv[0]);
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    std::vector<unsigned char> pixels((std::istreambuf_iterator<char>(input)),
                                      std::istreambuf_iterator<char>());
    const unsigned long width = std::strtoul(argv[2], nullptr, 10);
    const unsigned long height = std::strtoul(argv[3], nullptr, 10);
    const unsigned long bpp = std::strtoul(argv[4], nullptr, 10);
    const unsigned long lineLength = width * (bpp / 8);
    CxImage image;
    if (pixels.size() != lineLength * height ||
        !image.CreateFromArray(pixels.data(), width, height, bpp, lineLength, true)) {
        std::fprintf(stderr, "bad input\n");
        return 2;
    }
    if (!Apply(image, argv[6], argv + 7, argc - 7)) return 1;
    std::string error;
    if (!WriteBmp(image, argv[5], error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
