// Drives a small image through a random sequence of operations with random
// arguments; the sanitizers report any read or write outside its memory and
// any undefined arithmetic.

#include "fuzz/FuzzInput.h"
#include "image/CxImage.h"

#include <vector>

namespace {

const unsigned long kDepths[] = {0, 1, 4, 8, 24, 32};

RGBQUAD AnyColour(FuzzInput& in) {
    return in.Take<RGBQUAD>();
}

long SmallLong(FuzzInput& in) {
    return static_cast<long>(in.Take<int8_t>());
}

int32_t Small32(FuzzInput& in) {
    return in.Take<int8_t>();
}

void RunOperation(CxImage& image, FuzzInput& in) {
    RGBQUAD colour = AnyColour(in);
    const auto method = static_cast<CxImage::InterpolationMethod>(in.Take<int8_t>() % 20);
    const auto overflow = static_cast<CxImage::OverflowMethod>(in.Take<int8_t>() % 9);
    switch (in.Below(34)) {
    case 0:
        image.SetPixelIndex(SmallLong(in), SmallLong(in), in.Take<uint8_t>());
        break;
    case 1:
        image.SetPixelColor(SmallLong(in), SmallLong(in), colour, in.Below(2));
        break;
    case 2:
        image.BlendPixelColor(SmallLong(in), SmallLong(in), colour, in.AnyFloat(), true);
        break;
    case 3:
        image.DrawLine(in.Take<int32_t>(), in.Take<int32_t>(), in.Take<int32_t>(),
                       in.Take<int32_t>(), colour, true);
        break;
    case 4:
        image.GetPixelColorInterpolated(in.Coordinate(), in.Coordinate(), method, overflow,
                                        in.Below(2) ? &colour : nullptr);
        break;
    case 5:
        image.GetAreaColorInterpolated(
            in.Coordinate(), in.Coordinate(), static_cast<float>(in.Below(40)) / 4.0f,
            static_cast<float>(in.Below(40)) / 4.0f, method, overflow, &colour);
        break;
    case 6:
        image.AlphaCreate();
        break;
    case 7:
        image.AlphaFlip();
        image.AlphaMirror();
        image.AlphaInvert();
        break;
    case 8:
        image.AlphaStrip();
        break;
    case 9:
        image.SelectionAddRect(
            RECT{in.Take<int32_t>(), in.Take<int32_t>(), in.Take<int32_t>(), in.Take<int32_t>()});
        break;
    case 10:
        image.SelectionAddEllipse(RECT{Small32(in), Small32(in), Small32(in), Small32(in)});
        break;
    case 11: {
        std::vector<POINT> points(in.Below(8));
        for (POINT& p : points) p = POINT{Small32(in), Small32(in)};
        image.SelectionAddPolygon(points.data(), static_cast<long>(points.size()));
        break;
    }
    case 12:
        image.SelectionAddColor(colour);
        image.SelectionInvert();
        break;
    case 13:
        image.SelectionDelete();
        break;
    case 14:
        image.Flip();
        image.Mirror();
        break;
    case 15:
        image.RotateLeft();
        break;
    case 16:
        image.RotateRight();
        image.Rotate180();
        break;
    case 17:
        image.Negative();
        break;
    case 18:
        image.GrayScale();
        break;
    case 19:
        image.Crop(SmallLong(in), SmallLong(in), SmallLong(in), SmallLong(in));
        break;
    case 20:
        image.Expand(in.Below(8), in.Below(8), in.Below(8), in.Below(8), colour);
        break;
    case 21:
        image.Thumbnail(in.Below(40), in.Below(40), colour);
        break;
    case 22:
        image.Resample(in.Below(40), in.Below(40), in.Take<int8_t>());
        break;
    case 23:
        image.QIShrink(in.Below(40), in.Below(40));
        break;
    case 24:
        image.Rotate(in.AnyFloat());
        break;
    case 25:
        image.Skew(in.Coordinate(), in.Coordinate(), SmallLong(in), SmallLong(in), in.Below(2));
        break;
    case 26:
        image.CircleTransform(in.Take<int8_t>(), SmallLong(in), in.AnyFloat());
        break;
    case 27:
        image.DecreaseBpp(kDepths[in.Below(6)], in.Below(2));
        break;
    case 28:
        image.IncreaseBpp(kDepths[in.Below(6)]);
        break;
    case 29:
        image.Dither(in.Take<int8_t>());
        break;
    case 30:
        image.Resample2(in.Below(40), in.Below(40), method, overflow, nullptr, in.Below(2));
        break;
    case 31:
        image.Rotate2(in.AnyFloat(), nullptr, method, overflow, &colour, in.Below(2), in.Below(2));
        break;
    case 32:
        image.CropRotatedRectangle(SmallLong(in), SmallLong(in), SmallLong(in), SmallLong(in),
                                   in.AnyFloat());
        break;
    default: {
        CxImage copy(image);
        image.SwapIndex(in.Take<uint8_t>(), in.Take<uint8_t>());
        image.SetTransIndex(in.Take<int16_t>());
        image.Transfer(copy);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const unsigned long width = in.Below(24), height = in.Below(24);
    const unsigned long bpp = kDepths[in.Below(6)];

    // Pixel rows from the input, through the raw import.
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4 + 4);
    for (unsigned char& byte : pixels) byte = in.Take<uint8_t>();
    CxImage image;
    image.CreateFromArray(pixels.data(), width, height, bpp, (width * bpp + 7) / 8, in.Below(2));
    image.SetTransIndex(static_cast<long>(in.Take<int8_t>()));
    for (int i = 0; i < 12 && !in.Empty(); ++i) RunOperation(image, in);
    return 0;
}
