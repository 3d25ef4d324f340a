// Kernel unit of the rotated rows: Rotate's source positions of a row of
// destination pixels, and along a row of Rotate2's targets the columns whose
// bilinear windows lie outside the image and the grey and 24-bit bilinear
// samples of those inside.

#include "image/KernelUnit.h"

#include "image/KernelLanes.h"
#include "image/Truncate.h"
#include "interpolation/RotatedRowKernels.h"
#include "interpolation/SampleKernelHelpers.h"
#include "interpolation/SampleWindow.h"

namespace {

#if UEYE_SIMD_LEVEL >= 1
using namespace lanes;
#endif

void RotationSources(double c, double s, double ys, double yc, long firstX, long count, int32_t* sx,
                     int32_t* sy) {
    long i = 0;
#if UEYE_SIMD_LEVEL >= 1
    // A register of columns a step. The truncating conversions give
    // 0x80000000 for values beyond 32 bits and NaN, as TruncateToLong does.
    using namespace lanes;
    const Doubles vc = Set(c), vs = Set(s), vys = Set(ys), vyc = Set(yc), half = Set(0.5),
                  step = Set(kCount);
    Doubles x = Set(static_cast<double>(firstX)) + Iota();
    for (; i + kCount <= count; i += kCount, x = x + step) {
        StoreInts(sx + i, Truncate((x * vc + vys) - half));
        StoreInts(sy + i, Truncate((vyc - x * vs) - half));
    }
#endif
    for (; i < count; ++i) {
        const double x = static_cast<double>(firstX + i);
        sx[i] = static_cast<int32_t>(TruncateToLong(x * c + ys - 0.5));
        sy[i] = static_cast<int32_t>(TruncateToLong(yc - x * s - 0.5));
    }
}

uint8_t PlainBilinear(const uint8_t* p0, size_t stride, float t, float u) {
    const BilinearWeights weights(t, u);
    const uint8_t* p1 = p0 + stride;
    return weights.Mix(p0[0], p0[1], p1[0], p1[1]);
}

// The source point of target column x of a rotated row.
void RotatedPoint(const RotatedRow& r, long x, float& srcX, float& srcY) {
    srcX = static_cast<float>(r.columnCos[x] + r.rowSin);
    srcY = static_cast<float>(r.rowCos - r.columnSin[x]);
    if (r.shift) {
        srcX = static_cast<float>(srcX + r.shiftX);
        srcY = static_cast<float>(srcY + r.shiftY);
    }
}

#if UEYE_SIMD_LEVEL >= 1
// The same for kCount columns from x, each rounded to float and held as a
// double.
void RotatedPoints(const RotatedRow& r, long x, Doubles& srcX, Doubles& srcY) {
    srcX = RoundToFloat(Load(r.columnCos + x) + Set(r.rowSin));
    srcY = RoundToFloat(Set(r.rowCos) - Load(r.columnSin + x));
    if (r.shift) {
        srcX = RoundToFloat(srcX + Set(r.shiftX));
        srcY = RoundToFloat(srcY + Set(r.shiftY));
    }
}
#endif

long RotatedOutside(const RotatedRow& r, long first, long count) {
    // A bilinear window is wholly outside when its base cell is below −1 or
    // at least the size on an axis: exactly when the coordinate is not above
    // −1 and below the size (NaN included).
    const double width = static_cast<double>(r.width), height = static_cast<double>(r.height);
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    const Doubles below = Set(-1.0), endX = Set(width), endY = Set(height);
    for (; k + kCount <= count; k += kCount) {
        Doubles srcX, srcY;
        RotatedPoints(r, first + k, srcX, srcY);
        if (!NoneWithin(srcX, srcY, below, endX, below, endY)) break;
    }
#endif
    for (; k < count; ++k) {
        float srcX, srcY;
        RotatedPoint(r, first + k, srcX, srcY);
        if (srcX > -1 && srcX < width && srcY > -1 && srcY < height) break;
    }
    return k;
}

long GreyRotatedRow(const RotatedRow& r, long first, long count, uint8_t* out) {
    // The sample of column x, or false when its window is not inside. With
    // v ≥ 0 the base cell is the truncation, and it is inside exactly when
    // v < size − 1; a negative v (or NaN) is outside.
    const double lastX = static_cast<double>(r.width - 1);
    const double lastY = static_cast<double>(r.height - 1);
    auto plain = [&](long x, uint8_t& result) {
        float srcX, srcY;
        RotatedPoint(r, x, srcX, srcY);
        if (!(srcX >= 0 && srcX < lastX && srcY >= 0 && srcY < lastY)) return false;
        const long long xi = static_cast<long long>(srcX), yi = static_cast<long long>(srcY);
        result = PlainBilinear(
            r.firstRow + static_cast<size_t>(yi) * r.stride + static_cast<size_t>(xi), r.stride,
            BilinearWeights::Fraction(srcX, xi), BilinearWeights::Fraction(srcY, yi));
        return true;
    };
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    const Doubles zero = Set(0.0), endX = Set(lastX), endY = Set(lastY);
    for (; k + kCount <= count; k += kCount) {
        Doubles srcX, srcY;
        RotatedPoints(r, first + k, srcX, srcY);
        if (!AllWithin(srcX, zero, endX) || !AllWithin(srcY, zero, endY)) break;
        const Ints cellX = Truncate(srcX), cellY = Truncate(srcY);
        int32_t xi[kCount], yi[kCount];
        StoreInts(xi, cellX);
        StoreInts(yi, cellY);
        const uint8_t* p[kCount];
        for (int i = 0; i < kCount; ++i)
            p[i] = r.firstRow + static_cast<size_t>(yi[i]) * r.stride + static_cast<size_t>(xi[i]);
        const Corners c(p, r.stride);
        const Floats t = Narrow(srcX - Widen(cellX));
        StoreBytes(out + k, BilinearMix(t, Complement(t), Narrow(srcY - Widen(cellY)), c.a00, c.a10,
                                        c.a01, c.a11));
    }
#endif
    for (; k < count; ++k)
        if (!plain(first + k, out[k])) break;
    return k;
}

long ColourRotatedRow(const RotatedRow& r, long first, long count, uint8_t* pixels,
                      uint8_t* alpha) {
    const double lastX = static_cast<double>(r.width - 1);
    const double lastY = static_cast<double>(r.height - 1);
    const size_t alphaStride = static_cast<size_t>(r.width);
    auto store = [&](long k, int32_t xi, int32_t yi, int32_t fx, int32_t fy) {
        const RGBQUAD c = ColourAt(r.firstRow, r.stride, r.alpha, alphaStride, xi, yi, fx, fy);
        pixels[3 * k] = c.rgbBlue;
        pixels[3 * k + 1] = c.rgbGreen;
        pixels[3 * k + 2] = c.rgbRed;
        if (alpha != nullptr) alpha[k] = c.rgbReserved;
    };
    long k = 0;
#if UEYE_SIMD_LEVEL >= 1
    // Source points, cells and 1/256 fractions a register at a time.
    const Doubles zero = Set(0.0), endX = Set(lastX), endY = Set(lastY), steps = Set(256.0);
    for (; k + kCount <= count; k += kCount) {
        Doubles srcX, srcY;
        RotatedPoints(r, first + k, srcX, srcY);
        if (!AllWithin(srcX, zero, endX) || !AllWithin(srcY, zero, endY)) break;
        const Ints cellX = Truncate(srcX), cellY = Truncate(srcY);
        int32_t xi[kCount], yi[kCount], fx[kCount], fy[kCount];
        StoreInts(xi, cellX);
        StoreInts(yi, cellY);
        StoreInts(fx, Truncate((srcX - Widen(cellX)) * steps));
        StoreInts(fy, Truncate((srcY - Widen(cellY)) * steps));
        for (int i = 0; i < kCount; ++i) store(k + i, xi[i], yi[i], fx[i], fy[i]);
    }
#endif
    for (; k < count; ++k) {
        float srcX, srcY;
        RotatedPoint(r, first + k, srcX, srcY);
        if (!(srcX >= 0 && srcX < lastX && srcY >= 0 && srcY < lastY)) break;
        const long long xi = static_cast<long long>(srcX), yi = static_cast<long long>(srcY);
        store(k, static_cast<int32_t>(xi), static_cast<int32_t>(yi),
              static_cast<int32_t>((static_cast<double>(srcX) - xi) * 256),
              static_cast<int32_t>((static_cast<double>(srcY) - yi) * 256));
    }
    return k;
}

// This level's table, each entry by name.
constexpr RotatedRowKernels RotatedRowEntries() {
    RotatedRowKernels kernels{};
    kernels.rotationSources = RotationSources;
    kernels.rotatedOutside = RotatedOutside;
    kernels.greyRotatedRow = GreyRotatedRow;
    kernels.colourRotatedRow = ColourRotatedRow;
    return kernels;
}

} // namespace

extern const RotatedRowKernels UEYE_KERNEL_TABLE(kRotatedRowKernels) = RotatedRowEntries();
