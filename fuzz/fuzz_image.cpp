// Drives an imported image through a random sequence of operations with
// random arguments, writing results into no destination, another image or
// the image itself; the sanitizers report any read or write outside memory
// and any undefined arithmetic.

#include "fuzz/FuzzImage.h"
#include "image/RowBands.h"

#include <algorithm>

namespace {

const unsigned long kDepths[] = {0, 1, 4, 8, 24, 32};

long SmallLong(FuzzInput& in) {
    return static_cast<long>(in.Take<int8_t>());
}

int32_t Small32(FuzzInput& in) {
    return in.Take<int8_t>();
}

// Work of one operation, in output pixels times taps read per pixel, above
// which the fuzzer skips it: repeated enlarging operations (Rotate2 grows the
// canvas each time) would otherwise reach sizes whose legitimate work takes
// seconds under the sanitizers, and an input should cost about a millisecond.
constexpr long long kWorkBudget = 1LL << 15;

long long Taps(CxImage::InterpolationMethod method) {
    if (method == CxImage::IM_LANCZOS) return 144;
    if (method >= CxImage::IM_BSPLINE && method <= CxImage::IM_CATROM) return 16;
    return 4;
}

bool Affordable(const CxImage& image, long long pixels, long long taps) {
    const long long area = static_cast<long long>(image.GetWidth()) * image.GetHeight();
    return std::max(pixels, area) * taps <= kWorkBudget;
}

// The canvas of a turn holds the whole turned picture: at most (W + H)².
long long TurnedCanvas(const CxImage& image) {
    const long long side = static_cast<long long>(image.GetWidth()) + image.GetHeight() + 2;
    return side * side;
}

// No destination (in place), the other image, or the image itself.
CxImage* Destination(FuzzInput& in, CxImage& image, CxImage& other) {
    switch (in.Below(3)) {
    case 0:
        return nullptr;
    case 1:
        return &other;
    default:
        return &image;
    }
}

void RunPaletteOperation(CxImage& image, CxImage& other, FuzzInput& in, RGBQUAD colour) {
    RGBQUAD quads[256];
    CxImage::rgb_color rgb[256];
    unsigned char red[256], green[256], blue[256];
    for (int i = 0; i < 256; ++i) {
        quads[i] = in.Take<RGBQUAD>();
        rgb[i] = CxImage::rgb_color{quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue};
        red[i] = quads[i].rgbRed;
        green[i] = quads[i].rgbGreen;
        blue[i] = quads[i].rgbBlue;
    }
    const unsigned long count = in.Below(2) ? in.Below(260) : in.Take<uint32_t>();
    switch (in.Below(8)) {
    case 0:
        image.SetPalette(quads, count);
        break;
    case 1:
        image.SetPalette(rgb, count);
        break;
    case 2:
        image.SetPalette(count, red, green, blue);
        break;
    case 3:
        image.SetPaletteColor(in.Take<uint8_t>(), colour);
        image.GetPaletteColor(in.Take<uint8_t>(), &red[0], &green[0], &blue[0]);
        break;
    case 4:
        image.BlendPalette(in.Take<uint32_t>(), in.AnyLong());
        break;
    case 5:
        image.GetNearestIndex(colour);
        image.IsSamePalette(other, in.Below(2));
        break;
    case 6:
        image.SetStdPalette();
        break;
    default:
        image.SetGrayPalette();
        break;
    }
}

void RunPlaneOperation(CxImage& image, CxImage& other, FuzzInput& in) {
    CxImage* destination = Destination(in, image, other);
    switch (in.Below(16)) {
    case 0:
        image.AlphaCreate();
        break;
    case 1:
        image.AlphaFlip();
        image.AlphaMirror();
        image.AlphaInvert();
        break;
    case 2:
        image.AlphaStrip();
        break;
    case 3:
        image.AlphaCopy(other);
        break;
    case 4:
        image.AlphaSet(other);
        break;
    case 5:
        image.AlphaSplit(destination);
        break;
    case 6:
        image.AlphaPaletteEnable(in.Below(2));
        image.AlphaPaletteSplit(destination);
        break;
    case 7:
        image.AlphaSet(in.AnyLong(), in.AnyLong(), in.Take<uint8_t>());
        image.AlphaGet(in.AnyLong(), in.AnyLong());
        image.AlphaSetMax(in.Take<uint8_t>());
        break;
    case 8:
        image.AlphaDelete();
        break;
    case 9:
        image.SelectionCopy(other);
        break;
    case 10:
        image.SelectionSplit(destination);
        break;
    case 11: {
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        image.SelectionToHRGN(region);
        DeleteObject(region);
        break;
    }
    case 12:
        image.SelectionAddPixel(in.Take<int32_t>(), in.Take<int32_t>());
        image.SelectionIsInside(in.AnyLong(), in.AnyLong());
        break;
    case 13: {
        RECT box;
        image.SelectionGetBox(box);
        image.SelectionClear();
        break;
    }
    case 14:
        image.SelectionCreate();
        break;
    default:
        image.SelectionDelete();
        break;
    }
}

void RunOperation(CxImage& image, CxImage& other, FuzzInput& in) {
    RGBQUAD colour = in.Take<RGBQUAD>();
    const auto method = static_cast<CxImage::InterpolationMethod>(in.Take<int8_t>() % 20);
    const auto overflow = static_cast<CxImage::OverflowMethod>(in.Take<int8_t>() % 9);
    CxImage* destination = Destination(in, image, other);
    switch (in.Below(34)) {
    case 0:
        image.SetPixelIndex(in.AnyLong(), in.AnyLong(), in.Take<uint8_t>());
        image.GetPixelIndex(in.AnyLong(), in.AnyLong());
        break;
    case 1:
        image.SetPixelColor(in.AnyLong(), in.AnyLong(), colour, in.Below(2));
        image.GetPixelColor(in.AnyLong(), in.AnyLong(), in.Below(2));
        break;
    case 2:
        image.BlendPixelColor(in.AnyLong(), in.AnyLong(), colour, in.AnyFloat(), true);
        image.GetPixelGray(in.AnyLong(), in.AnyLong());
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
    case 7:
        RunPlaneOperation(image, other, in);
        break;
    case 8:
        RunPaletteOperation(image, other, in, colour);
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
        ImportImage(other, in);
        break;
    case 14:
        image.Flip();
        image.Mirror();
        break;
    case 15:
        image.RotateLeft(destination);
        break;
    case 16:
        image.RotateRight(destination);
        image.Rotate180(destination);
        break;
    case 17:
        image.Negative();
        break;
    case 18:
        image.GrayScale();
        break;
    case 19:
        image.Crop(in.AnyLong(), in.AnyLong(), in.AnyLong(), in.AnyLong(), destination);
        break;
    case 20:
        if (in.Below(2)) {
            image.Expand(in.Size(8), in.Size(8), in.Size(8), in.Size(8), colour, destination);
        } else {
            image.Expand(in.Size(40), in.Size(40), colour, destination);
        }
        break;
    case 21:
        image.Thumbnail(in.Size(40), in.Size(40), colour, destination);
        break;
    case 22:
        image.Resample(in.Size(40), in.Size(40), in.Take<int8_t>(), destination);
        break;
    case 23:
        image.QIShrink(in.Size(40), in.Size(40), destination);
        break;
    case 24: {
        // Arguments are read whether or not the operation runs, so that the
        // rest of the input means the same either way.
        const float angle = in.AnyFloat();
        if (Affordable(image, TurnedCanvas(image), 4)) image.Rotate(angle, destination);
        break;
    }
    case 25: {
        // Pivots stay small here; the overflow target takes them to the extremes.
        const float xgain = in.Coordinate(), ygain = in.Coordinate();
        const long xpivot = SmallLong(in), ypivot = SmallLong(in);
        const bool interpolate = in.Below(2);
        if (Affordable(image, 0, 4)) image.Skew(xgain, ygain, xpivot, ypivot, interpolate);
        break;
    }
    case 26:
        image.CircleTransform(in.Take<int8_t>(), in.AnyLong(), in.AnyFloat());
        break;
    case 27: {
        // A caller's palette holds the entries of the target depth: 256 at most.
        std::vector<RGBQUAD> palette(256, colour);
        image.DecreaseBpp(kDepths[in.Below(6)], in.Below(2), in.Below(2) ? palette.data() : nullptr,
                          in.Take<uint16_t>());
        break;
    }
    case 28:
        image.IncreaseBpp(kDepths[in.Below(6)]);
        break;
    case 29:
        image.Dither(in.AnyLong());
        break;
    case 30: {
        const long width = in.Size(40), height = in.Size(40);
        const bool disableAveraging = in.Below(2);
        // Averaging samples each source pixel's overlap with every output
        // pixel it meets: up to four reads of it.
        const bool small = width >= 0 && width < 40 && height >= 0 && height < 40;
        if (Affordable(image, small ? width * height : 0, 4 * Taps(method)))
            image.Resample2(width, height, method, overflow, destination, disableAveraging);
        break;
    }
    case 31: {
        const float angle = in.AnyFloat();
        const bool optimizeRightAngles = in.Below(2), keepOriginalSize = in.Below(2);
        if (Affordable(image, TurnedCanvas(image), Taps(method)))
            image.Rotate2(angle, destination, method, overflow, &colour, optimizeRightAngles,
                          keepOriginalSize);
        break;
    }
    case 32:
        image.CropRotatedRectangle(SmallLong(in), SmallLong(in), SmallLong(in), SmallLong(in),
                                   in.AnyFloat(), destination);
        break;
    default: {
        CxImage copy(image, in.Below(2), in.Below(2), in.Below(2));
        image.SwapIndex(in.Take<uint8_t>(), in.Take<uint8_t>());
        image.SetTransIndex(in.AnyLong());
        image.Transfer(in.Below(2) ? copy : other);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RowBands::SetMinimumPixels(0); // the band threads split even small images
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two to four band threads for inputs whose length is a multiple of 16,
    // one for the rest (starting threads costs more than a small image's
    // work); the choice takes no byte, so every byte means the same either way.
    CxImage::SetThreadCount(size % 16 == 0 ? 2 + static_cast<int>(size / 16 % 3) : 1);
    FuzzInput in(data, size);
    CxImage image, other;
    ImportImage(image, in);
    if (in.Below(2)) ImportImage(image, in); // a second import may reuse the buffer
    image.SetTransIndex(static_cast<long>(in.Take<int8_t>()));
    for (int i = 0; i < 12 && !in.Empty(); ++i) RunOperation(image, other, in);
    return 0;
}
