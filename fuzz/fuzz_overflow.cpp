// The coordinate folding and the operations that take pivots and corners as
// long values, over the whole long range.

#include "fuzz/FuzzImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    CxImage image;
    ImportImage(image, in);
    for (int i = 0; i < 16 && !in.Empty(); ++i) {
        RGBQUAD colour = in.Take<RGBQUAD>();
        const auto overflow = static_cast<CxImage::OverflowMethod>(in.Take<int8_t>() % 9);
        long x = in.AnyLong(), y = in.AnyLong();
        switch (in.Below(5)) {
        case 0:
            image.GetPixelColorWithOverflow(x, y, overflow, in.Below(2) ? &colour : nullptr);
            break;
        case 1:
            image.OverflowCoordinates(x, y, overflow);
            break;
        case 2: {
            float fx = in.AnyFloat(), fy = in.AnyFloat();
            image.OverflowCoordinates(fx, fy, overflow);
            break;
        }
        case 3: {
            CxImage destination;
            image.CropRotatedRectangle(x, y, in.AnyLong(), in.AnyLong(), in.AnyFloat(),
                                       &destination);
            break;
        }
        default: {
            CxImage skewed(image);
            skewed.Skew(in.Coordinate(), in.Coordinate(), x, y, in.Below(2));
            break;
        }
        }
    }
    return 0;
}
