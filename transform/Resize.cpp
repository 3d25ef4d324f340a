// Scaling: Resample (nearest pixel, B-spline, bilinear, box averaging) and
// QIShrink (integer box reduction).
//
// Resample prepares a plan (the path, its column tables, the source rows)
// and runs one named row pass per path and kind of pixel.

#include "image/CxImage.h"
#include "image/GreyRamp.h"
#include "image/NearestIndexCache.h"
#include "image/RowBands.h"
#include "transform/BoxAveraging.h"
#include "transform/ResizeKernels.h"
#include "transform/WorkImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

using transform_detail::Percent;

namespace {

// The paths of Resample, by its mode: 1 nearest pixel, 2 B-spline; any other
// mode box averaging where both sides shrink a 24-bit image, else bilinear.
enum class ResizePath { Nearest, BSpline, Box, Bilinear };

// A B-spline column: its first source cell and the weights of its four.
struct BSplineColumn {
    long ix;
    float weights[4];
};

// A bilinear column: its two source columns (a row's width fits 32 bits),
// the weight of the second and of the first (1 − dx, the same value on every
// row). The second column is the next one, or the first itself at the last
// column.
struct BilinearColumn {
    int32_t ix, ix1;
    double dx, rest;
};

struct ResizePlan {
    ResizePath path = ResizePath::Bilinear;
    long width = 0, height = 0;       // the source's
    long newWidth = 0, newHeight = 0; // the result's
    float kx = 0, ky = 0;             // source pixels per result pixel
    bool indexed = false;
    bool grey = false; // the source is on the grey ramp
    const uint8_t* firstRow = nullptr;
    size_t stride = 0;

    // Nearest: each column's source column, held in 32 bits (a row's byte
    // count fits them).
    std::vector<uint32_t> nearestColumns;
    std::vector<BSplineColumn> splineColumns;

    // Bilinear. The vertical blend of a source column is the same for every
    // result pixel of a row that reads it, so it is made once per row, for
    // the columns that are read, in each band's own row. Byte rows (the grey
    // ramp, 24 bpp) blend each byte on its own with the column terms of its
    // pixel; their vertical blends are held as doubles with a spare pixel at
    // the end, so that a column's right neighbour is always the same pixel of
    // the next one.
    const ResizeKernels* kernels = nullptr; // taken once: the picks are its level's
    std::vector<BilinearColumn> bilinearColumns;
    std::vector<char> columnRead;
    std::vector<float> vertical; // 3 floats a source column, a row per band
    size_t channels = 1;         // bytes a pixel on byte rows
    bool byteRows = false;
    std::vector<double> byteVertical;
    std::vector<int32_t> byteIx;
    std::vector<float> byteDx;
    std::vector<uint8_t> bytePicks;
    std::vector<int32_t> bytePickRuns;

    // Source coordinates from float products, held inside the image in case
    // rounding carries one of them onto the far edge.
    long SourceX(long x) const {
        return std::min(static_cast<long>(static_cast<float>(x) * kx), width - 1);
    }
    long SourceY(long y) const {
        return std::min(static_cast<long>(static_cast<float>(y) * ky), height - 1);
    }
    const uint8_t* Row(long y) const { return firstRow + static_cast<size_t>(y) * stride; }
    size_t RowBytes() const { return channels * static_cast<size_t>(width); }
};

ResizePath ChooseResizePath(int mode, const ResizePlan& p, unsigned bpp) {
    if (mode == 1) return ResizePath::Nearest;
    if (mode == 2) return ResizePath::BSpline;
    if (p.newWidth < p.width && p.newHeight < p.height && !p.indexed && bpp == 24)
        return ResizePath::Box;
    return ResizePath::Bilinear;
}

void FillSplineColumns(ResizePlan& p) {
    for (long x = 0; x < p.newWidth; ++x) {
        const float fx = static_cast<float>(x) * p.kx - 0.5f;
        BSplineColumn& column = p.splineColumns[static_cast<size_t>(x)];
        column.ix = static_cast<long>(std::floor(fx));
        const float dx = fx - static_cast<float>(column.ix);
        for (int n = -1; n <= 2; ++n)
            column.weights[n + 1] = CxImage::KernelBSpline(dx - static_cast<float>(n));
    }
}

void FillBilinearColumns(ResizePlan& p) {
    for (long x = 0; x < p.newWidth; ++x) {
        const float fx = static_cast<float>(x) * p.kx;
        const long ix = std::min(static_cast<long>(fx), p.width - 1);
        const long ix1 = std::min(ix + 1, p.width - 1);
        const double dx = static_cast<double>(fx - static_cast<float>(ix));
        p.bilinearColumns[static_cast<size_t>(x)] =
            BilinearColumn{static_cast<int32_t>(ix), static_cast<int32_t>(ix1), dx, 1.0 - dx};
        p.columnRead[static_cast<size_t>(ix)] = p.columnRead[static_cast<size_t>(ix1)] = 1;
        for (size_t c = 0; c < (p.byteRows ? p.channels : 0); ++c) {
            const size_t at = p.channels * static_cast<size_t>(x) + c;
            p.byteIx[at] = static_cast<int32_t>(p.channels * static_cast<size_t>(ix) + c);
            p.byteDx[at] = static_cast<float>(dx); // a float difference: exact
        }
    }
    if (p.byteRows && p.kernels->pickGroups != nullptr)
        p.kernels->pickGroups(p.byteIx.data(), nullptr, nullptr, p.bytePicks.size(),
                              static_cast<long>(p.channels), p.RowBytes() + p.channels,
                              p.bytePicks.data(), p.bytePickRuns.data());
}

// The column tables of the chosen path, and the bilinear rows of `bands`
// bands; false when they do not fit in memory.
bool PrepareResize(ResizePlan& p, int bands) {
    try {
        switch (p.path) {
        case ResizePath::Nearest:
            p.nearestColumns.resize(static_cast<size_t>(p.newWidth));
            for (long x = 0; x < p.newWidth; ++x)
                p.nearestColumns[static_cast<size_t>(x)] = static_cast<uint32_t>(p.SourceX(x));
            return true;
        case ResizePath::BSpline:
            p.splineColumns.resize(static_cast<size_t>(p.newWidth));
            FillSplineColumns(p);
            return true;
        case ResizePath::Box:
            return true;
        case ResizePath::Bilinear:
            break;
        }
        p.kernels = &ResizeKernelsInUse();
        p.channels = p.indexed ? 1 : 3;
        p.byteRows = p.grey || !p.indexed;
        const size_t outBytes = p.channels * static_cast<size_t>(p.newWidth);
        p.bilinearColumns.resize(static_cast<size_t>(p.newWidth));
        p.vertical.resize(3 * static_cast<size_t>(p.width) * static_cast<size_t>(bands));
        if (p.byteRows) {
            p.byteVertical.resize((p.RowBytes() + p.channels) * static_cast<size_t>(bands));
            p.byteIx.resize(outBytes);
            p.byteDx.resize(outBytes);
            if (p.kernels->pickGroups != nullptr) {
                p.bytePicks.resize(outBytes);
                p.bytePickRuns.resize(outBytes);
            }
        }
        p.columnRead.resize(static_cast<size_t>(p.width));
    } catch (const std::exception&) {
        return false;
    }
    FillBilinearColumns(p);
    return true;
}

// Nearest pixel on the grey ramp: a byte a pixel, four gathered into a word.
void NearestGreyRow(const ResizePlan& p, const uint8_t* from, uint8_t* to) {
    // Locals, which the byte stores cannot alias.
    const uint32_t* const column = p.nearestColumns.data();
    const long newWidth = p.newWidth;
    long x = 0;
    for (; x + 4 <= newWidth; x += 4) {
        const uint8_t a = from[column[x]], b = from[column[x + 1]];
        const uint8_t c = from[column[x + 2]], d = from[column[x + 3]];
        const uint32_t four = a | (b << 8) | (c << 16) | (uint32_t(d) << 24);
        std::memcpy(to + x, &four, 4);
    }
    for (; x < newWidth; ++x) to[x] = from[column[x]];
}

// Nearest pixel at 24 bpp: a pixel's three bytes are what the colour read
// and write would carry. Pixels move as 4-byte words whose fourth byte the
// next pixel overwrites, where a byte follows every source pixel of the row
// inside the block; the row's last pixel moves as 3 bytes.
void NearestColourRow(const ResizePlan& p, long sy, uint8_t* to) {
    const uint8_t* const from = p.Row(sy);
    const uint32_t* const column = p.nearestColumns.data();
    const long newWidth = p.newWidth;
    const bool spareByte = p.stride > 3 * static_cast<size_t>(p.width) || sy + 1 < p.height;
    long x = 0;
    if (spareByte)
        for (; x + 1 < newWidth; ++x, to += 3) {
            uint32_t pixel;
            std::memcpy(&pixel, from + 3 * static_cast<size_t>(column[x]), 4);
            std::memcpy(to, &pixel, 4);
        }
    for (; x < newWidth; ++x, to += 3)
        std::memcpy(to, from + 3 * static_cast<size_t>(column[x]), 3);
}

// The four source rows of a B-spline result row and their weights.
struct SplineRows {
    float wy[4];
    long cells[4];
    const uint8_t* rows[4];

    SplineRows(const ResizePlan& p, long y) {
        const float fy = static_cast<float>(y) * p.ky - 0.5f;
        const long iy = static_cast<long>(std::floor(fy));
        const float dy = fy - static_cast<float>(iy);
        for (int m = -1; m <= 2; ++m) {
            wy[m + 1] = CxImage::KernelBSpline(static_cast<float>(m) - dy);
            cells[m + 1] = std::min(std::max(iy + m, 0L), p.height - 1);
            rows[m + 1] = p.Row(cells[m + 1]);
        }
    }
};

// B-spline on the grey ramp: one channel, the grey level being each of the
// three; the low 8 bits of the truncated sum.
void BSplineGreyRow(const ResizePlan& p, const SplineRows& s, uint8_t* out) {
    const BSplineColumn* const columns = p.splineColumns.data();
    const long newWidth = p.newWidth, lastColumn = p.width - 1;
    for (long x = 0; x < newWidth; ++x) {
        const BSplineColumn& column = columns[x];
        long cells[4];
        for (int n = 0; n < 4; ++n)
            cells[n] = std::min(std::max(column.ix + n - 1, 0L), lastColumn);
        float v = 0.0f;
        for (int m = 0; m < 4; ++m)
            for (int n = 0; n < 4; ++n)
                v += s.wy[m] * column.weights[n] * static_cast<float>(s.rows[m][cells[n]]);
        out[x] = static_cast<uint8_t>(static_cast<long>(v));
    }
}

// B-spline on colours: 24-bit pixels from the row, indexed ones through
// `colourAt`. The low 8 bits of the truncated sums (the weights sum to 1);
// at 24 bpp the bytes go straight into the row, an indexed image stores the
// nearest palette entry.
template <typename PixelColour>
void BSplineColourRow(const ResizePlan& p, const SplineRows& s, NearestIndexCache& writer, long y,
                      PixelColour colourAt) {
    for (long x = 0; x < p.newWidth; ++x) {
        const BSplineColumn& column = p.splineColumns[static_cast<size_t>(x)];
        long cells[4];
        for (int n = 0; n < 4; ++n)
            cells[n] = std::min(std::max(column.ix + n - 1, 0L), p.width - 1);
        float r = 0.0f, g = 0.0f, b = 0.0f;
        for (int m = 0; m < 4; ++m) {
            for (int n = 0; n < 4; ++n) {
                const float weight = s.wy[m] * column.weights[n];
                unsigned red, green, blue;
                if (p.indexed) {
                    const RGBQUAD c = colourAt(cells[n], s.cells[m]);
                    red = c.rgbRed, green = c.rgbGreen, blue = c.rgbBlue;
                } else {
                    const uint8_t* q = s.rows[m] + 3 * static_cast<size_t>(cells[n]);
                    blue = q[0], green = q[1], red = q[2];
                }
                r += weight * static_cast<float>(red);
                g += weight * static_cast<float>(green);
                b += weight * static_cast<float>(blue);
            }
        }
        const RGBQUAD c{static_cast<uint8_t>(static_cast<long>(b)),
                        static_cast<uint8_t>(static_cast<long>(g)),
                        static_cast<uint8_t>(static_cast<long>(r)), 0};
        writer.SetPixelColor(x, y, c, false);
    }
}

// Bilinear on byte rows, through the blend kernels. The rows are those of
// source row y·ky and the next, dy the fraction between them.
void BilinearByteRow(ResizePlan& p, int band, long iy, long iy1, double dy, uint8_t* out) {
    const ResizeKernels& kernels = *p.kernels;
    const size_t rowBytes = p.RowBytes();
    double* const blended = &p.byteVertical[(rowBytes + p.channels) * static_cast<size_t>(band)];
    kernels.verticalGreyBlend(p.Row(iy), p.Row(iy1), static_cast<long>(rowBytes), dy, blended);
    for (size_t c = 0; c < p.channels; ++c)
        blended[rowBytes + c] = blended[rowBytes - p.channels + c];
    const PickedGroups groups{p.bytePicks.data(), p.bytePickRuns.data()};
    kernels.horizontalGreyBlend(blended, static_cast<long>(p.channels), p.byteIx.data(),
                                p.byteDx.data(), groups, static_cast<long>(p.channels) * p.newWidth,
                                out);
}

// Bilinear on indexed pixels off the grey ramp: their palette colours blended
// in double precision, each channel held as a float between the passes, and
// the nearest palette entry stored. Alpha is resampled by nearest pixel
// afterwards.
template <typename ColourAt>
void BilinearIndexedRow(ResizePlan& p, int band, long iy, long iy1, double dy,
                        NearestIndexCache& writer, long y, ColourAt colourAt) {
    float* const blendedRow = &p.vertical[3 * static_cast<size_t>(p.width) * band];
    for (long c = 0; c < p.width; ++c) {
        if (!p.columnRead[static_cast<size_t>(c)]) continue;
        const RGBQUAD v0 = colourAt(c, iy), v1 = colourAt(c, iy1);
        float* blended = &blendedRow[3 * static_cast<size_t>(c)];
        blended[0] = static_cast<float>(v1.rgbBlue * dy + v0.rgbBlue * (1.0 - dy));
        blended[1] = static_cast<float>(v1.rgbGreen * dy + v0.rgbGreen * (1.0 - dy));
        blended[2] = static_cast<float>(v1.rgbRed * dy + v0.rgbRed * (1.0 - dy));
    }
    const BilinearColumn* const firstColumn = p.bilinearColumns.data();
    for (long x = 0; x < p.newWidth; ++x) {
        const BilinearColumn& column = firstColumn[x];
        const float* left = &blendedRow[3 * static_cast<size_t>(column.ix)];
        const float* right = &blendedRow[3 * static_cast<size_t>(column.ix1)];
        auto blend = [&](int channel) {
            return static_cast<uint8_t>(
                static_cast<long>(static_cast<double>(right[channel]) * column.dx +
                                  static_cast<double>(left[channel]) * column.rest));
        };
        writer.SetPixelColor(x, y, RGBQUAD{blend(0), blend(1), blend(2), 0}, false);
    }
}

// One result row of the nearest, B-spline or bilinear path. `pixelColour`
// reads a pixel's colour as GetPixelColor does, `paletteColour` an indexed
// pixel's palette entry.
template <typename PixelColour, typename PaletteColour>
void ResampleRow(ResizePlan& p, NearestIndexCache& writer, int band, long y, uint8_t* out,
                 PixelColour pixelColour, PaletteColour paletteColour) {
    // On the grey ramp the grey level is each of the three channels, and the
    // nearest ramp entry of the result is its own value.
    const bool greyOut = p.grey && writer.StoresGreyDirectly();
    if (p.path == ResizePath::Nearest) {
        const long sy = p.SourceY(y);
        if (greyOut) {
            NearestGreyRow(p, p.Row(sy), out);
            writer.Find(GreyColour(out[p.newWidth - 1]));
        } else if (p.indexed) {
            // Through each pixel's palette colour to the nearest entry.
            for (long x = 0; x < p.newWidth; ++x)
                writer.SetPixelColor(
                    x, y, pixelColour(p.nearestColumns[static_cast<size_t>(x)], sy), false);
        } else {
            NearestColourRow(p, sy, out);
        }
    } else if (p.path == ResizePath::BSpline) {
        const SplineRows rows(p, y);
        if (greyOut) {
            BSplineGreyRow(p, rows, out);
            writer.Find(GreyColour(out[p.newWidth - 1]));
        } else {
            BSplineColourRow(p, rows, writer, y, pixelColour);
        }
    } else {
        const float fy = static_cast<float>(y) * p.ky;
        const long iy = std::min(static_cast<long>(fy), p.height - 1);
        const long iy1 = std::min(iy + 1, p.height - 1);
        const double dy = static_cast<double>(fy - static_cast<float>(iy));
        if (!p.indexed || greyOut) {
            BilinearByteRow(p, band, iy, iy1, dy, out);
            if (p.grey) writer.Find(GreyColour(out[p.newWidth - 1]));
        } else {
            BilinearIndexedRow(p, band, iy, iy1, dy, writer, y, paletteColour);
        }
    }
}

} // namespace

bool CxImage::Resample(long newWidth, long newHeight, int mode, CxImage* destination) {
    if (newWidth <= 0 || newHeight <= 0) return false;
    if (pixelBuffer == nullptr) return false;
    ResizePlan p;
    p.width = static_cast<long>(GetWidth());
    p.height = static_cast<long>(GetHeight());
    if (newWidth == p.width && newHeight == p.height) {
        if (destination != nullptr) destination->Copy(*this, true, true, true);
        return true;
    }
    p.newWidth = newWidth;
    p.newHeight = newHeight;
    p.kx = static_cast<float>(p.width) / static_cast<float>(newWidth);
    p.ky = static_cast<float>(p.height) / static_cast<float>(newHeight);
    p.indexed = head.biClrUsed != 0;
    p.grey = IsGreyRampImage(*this);
    p.firstRow = info.firstRow;
    p.stride = info.effWidth;
    p.path = ChooseResizePath(mode, p, head.biBitCount);

    CxImage work;
    if (!CreateWorkImage(work, static_cast<unsigned long>(newWidth),
                         static_cast<unsigned long>(newHeight), destination))
        return false;
    RowBands bands(info, newHeight, static_cast<long long>(newWidth) * newHeight);
    if (!PrepareResize(p, bands.Count())) return false;
    if (p.path == ResizePath::Box) {
        RowBands sourceBands(info, p.height, static_cast<long long>(p.width) * p.height);
        ReuseDestinationBlock(work, destination);
        if (!transform_detail::BoxAverage(
                transform_detail::PixelRows{info.firstRow, p.stride, p.width, p.height},
                transform_detail::PixelRows{work.info.firstRow, work.info.effWidth, newWidth,
                                            newHeight},
                p.kx, p.ky, sourceBands))
            return false;
    } else {
        // Every other path writes every pixel of the rows it runs.
        ReuseDestinationBlock(work, destination, work.GetBpp() >= 8);
        auto pixelColour = [this](long x, long y) { return GetPixelColor(x, y, true); };
        auto paletteColour = [this](long x, long y) {
            return GetPaletteColor(BlindGetPixelIndex(x, y));
        };
        bands.RunRows(work, [&](NearestIndexCache& writer, int band, long y) {
            ResampleRow(p, writer, band, y,
                        work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth,
                        pixelColour, paletteColour);
        });
    }
    bands.ClearRowsNotRun(work);

    // The alpha plane is always resampled by nearest pixel.
    if (alpha != nullptr) {
        for (long y = 0; y < newHeight; ++y) {
            const long sy = p.SourceY(y);
            for (long x = 0; x < newWidth; ++x)
                work.alpha[static_cast<size_t>(y) * newWidth + x] = BlindAlphaGet(p.SourceX(x), sy);
        }
    }
    return (destination != nullptr ? destination : this)->Transfer(work);
}

bool CxImage::QIShrink(long newWidth, long newHeight, CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());
    if (newWidth > W || newHeight > H) {
        std::strncpy(info.lastError, "QIShrink can't enlarge image", sizeof(info.lastError) - 1);
        info.lastError[sizeof(info.lastError) - 1] = '\0';
        return false;
    }
    if (newWidth == W && newHeight == H) {
        if (destination != nullptr) destination->Copy(*this, true, true, true);
        return true;
    }
    if (newWidth <= 0 || newHeight <= 0) return false;

    CxImage work;
    const bool hasAlpha = alpha != nullptr;
    if (!CreateWorkImage(work, static_cast<unsigned long>(newWidth),
                         static_cast<unsigned long>(newHeight), destination))
        return false;

    // Sums are 64-bit so that no reduction, however large, can overflow them.
    struct Sum {
        uint64_t red, green, blue, alpha, count;
    };
    std::vector<Sum> sums;
    try {
        sums.assign(static_cast<size_t>(newWidth), Sum{0, 0, 0, 0, 0});
    } catch (const std::bad_alloc&) {
        return false;
    }
    ReuseDestinationBlock(work, destination);
    NearestIndexCache writer(work);

    const bool indexed = head.biClrUsed != 0;
    const size_t stride = info.effWidth;
    // An indexed pixel's colour channels are its palette entry's.
    RGBQUAD colours[256];
    for (unsigned i = 0; i < 256; ++i) colours[i] = GetPaletteColor(static_cast<unsigned char>(i));
    long ry = 0;
    long row = 0;
    for (long y = 0; y < H; ++y) {
        info.progress = static_cast<int32_t>(Percent(y, H));
        if (info.escape != 0) break;
        ry += newHeight;
        long rx = 0;
        size_t current = 0;
        const uint8_t* source = info.firstRow + static_cast<size_t>(y) * stride;
        for (long x = 0; x < W; ++x) {
            Sum& s = sums[current];
            if (indexed) {
                const RGBQUAD& c = colours[BlindGetPixelIndex(x, y)];
                s.red += c.rgbRed, s.green += c.rgbGreen, s.blue += c.rgbBlue;
            } else {
                const uint8_t* p = source + 3 * static_cast<size_t>(x);
                s.blue += p[0], s.green += p[1], s.red += p[2];
            }
            if (hasAlpha) s.alpha += BlindAlphaGet(x, y);
            ++s.count;
            rx += newWidth;
            // A destination column takes source columns until the running
            // count passes the width (strictly). An unchanged width maps each
            // column onto its own instead: under the strict rule the first
            // column would take two source columns, every later one shift by
            // one, and the last stay empty, with nothing to divide by.
            if ((rx > W || newWidth == W) && current + 1 < sums.size()) {
                ++current;
                rx -= W;
            }
        }
        if (ry >= H) {
            ry -= H;
            if (row < newHeight) {
                for (long x = 0; x < newWidth; ++x) {
                    const Sum& s = sums[static_cast<size_t>(x)];
                    if (s.count == 0) continue;
                    const RGBQUAD c{static_cast<uint8_t>(s.blue / s.count),
                                    static_cast<uint8_t>(s.green / s.count),
                                    static_cast<uint8_t>(s.red / s.count),
                                    static_cast<uint8_t>(s.alpha / s.count)};
                    // Bytes straight into the row at 24 bpp, the nearest entry
                    // when indexed. The averaged alpha is stored at every depth:
                    // an indexed pixel write keeps none, and it would be lost.
                    writer.SetPixelColor(x, row, c, false);
                    if (hasAlpha)
                        work.alpha[static_cast<size_t>(row) * newWidth + x] = c.rgbReserved;
                }
                ++row;
            }
            std::fill(sums.begin(), sums.end(), Sum{0, 0, 0, 0, 0});
        }
    }
    return (destination != nullptr ? destination : this)->Transfer(work);
}
