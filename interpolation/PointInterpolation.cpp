// Point sampling (GetPixelColorInterpolated): sample windows and axes, the
// bilinear fast path of 24-bit images, the walk over one window, folded
// windows, and the kernel walk of a row of samples inside a 24-bit image.

#include "image/CxImage.h"
#include "image/RecordView.h"
#include "image/Truncate.h"
#include "interpolation/ColourBilinearKernels.h"
#include "interpolation/SampleWindow.h"
#include "interpolation/WalkKernels.h"

#include <cmath>

namespace {

float Kernel(CxImage::InterpolationMethod method, float d) {
    switch (method) {
    case CxImage::IM_BSPLINE:
        return CxImage::KernelBSpline(d);
    case CxImage::IM_BICUBIC:
        return CxImage::KernelCubic(d);
    case CxImage::IM_BICUBIC2:
        return CxImage::KernelGeneralizedCubic(d, kBicubic2Parameter);
    case CxImage::IM_LANCZOS:
        return CxImage::KernelLanczosSinc(d, 6.0f);
    case CxImage::IM_BOX:
        return CxImage::KernelBox(d);
    case CxImage::IM_HERMITE:
        return CxImage::KernelHermite(d);
    case CxImage::IM_HAMMING:
        return CxImage::KernelHamming(d);
    case CxImage::IM_SINC:
        return CxImage::KernelSinc(d);
    case CxImage::IM_BLACKMAN:
        return CxImage::KernelBlackman(d);
    case CxImage::IM_BESSEL:
        return CxImage::KernelBessel(d);
    case CxImage::IM_GAUSSIAN:
        return CxImage::KernelGaussian(d);
    case CxImage::IM_QUADRATIC:
        return CxImage::KernelQuadratic(d);
    case CxImage::IM_MITCHELL:
        return CxImage::KernelMitchell(d);
    case CxImage::IM_CATROM:
        return CxImage::KernelCatrom(d);
    default:
        return 0.0f;
    }
}

// Pixel position minus sample position, rounded to float.
float Distance(long long pixel, float sample) {
    return static_cast<float>(static_cast<double>(pixel) - static_cast<double>(sample));
}

struct ChannelSums {
    float red = 0, green = 0, blue = 0, alpha = 0;

    void AddColour(float weight, const RGBQUAD& c) {
        Accumulate(red, weight, c.rgbRed);
        Accumulate(green, weight, c.rgbGreen);
        Accumulate(blue, weight, c.rgbBlue);
        Accumulate(alpha, weight, c.rgbReserved);
    }

    RGBQUAD Result(bool withAlpha) const {
        return RGBQUAD{ClampChannel(blue), ClampChannel(green), ClampChannel(red),
                       withAlpha ? ClampChannel(alpha) : uint8_t(0)};
    }
};

// The kernel window's columns and rows folded by a wrap, repeat or mirror
// overflow into columns[] and rows[].
void FoldWindow(RecordView image, const SampleWindow& window, const SampleAxis& ax,
                const SampleAxis& ay, CxImage::OverflowMethod overflow, long long* columns,
                long long* rows) {
    // The folds act on each axis alone and leave cells inside the image as
    // they are, so the window's cells are folded once per axis instead of
    // once per tap: the same pixels, read the same way.
    for (int k = 0; k < window.size; ++k) {
        long long unusedY = 0, unusedX = 0;
        columns[k] = ax.cell - window.before + k;
        rows[k] = ay.cell - window.before + k;
        image.FoldWide(columns[k], unusedY, overflow);
        image.FoldWide(unusedX, rows[k], overflow);
    }
}

} // namespace

SampleWindow::SampleWindow(CxImage::InterpolationMethod m)
    : method(m), kernel(m >= CxImage::IM_BSPLINE && m <= CxImage::IM_CATROM),
      before(m == CxImage::IM_LANCZOS ? 5
             : kernel                 ? 1
                                      : 0),
      after(m == CxImage::IM_LANCZOS ? 6
            : kernel                 ? 2
                                     : 1),
      size(static_cast<int>(before + after + 1)) {}

bool SampleWindow::AllOutside(long long xi, long long yi, long long width, long long height) const {
    if (kernel)
        return xi + after < 0 || xi - before >= width || yi + after < 0 || yi - before >= height;
    return xi < -1 || xi >= width || yi < -1 || yi >= height;
}

SampleAxis::SampleAxis(const SampleWindow& window, float v)
    : coordinate(v), cell(BaseCell(v)), weights{}, fraction(0) {
    if (window.kernel) {
        // Separable weights: a 4-cell window, or 12 cells for Lanczos with radius 6.
        for (int i = 0; i < window.size; ++i)
            weights[i] = Kernel(window.method, Distance(cell - window.before + i, v));
    } else if (cell >= 0 && cell < INT32_MAX) {
        // Only the fast path reads it, for a cell inside the image.
        fraction = BilinearSource::Fraction(v, cell);
    }
}

BilinearSource::BilinearSource(CxImage& image) {
    const RecordView record(image);
    direct = record.HasPixels() && record.Header().biClrUsed == 0;
    firstRow = record.FirstRow();
    stride = record.RowBytes();
    alpha = image.AlphaIsValid() ? record.AlphaPlane() : nullptr;
    width = record.Header().biWidth;
    height = record.Header().biHeight;
}

RGBQUAD BilinearSource::At(long long xi, long long yi, long fx, long fy) const {
    const int32_t x = static_cast<int32_t>(xi), y = static_cast<int32_t>(yi);
    const int32_t steps256X = static_cast<int32_t>(fx), steps256Y = static_cast<int32_t>(fy);
    RGBQUAD result;
    ColourBilinearKernelsInUse().colourBilinearSamples(*this, &x, &y, &steps256X, &steps256Y, 1,
                                                       &result);
    return result;
}

RGBQUAD CxImage::GetPixelColorInterpolated(float x, float y, InterpolationMethod method,
                                           OverflowMethod overflow, RGBQUAD* const replacement) {
    if (method == IM_NEAREST_NEIGHBOUR) {
        return GetPixelColorWithOverflow(TruncateToLong(static_cast<double>(x) + 0.5),
                                         TruncateToLong(static_cast<double>(y) + 0.5), overflow,
                                         replacement);
    }
    const SampleWindow window(method);
    if (window.AllOutside(BaseCell(x), BaseCell(y), head.biWidth, head.biHeight)) {
        if (OutsideIsConstant(overflow))
            return GetPixelColorWithOverflow(-999, -999, overflow, replacement);
        OverflowCoordinates(x, y, overflow);
    }
    return SampleWindowAt(RecordView(*this), window, SampleAxis(window, x), SampleAxis(window, y),
                          overflow, replacement);
}

RGBQUAD SampleWindowAt(RecordView image, const SampleWindow& window, const SampleAxis& ax,
                       const SampleAxis& ay, CxImage::OverflowMethod overflow,
                       RGBQUAD* const replacement) {
    const long long xi = ax.cell, yi = ay.cell;
    const long long before = window.before, after = window.after;
    const BITMAPINFOHEADER& head = image.Header();
    const long long width = head.biWidth, height = head.biHeight;
    const bool direct = image.HasPixels() && head.biClrUsed == 0;
    const bool withAlpha = image.Image().AlphaIsValid();
    const bool windowInside =
        xi - before >= 0 && xi + after < width && yi - before >= 0 && yi + after < height;

    if (window.kernel) {
        const int size = window.size;
        const float* kx = ax.weights;
        const float* ky = ay.weights;
        if (direct && windowInside) {
            RGBQUAD result;
            // One column, its weights a table of stride 1.
            const int32_t start = static_cast<int32_t>(xi - before);
            SampleWindowsInside(image, window, KernelTaps{&start, ax.weights, 1}, 1, ay, &result);
            return result;
        }
        ChannelSums sums;
        if (image.HasPixels() && overflow >= CxImage::OM_WRAP && overflow <= CxImage::OM_MIRROR) {
            long long columns[12], rows[12];
            FoldWindow(image, window, ax, ay, overflow, columns, rows);
            for (int j = 0; j < size; ++j)
                for (int i = 0; i < size; ++i)
                    sums.AddColour(static_cast<float>(kx[i] * ky[j]),
                                   image.BlindGetPixelColor(static_cast<long>(columns[i]),
                                                            static_cast<long>(rows[j])));
            return sums.Result(withAlpha);
        }
        for (int j = 0; j < size; ++j) {
            const long long yy = yi - before + j;
            for (int i = 0; i < size; ++i) {
                const float w = static_cast<float>(kx[i] * ky[j]);
                sums.AddColour(w, image.PixelColorWithOverflowWide(xi - before + i, yy, overflow,
                                                                   replacement));
            }
        }
        return sums.Result(withAlpha);
    }

    // Bilinear, also for every method value outside the enumeration.
    if (direct && windowInside)
        return BilinearSource(image.Image()).At(xi, yi, ax.fraction, ay.fraction);

    const BilinearWeights weights(ax.coordinate, ay.coordinate, xi, yi);
    const RGBQUAD c00 = image.PixelColorWithOverflowWide(xi, yi, overflow, replacement);
    const RGBQUAD c10 = image.PixelColorWithOverflowWide(xi + 1, yi, overflow, replacement);
    const RGBQUAD c01 = image.PixelColorWithOverflowWide(xi, yi + 1, overflow, replacement);
    const RGBQUAD c11 = image.PixelColorWithOverflowWide(xi + 1, yi + 1, overflow, replacement);
    auto mix = [&](uint8_t a00, uint8_t a10, uint8_t a01, uint8_t a11) {
        return weights.Mix(a00, a10, a01, a11);
    };
    return RGBQUAD{mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue),
                   mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen),
                   mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed),
                   withAlpha
                       ? mix(c00.rgbReserved, c10.rgbReserved, c01.rgbReserved, c11.rgbReserved)
                       : uint8_t(0)};
}

void SampleWindowsInside(RecordView image, const SampleWindow& window, const KernelTaps& columns,
                         int count, const SampleAxis& ay, RGBQUAD* results) {
    const ColourPlanes planes{image.FirstRow(), image.RowBytes(),
                              image.Image().AlphaIsValid() ? image.AlphaPlane() : nullptr,
                              static_cast<size_t>(image.Header().biWidth)};
    WalkKernelsInUse().colourWindowsInside(planes, window, columns, count, ay, results);
}
