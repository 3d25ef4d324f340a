// Differential target: every transformation with fast forms (grey ramp and
// 24-bit pixels, SIMD, reused destination blocks, parallel bands) must give
// the same bytes as its plain per-pixel algorithm written here with the
// public per-pixel API. Each operation also runs into no destination, a fresh
// one and a reused one of the result's size, which must all agree (for Crop,
// Expand and Thumbnail, whose fast forms are only the reused blocks, that is
// the check).

#include "fuzz/FuzzInput.h"
#include "image/CxImage.h"
#include "image/RowBands.h"
#include "image/Truncate.h"
#include "interpolation/Elementary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using Method = CxImage::InterpolationMethod;
using Overflow = CxImage::OverflowMethod;

// Random pixels at 1, 4, 8 or 24 bpp; indexed images get the grey ramp or
// random colours; sometimes an alpha plane and a transparent index.
void MakeImage(CxImage& image, FuzzInput& in) {
    static const unsigned long kDepths[] = {1, 4, 8, 24};
    // Mostly tens of pixels a side; one image in 32 up to 128, wide enough for
    // every vector loop's main body and tail several times over.
    const bool large = in.Below(32) == 0;
    const unsigned long width = 1 + (large ? in.Take<uint16_t>() % 128 : in.Below(24));
    const unsigned long height = 1 + (large ? in.Take<uint16_t>() % 128 : in.Below(24));
    const unsigned long bpp = kDepths[in.Below(4)];
    if (image.Create(width, height, bpp) == nullptr) return;
    if (bpp != 24 && in.Below(4) == 0) {
        for (unsigned i = 0; i < image.GetNumColors(); ++i)
            image.SetPaletteColor(static_cast<unsigned char>(i), in.Take<uint8_t>(),
                                  in.Take<uint8_t>(), in.Take<uint8_t>());
    } else if (bpp == 8 && in.Below(8) != 0) {
        image.SetGrayPalette();
    }
    const uint32_t seed = in.Take<uint32_t>();
    uint8_t* bits = image.GetBits();
    const size_t size = static_cast<size_t>(image.GetEffWidth()) * height;
    uint32_t state = seed | 1;
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        // Smooth or noisy content, so that both kinds of sums are exercised.
        bits[i] = (seed & 1) ? static_cast<uint8_t>(state) : static_cast<uint8_t>(i * 7 / 5);
    }
    if (in.Below(4) == 0) {
        image.AlphaCreate();
        for (unsigned long y = 0; y < height; ++y)
            for (unsigned long x = 0; x < width; ++x)
                image.AlphaSet(static_cast<long>(x), static_cast<long>(y),
                               static_cast<unsigned char>(x * 31 + y * 17));
    }
    if (in.Below(8) == 0) image.SetTransIndex(in.Take<uint8_t>());
}

// Output pixels times source pixels read for each that one run of an
// operation may cost. Every operation runs four times (into no destination, a
// fresh and a reused one, then the plain form), and under the sanitizers a
// pixel read through the per-pixel API costs about half a microsecond.
constexpr long long kTapBudget = 1 << 11;
// Pixels of one result: the plain form writes each through SetPixelColor,
// which on a palette other than the grey ramp searches all of it.
constexpr long long kMaxPixels = 1 << 11;

long long Taps(Method method) {
    if (method == CxImage::IM_NEAREST_NEIGHBOUR) return 1;
    if (method == CxImage::IM_BILINEAR) return 4;
    return method == CxImage::IM_LANCZOS ? 144 : 16;
}

// The method itself if `pixels` of it stay within the budget, else the
// cheaper bilinear or nearest-neighbour method.
Method Affordable(long long pixels, Method method) {
    if (pixels * Taps(method) <= kTapBudget) return method;
    return pixels * Taps(CxImage::IM_BILINEAR) <= kTapBudget ? CxImage::IM_BILINEAR
                                                             : CxImage::IM_NEAREST_NEIGHBOUR;
}

// The size of a resampled image: each side at most twice the source's and 16
// more, and rows dropped (never the row length the vector loops walk) until a
// run stays within the budget.
void BoundOutput(const CxImage& source, long long taps, long& width, long& height) {
    width = std::min(width, 2 * static_cast<long>(source.GetWidth()) + 16);
    height = std::min(height, 2 * static_cast<long>(source.GetHeight()) + 16);
    const long long rows = std::min(kTapBudget / taps, kMaxPixels) / width;
    height = static_cast<long>(std::max(1LL, std::min<long long>(height, rows)));
}

// The rows of pixels (padding included) and the alpha plane, or false.
bool SameImage(CxImage& a, CxImage& b) {
    if (a.IsValid() != b.IsValid()) return false;
    if (!a.IsValid()) return true;
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetBpp() != b.GetBpp() || a.GetNumColors() != b.GetNumColors())
        return false;
    if (a.GetNumColors() != 0 &&
        std::memcmp(a.GetPalette(), b.GetPalette(), a.GetNumColors() * sizeof(RGBQUAD)) != 0)
        return false;
    if (std::memcmp(a.GetBits(), b.GetBits(), size_t(a.GetEffWidth()) * a.GetHeight()) != 0)
        return false;
    if (a.AlphaIsValid() != b.AlphaIsValid()) return false;
    return !a.AlphaIsValid() || std::memcmp(a.AlphaGetPointer(), b.AlphaGetPointer(),
                                            size_t(a.GetWidth()) * a.GetHeight()) == 0;
}

void Check(bool same, const char* what) {
    if (!same) {
        std::fprintf(stderr, "fast and plain forms differ: %s\n", what);
        std::abort();
    }
}

// The result's own frame (size, palette, alpha plane) with every pixel written
// again by the plain algorithm through SetPixelColor.
template <typename Pixel> CxImage Redraw(CxImage& result, Pixel pixel) {
    CxImage plain(result);
    const long width = static_cast<long>(result.GetWidth());
    const long height = static_cast<long>(result.GetHeight());
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x) pixel(plain, x, y);
    return plain;
}

// Box averaging as one pass over the source rows: each pixel's bytes spread
// in thousandths over the destination pixels it covers, destination bytes
// written in order as they are completed.
void PlainBoxAverage(CxImage& source, CxImage& result, float kx, float ky) {
    const long W = static_cast<long>(source.GetWidth()), H = static_cast<long>(source.GetHeight());
    const long newWidth = static_cast<long>(result.GetWidth());
    const long newHeight = static_cast<long>(result.GetHeight());
    const int64_t k = 1000;
    auto thousandths = [&](float fraction) -> int64_t {
        const float scaled = fraction * 1000.0f;
        return !(scaled > 0.0f) ? 0 : scaled >= 1000.0f ? k : static_cast<int64_t>(scaled);
    };
    std::vector<int64_t> first(3 * static_cast<size_t>(newWidth) + 3, 0), second(first);
    int64_t* accu = first.data();
    int64_t* carry = second.data();
    const int64_t scale = static_cast<int64_t>(1000.0f * kx * ky);
    CxImage plain(result);
    std::memset(plain.GetBits(), 0, size_t(plain.GetEffWidth()) * plain.GetHeight());
    long v = 0;
    size_t written = 0;
    auto emit = [&](int64_t sum) {
        if (v < newHeight && written < 3 * static_cast<size_t>(newWidth))
            plain.GetBits(static_cast<unsigned long>(v))[written++] =
                static_cast<uint8_t>(sum / scale);
    };
    float limitY = ky - 1.0f;
    for (long y = 0; y < H; ++y) {
        const uint8_t* row = source.GetBits(static_cast<unsigned long>(y));
        const int64_t wy = static_cast<float>(y) < limitY ? -1 : thousandths(y - limitY);
        float limitX = kx - 1.0f;
        long u = 0;
        for (long x = 0; x < W; ++x) {
            const size_t i = 3 * static_cast<size_t>(u);
            const bool whole = static_cast<float>(x) < limitX || u >= newWidth;
            const int64_t wx = whole ? 0 : thousandths(x - limitX);
            for (size_t j = 0; j < 3; ++j) {
                const int64_t byte = row[3 * x + j];
                if (wy < 0 && whole) {
                    accu[i + j] += k * byte;
                } else if (wy < 0) {
                    accu[i + j] += (k - wx) * byte;
                    accu[i + 3 + j] += wx * byte;
                } else if (whole) {
                    accu[i + j] += (k - wy) * byte;
                    carry[i + j] += wy * byte;
                } else {
                    accu[i + j] += byte * (k - wx) * (k - wy) / k;
                    emit(accu[i + j]);
                    carry[i + j] += byte * (k - wx) * wy / k;
                    accu[i + 3 + j] += byte * wx * (k - wy) / k;
                    carry[i + 3 + j] = byte * wx * wy / k;
                }
            }
            if (!whole) limitX += kx, ++u;
        }
        if (wy < 0) continue;
        if (u < newWidth)
            for (size_t j = 0; j < 3; ++j) emit(accu[3 * static_cast<size_t>(u) + j]);
        std::swap(accu, carry);
        carry[0] = carry[1] = carry[2] = 0;
        ++v, written = 0;
        limitY += ky;
    }
    for (size_t i = 0; i < 3 * static_cast<size_t>(newWidth); ++i) emit(accu[i]);
    Check(SameImage(plain, result), "box averaging");
}

void PlainResample(CxImage& source, CxImage& result, long newWidth, long newHeight, int mode) {
    const long W = static_cast<long>(source.GetWidth()), H = static_cast<long>(source.GetHeight());
    const float kx = static_cast<float>(W) / static_cast<float>(newWidth);
    const float ky = static_cast<float>(H) / static_cast<float>(newHeight);
    const bool box =
        mode != 1 && mode != 2 && newWidth < W && newHeight < H && source.GetBpp() == 24;
    if (box) return PlainBoxAverage(source, result, kx, ky);
    auto nearest = [](long i, float k, long size) {
        return std::min(static_cast<long>(static_cast<float>(i) * k), size - 1);
    };
    CxImage plain = Redraw(result, [&](CxImage& out, long x, long y) {
        if (mode == 1) {
            out.SetPixelColor(
                x, y, source.GetPixelColor(nearest(x, kx, W), nearest(y, ky, H), true), false);
        } else if (mode == 2) {
            const float fy = static_cast<float>(y) * ky - 0.5f;
            const long iy = static_cast<long>(std::floor(fy));
            const float dy = fy - static_cast<float>(iy);
            const float fx = static_cast<float>(x) * kx - 0.5f;
            const long ix = static_cast<long>(std::floor(fx));
            const float dx = fx - static_cast<float>(ix);
            float r = 0, g = 0, b = 0;
            for (int m = -1; m <= 2; ++m)
                for (int n = -1; n <= 2; ++n) {
                    const float w = CxImage::KernelBSpline(static_cast<float>(m) - dy) *
                                    CxImage::KernelBSpline(dx - static_cast<float>(n));
                    const RGBQUAD c = source.GetPixelColor(std::min(std::max(ix + n, 0L), W - 1),
                                                           std::min(std::max(iy + m, 0L), H - 1));
                    r += w * static_cast<float>(c.rgbRed);
                    g += w * static_cast<float>(c.rgbGreen);
                    b += w * static_cast<float>(c.rgbBlue);
                }
            out.SetPixelColor(x, y,
                              RGBQUAD{static_cast<uint8_t>(static_cast<long>(b)),
                                      static_cast<uint8_t>(static_cast<long>(g)),
                                      static_cast<uint8_t>(static_cast<long>(r)), 0},
                              false);
        } else {
            const float fy = static_cast<float>(y) * ky, fx = static_cast<float>(x) * kx;
            const long iy = std::min(static_cast<long>(fy), H - 1), iy1 = std::min(iy + 1, H - 1);
            const long ix = std::min(static_cast<long>(fx), W - 1), ix1 = std::min(ix + 1, W - 1);
            const double dy = static_cast<double>(fy - static_cast<float>(iy));
            const double dx = static_cast<double>(fx - static_cast<float>(ix));
            const RGBQUAD c00 = source.GetPixelColor(ix, iy, false),
                          c01 = source.GetPixelColor(ix, iy1, false);
            const RGBQUAD c10 = source.GetPixelColor(ix1, iy, false),
                          c11 = source.GetPixelColor(ix1, iy1, false);
            auto blend = [&](uint8_t a00, uint8_t a01, uint8_t a10, uint8_t a11) {
                const float left = static_cast<float>(a01 * dy + a00 * (1.0 - dy));
                const float right = static_cast<float>(a11 * dy + a10 * (1.0 - dy));
                return static_cast<uint8_t>(static_cast<long>(
                    static_cast<double>(right) * dx + static_cast<double>(left) * (1.0 - dx)));
            };
            out.SetPixelColor(x, y,
                              RGBQUAD{blend(c00.rgbBlue, c01.rgbBlue, c10.rgbBlue, c11.rgbBlue),
                                      blend(c00.rgbGreen, c01.rgbGreen, c10.rgbGreen, c11.rgbGreen),
                                      blend(c00.rgbRed, c01.rgbRed, c10.rgbRed, c11.rgbRed), 0},
                              false);
        }
        if (source.AlphaIsValid())
            out.AlphaSet(x, y, source.AlphaGet(nearest(x, kx, W), nearest(y, ky, H)));
    });
    Check(SameImage(plain, result), "Resample");
}

void PlainResample2(CxImage& source, CxImage& result, long newWidth, long newHeight, Method method,
                    Overflow overflow, bool disableAveraging) {
    const float xs = static_cast<float>(static_cast<double>(source.GetWidth()) / newWidth);
    const float ys = static_cast<float>(static_cast<double>(source.GetHeight()) / newHeight);
    const bool point = (xs <= 1 && ys <= 1) || disableAveraging;
    CxImage plain = Redraw(result, [&](CxImage& out, long x, long y) {
        const float sx = static_cast<float>((x + 0.5) * xs - 0.5);
        const float sy = static_cast<float>((y + 0.5) * ys - 0.5);
        out.SetPixelColor(x, y,
                          point ? source.GetPixelColorInterpolated(sx, sy, method, overflow)
                                : source.GetAreaColorInterpolated(sx, sy, xs, ys, method, overflow),
                          true);
    });
    Check(SameImage(plain, result), "Resample2");
}

void PlainRotate2(CxImage& source, CxImage& result, float angle, Method method, Overflow overflow,
                  RGBQUAD replacement, bool keepOriginalSize) {
    const double quarter = static_cast<float>(elementary::kHalfPi);
    const double radians = -static_cast<double>(angle) * quarter / 90.0;
    const float co = static_cast<float>(elementary::Cos(radians));
    const float si = static_cast<float>(elementary::Sin(radians));
    const float width = static_cast<float>(source.GetWidth());
    const float height = static_cast<float>(source.GetHeight());
    float xs[4] = {-0.5f, width - 0.5f, -0.5f, width - 0.5f};
    float ys[4] = {-0.5f, -0.5f, height - 0.5f, height - 0.5f};
    if (!keepOriginalSize)
        for (int i = 0; i < 4; ++i) {
            const double x = xs[i], y = ys[i];
            xs[i] = static_cast<float>(x * co - y * si);
            ys[i] = static_cast<float>(x * si + y * co);
        }
    const float startX = *std::min_element(xs, xs + 4), endX = *std::max_element(xs, xs + 4);
    const float startY = *std::min_element(ys, ys + 4), endY = *std::max_element(ys, ys + 4);
    const long newWidth = static_cast<long>(result.GetWidth());
    const long newHeight = static_cast<long>(result.GetHeight());
    float sx0 = static_cast<float>(((static_cast<double>(endX) + startX) - (newWidth - 1)) * 0.5);
    float sy0 = static_cast<float>(((static_cast<double>(endY) + startY) - (newHeight - 1)) * 0.5);
    if (keepOriginalSize) {
        sx0 = static_cast<float>(sx0 - width * 0.5);
        sy0 = static_cast<float>(sy0 - height * 0.5);
    }
    CxImage plain(result);
    float v = sy0;
    for (long y = 0; y < newHeight; ++y, v += 1.0f) {
        float u = sx0;
        for (long x = 0; x < newWidth; ++x, u += 1.0f) {
            float srcX =
                static_cast<float>(static_cast<double>(u) * co + static_cast<double>(v) * si);
            float srcY =
                static_cast<float>(static_cast<double>(v) * co - static_cast<double>(u) * si);
            if (keepOriginalSize) {
                srcX = static_cast<float>(srcX + newWidth * 0.5);
                srcY = static_cast<float>(srcY + newHeight * 0.5);
            }
            plain.SetPixelColor(
                x, y, source.GetPixelColorInterpolated(srcX, srcY, method, overflow, &replacement),
                true);
        }
    }
    Check(SameImage(plain, result), "Rotate2");
}

void PlainRotate(CxImage& source, CxImage& result, float angle) {
    const double quarter = static_cast<float>(elementary::kHalfPi);
    const double radians = -static_cast<double>(angle) * quarter / 90.0;
    const double c = elementary::Cos(radians), s = elementary::Sin(radians);
    const double width = source.GetWidth(), height = source.GetHeight();
    long minX = 0, minY = 0;
    const double cornersX[3] = {width, 0, width - 1}, cornersY[3] = {0, height, height};
    for (int i = 0; i < 3; ++i) {
        minX = std::min(minX, static_cast<long>(std::floor(cornersX[i] * c - cornersY[i] * s)));
        minY = std::min(minY, static_cast<long>(std::floor(cornersX[i] * s + cornersY[i] * c)));
    }
    CxImage plain = Redraw(result, [&](CxImage& out, long i, long j) {
        const double x = static_cast<double>(minX + i), y = static_cast<double>(minY + j);
        const long sx = TruncateToLong(x * c + y * s - 0.5),
                   sy = TruncateToLong(y * c - x * s - 0.5);
        if (source.IsIndexed())
            out.SetPixelIndex(i, j, source.GetPixelIndex(sx, sy));
        else
            out.SetPixelColor(i, j, source.GetPixelColor(sx, sy, true), false);
        out.AlphaSet(i, j, source.AlphaGet(sx, sy));
    });
    Check(SameImage(plain, result), "Rotate");
}

// Runs the operation into no destination (on a copy), a fresh destination and
// a reused one holding an image of the result's size; all must agree. Gives
// the first result.
CxImage RunEveryWay(CxImage& source, const std::function<bool(CxImage&, CxImage*)>& operation) {
    CxImage inPlace(source);
    const bool succeeded = operation(inPlace, nullptr);
    CxImage fresh;
    Check(operation(source, &fresh) == succeeded, "result with a fresh destination");
    Check(!succeeded || SameImage(inPlace, fresh), "fresh destination");
    if (succeeded && inPlace.IsValid()) {
        CxImage reused(inPlace);
        std::memset(reused.GetBits(), 0x5A, size_t(reused.GetEffWidth()) * reused.GetHeight());
        Check(operation(source, &reused), "result with a reused destination");
        Check(SameImage(inPlace, reused), "reused destination");
    }
    return inPlace;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A level asked for that the machine lacks would quietly run a lower one.
    const char* asked = std::getenv("UEYE_IMAGE_SIMD");
    if (asked != nullptr && std::strcmp(asked, CxImage::GetSimdLevel()) != 0) {
        std::printf("SKIPPED: %s is not supported by this machine\n", asked);
        std::exit(0);
    }
    RowBands::SetMinimumPixels(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    // Two to four threads on one input in about eleven (starting threads costs
    // more than a small image's work), one on the rest; the band threshold
    // lowered in LLVMFuzzerInitialize splits even the smallest images.
    const unsigned threads = in.Below(32);
    CxImage::SetThreadCount(threads < 3 ? 2 + static_cast<int>(threads) : 1);
    CxImage source;
    MakeImage(source, in);
    if (!source.IsValid()) return 0;
    const long askedWidth = 1 + in.Below(48), askedHeight = 1 + in.Below(48);
    const auto method = static_cast<Method>(1 + in.Below(16));
    const auto overflow = static_cast<Overflow>(1 + in.Below(6));
    // Resampling reads the source's pixels once or more and writes the
    // output's; the turned canvas holds at most (W + H)² / 2 pixels, and the
    // turns skip a canvas larger than kMaxPixels. A kernel method that would
    // cost more than the budget gives way to the bilinear method, and that in
    // turn to the nearest neighbour.
    const long long area = static_cast<long long>(source.GetWidth()) * source.GetHeight();
    const long long side = static_cast<long long>(source.GetWidth()) + source.GetHeight();
    long width = askedWidth, height = askedHeight;
    BoundOutput(source, 1, width, height);
    // Averaging samples each source pixel's overlap with every output pixel
    // it meets: up to four reads of it.
    const Method resampleMethod = Affordable(std::max(4 * area, 1LL * width * height), method);
    BoundOutput(source, Taps(resampleMethod), width, height);
    const long long canvas = side * side / 2 + 1;
    const Method turnMethod = Affordable(canvas, method);
    switch (in.Below(7)) {
    case 0: {
        const int mode = static_cast<int>(in.Below(4));
        width = askedWidth, height = askedHeight;
        BoundOutput(source, mode == 1 ? 1 : mode == 2 ? 16 : 4, width, height);
        CxImage result = RunEveryWay(source, [&](CxImage& image, CxImage* destination) {
            return image.Resample(width, height, mode, destination);
        });
        if (result.IsValid() &&
            (width != long(source.GetWidth()) || height != long(source.GetHeight())))
            PlainResample(source, result, width, height, mode);
        break;
    }
    case 1: {
        const bool disableAveraging = in.Below(2);
        CxImage result = RunEveryWay(source, [&](CxImage& image, CxImage* destination) {
            return image.Resample2(width, height, resampleMethod, overflow, destination,
                                   disableAveraging);
        });
        if (result.IsValid() &&
            (width != long(source.GetWidth()) || height != long(source.GetHeight())))
            PlainResample2(source, result, width, height, resampleMethod, overflow,
                           disableAveraging);
        break;
    }
    case 2: {
        if (canvas > kMaxPixels) break;
        const float angle = static_cast<float>(in.Take<int16_t>()) / 16.0f;
        const bool keepOriginalSize = in.Below(2);
        RGBQUAD replacement = in.Take<RGBQUAD>();
        CxImage result = RunEveryWay(source, [&](CxImage& image, CxImage* destination) {
            return image.Rotate2(angle, destination, turnMethod, overflow, &replacement, false,
                                 keepOriginalSize);
        });
        if (result.IsValid())
            PlainRotate2(source, result, angle, turnMethod, overflow, replacement,
                         keepOriginalSize);
        break;
    }
    case 3: {
        if (canvas > kMaxPixels) break;
        const float angle = static_cast<float>(in.Take<int16_t>()) / 16.0f;
        CxImage result = RunEveryWay(source, [&](CxImage& image, CxImage* destination) {
            return image.Rotate(angle, destination);
        });
        if (result.IsValid()) PlainRotate(source, result, angle);
        break;
    }
    case 4: {
        const RGBQUAD canvas = in.Take<RGBQUAD>();
        const long left = in.Below(8), top = in.Below(8), right = in.Below(8), bottom = in.Below(8);
        RunEveryWay(source, [&](CxImage& image, CxImage* destination) {
            return image.Expand(left, top, right, bottom, canvas, destination);
        });
        break;
    }
    case 5: {
        const RGBQUAD canvas = in.Take<RGBQUAD>();
        RunEveryWay(source, [&](CxImage& image, CxImage* destination) {
            return image.Thumbnail(width, height, canvas, destination);
        });
        break;
    }
    default: {
        const long left = in.Take<int8_t>(), top = in.Take<int8_t>();
        const long right = in.Take<int8_t>(), bottom = in.Take<int8_t>();
        RunEveryWay(source, [&](CxImage& image, CxImage* destination) {
            return image.Crop(left, top, right, bottom, destination);
        });
        break;
    }
    }
    return 0;
}
