// Scaling: Resample (nearest pixel, B-spline, bilinear, box averaging) and
// QIShrink (integer box reduction).

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

// A destination column: its two source columns (a row's width fits 32 bits),
// the weight of the second and of the first (1 − dx, the same value on every
// row). The second column is the next one, or the first itself at the last
// column.
struct BilinearColumn {
    int32_t ix, ix1;
    double dx, rest;
};

} // namespace

bool CxImage::Resample(long newWidth, long newHeight, int mode, CxImage* destination) {
    if (newWidth <= 0 || newHeight <= 0) return false;
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());

    if (newWidth == W && newHeight == H) {
        if (destination != nullptr) destination->Copy(*this, true, true, true);
        return true;
    }

    const float kx = static_cast<float>(W) / static_cast<float>(newWidth);
    const float ky = static_cast<float>(H) / static_cast<float>(newHeight);

    CxImage work;
    if (!CreateWorkImage(work, static_cast<unsigned long>(newWidth),
                         static_cast<unsigned long>(newHeight), destination))
        return false;

    const bool indexed = head.biClrUsed != 0;
    const bool grey = IsGreyRampImage(*this);
    const size_t stride = info.effWidth;
    // Source coordinates from float products, held inside the image in case
    // rounding carries one of them onto the far edge.
    auto sourceX = [&](long x) {
        return std::min(static_cast<long>(static_cast<float>(x) * kx), W - 1);
    };
    auto sourceY = [&](long y) {
        return std::min(static_cast<long>(static_cast<float>(y) * ky), H - 1);
    };
    const bool box = mode != 1 && mode != 2 && newWidth < W && newHeight < H && !indexed &&
                     head.biBitCount == 24;
    RowBands bands(info, newHeight, static_cast<long long>(newWidth) * newHeight);
    // Every mode but box averaging writes every pixel of the rows it runs.
    const bool wholeBytePixels = work.GetBpp() >= 8;

    if (mode == 1) {
        // Source columns once per call. At 24 bpp a pixel's three bytes are
        // what the colour read and write would carry, and on the grey ramp its
        // index; other indexed pixels go through their palette colour to the
        // nearest entry.
        // Held in 32 bits: a row's byte count fits them.
        std::vector<uint32_t> columns;
        try {
            columns.resize(static_cast<size_t>(newWidth));
        } catch (const std::exception&) {
            return false;
        }
        for (long x = 0; x < newWidth; ++x)
            columns[static_cast<size_t>(x)] = static_cast<uint32_t>(sourceX(x));
        ReuseDestinationBlock(work, destination, wholeBytePixels);
        bands.RunRows(work, [&](NearestIndexCache& writer, int, long y) {
            const long sy = sourceY(y);
            const uint8_t* from = info.firstRow + static_cast<size_t>(sy) * stride;
            uint8_t* to = work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth;
            if (grey && writer.StoresGreyDirectly()) {
                const uint32_t* column = columns.data();
                long x = 0;
                for (; x + 4 <= newWidth; x += 4) {
                    const uint8_t a = from[column[x]], b = from[column[x + 1]];
                    const uint8_t c = from[column[x + 2]], d = from[column[x + 3]];
                    const uint32_t four = a | (b << 8) | (c << 16) | (uint32_t(d) << 24);
                    std::memcpy(to + x, &four, 4);
                }
                for (; x < newWidth; ++x) to[x] = from[column[x]];
                writer.Find(GreyColour(to[newWidth - 1]));
            } else if (indexed) {
                for (long x = 0; x < newWidth; ++x)
                    writer.SetPixelColor(
                        x, y, GetPixelColor(columns[static_cast<size_t>(x)], sy, true), false);
            } else {
                // Pixels move as 4-byte words whose fourth byte the next pixel
                // overwrites, where a byte follows every source pixel of the
                // row inside the block; the row's last pixel moves as 3 bytes.
                const bool spareByte = stride > 3 * static_cast<size_t>(W) || sy + 1 < H;
                long x = 0;
                if (spareByte)
                    for (; x + 1 < newWidth; ++x, to += 3) {
                        uint32_t pixel;
                        std::memcpy(&pixel, from + 3 * static_cast<size_t>(columns[x]), 4);
                        std::memcpy(to, &pixel, 4);
                    }
                for (; x < newWidth; ++x, to += 3)
                    std::memcpy(to, from + 3 * static_cast<size_t>(columns[x]), 3);
            }
        });
    } else if (mode == 2) {
        // Each column's kernel weights and cells are the same on every row.
        struct Column {
            long ix;
            float weights[4];
        };
        std::vector<Column> columns;
        try {
            columns.resize(static_cast<size_t>(newWidth));
        } catch (const std::exception&) {
            return false;
        }
        for (long x = 0; x < newWidth; ++x) {
            const float fx = static_cast<float>(x) * kx - 0.5f;
            Column& column = columns[static_cast<size_t>(x)];
            column.ix = static_cast<long>(std::floor(fx));
            const float dx = fx - static_cast<float>(column.ix);
            for (int n = -1; n <= 2; ++n)
                column.weights[n + 1] = KernelBSpline(dx - static_cast<float>(n));
        }
        ReuseDestinationBlock(work, destination, wholeBytePixels);
        const bool greyRows = grey;
        bands.RunRows(work, [&](NearestIndexCache& writer, int, long y) {
            const float fy = static_cast<float>(y) * ky - 0.5f;
            const long iy = static_cast<long>(std::floor(fy));
            const float dy = fy - static_cast<float>(iy);
            float wy[4];
            long rowCells[4];
            const uint8_t* rows[4];
            for (int m = -1; m <= 2; ++m) {
                wy[m + 1] = KernelBSpline(static_cast<float>(m) - dy);
                rowCells[m + 1] = std::min(std::max(iy + m, 0L), H - 1);
                rows[m + 1] = info.firstRow + static_cast<size_t>(rowCells[m + 1]) * stride;
            }
            uint8_t* out = work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth;
            const bool direct = greyRows && writer.StoresGreyDirectly();
            for (long x = 0; x < newWidth; ++x) {
                const Column& column = columns[static_cast<size_t>(x)];
                long cells[4];
                for (int n = 0; n < 4; ++n)
                    cells[n] = std::min(std::max(column.ix + n - 1, 0L), W - 1);
                if (direct) {
                    // One channel: the grey level is each of the three.
                    float v = 0.0f;
                    for (int m = 0; m < 4; ++m)
                        for (int n = 0; n < 4; ++n)
                            v += wy[m] * column.weights[n] * static_cast<float>(rows[m][cells[n]]);
                    out[x] = static_cast<uint8_t>(static_cast<long>(v));
                    continue;
                }
                float r = 0.0f, g = 0.0f, b = 0.0f;
                for (int m = 0; m < 4; ++m) {
                    for (int n = 0; n < 4; ++n) {
                        const float weight = wy[m] * column.weights[n];
                        unsigned red, green, blue;
                        if (indexed) {
                            const RGBQUAD c = GetPixelColor(cells[n], rowCells[m], true);
                            red = c.rgbRed, green = c.rgbGreen, blue = c.rgbBlue;
                        } else {
                            const uint8_t* p = rows[m] + 3 * static_cast<size_t>(cells[n]);
                            blue = p[0], green = p[1], red = p[2];
                        }
                        r += weight * static_cast<float>(red);
                        g += weight * static_cast<float>(green);
                        b += weight * static_cast<float>(blue);
                    }
                }
                // Low 8 bits of the truncated sums; the weights sum to 1. At
                // 24 bpp the bytes go straight into the row, an indexed image
                // stores the nearest palette entry.
                const RGBQUAD c{static_cast<uint8_t>(static_cast<long>(b)),
                                static_cast<uint8_t>(static_cast<long>(g)),
                                static_cast<uint8_t>(static_cast<long>(r)), 0};
                writer.SetPixelColor(x, y, c, false);
            }
            if (direct) writer.Find(GreyColour(out[newWidth - 1]));
        });
    } else if (box) {
        RowBands sourceBands(info, H, static_cast<long long>(W) * H);
        ReuseDestinationBlock(work, destination);
        if (!transform_detail::BoxAverage(transform_detail::PixelRows{info.firstRow, stride, W, H},
                                          transform_detail::PixelRows{work.info.firstRow,
                                                                      work.info.effWidth, newWidth,
                                                                      newHeight},
                                          kx, ky, sourceBands))
            return false;
    } else {
        // Bilinear. The column terms (source columns and weight) are the same
        // on every row; the vertical blend of a source column is the same for
        // every destination pixel of a row that reads it, so it is made once
        // per row, for the columns that are read, in each band's own row.
        //
        // On the grey ramp and at 24 bpp the rows go to the blend kernels as
        // bytes: one per pixel, or three, each channel blended on its own
        // with the column terms of its pixel. The vertical blends are held as
        // doubles with a spare pixel at the end, so that a column's right
        // neighbour is always the same pixel of the next one.
        const bool direct = !indexed;
        const size_t channels = direct ? 3 : 1;
        const bool byteRows = grey || direct;
        std::vector<BilinearColumn> columns;
        std::vector<float> vertical;
        std::vector<double> byteVertical;
        std::vector<int32_t> byteIx;
        std::vector<float> byteDx;
        std::vector<uint8_t> bytePicks;
        std::vector<int32_t> bytePickRuns;
        std::vector<char> read;
        const size_t rowBytes = channels * static_cast<size_t>(W);
        const size_t outBytes = channels * static_cast<size_t>(newWidth);
        try {
            columns.resize(static_cast<size_t>(newWidth));
            vertical.resize(3 * static_cast<size_t>(W) * static_cast<size_t>(bands.Count()));
            if (byteRows) {
                byteVertical.resize((rowBytes + channels) * static_cast<size_t>(bands.Count()));
                byteIx.resize(outBytes);
                byteDx.resize(outBytes);
                bytePicks.resize(outBytes);
                bytePickRuns.resize(outBytes);
            }
            read.resize(static_cast<size_t>(W));
        } catch (const std::exception&) {
            return false;
        }
        for (long x = 0; x < newWidth; ++x) {
            const float fx = static_cast<float>(x) * kx;
            const long ix = std::min(static_cast<long>(fx), W - 1);
            const long ix1 = std::min(ix + 1, W - 1);
            const double dx = static_cast<double>(fx - static_cast<float>(ix));
            columns[static_cast<size_t>(x)] =
                BilinearColumn{static_cast<int32_t>(ix), static_cast<int32_t>(ix1), dx, 1.0 - dx};
            read[static_cast<size_t>(ix)] = read[static_cast<size_t>(ix1)] = 1;
            for (size_t c = 0; c < (byteRows ? channels : 0); ++c) {
                const size_t at = channels * static_cast<size_t>(x) + c;
                byteIx[at] = static_cast<int32_t>(channels * static_cast<size_t>(ix) + c);
                byteDx[at] = static_cast<float>(dx); // a float difference: exact
            }
        }
        PickGroups(byteIx.data(), nullptr, nullptr, bytePicks.size(), static_cast<long>(channels),
                   rowBytes + channels, bytePicks.data(), bytePickRuns.data());
        const PickedGroups byteGroups{bytePicks.data(), bytePickRuns.data()};
        ReuseDestinationBlock(work, destination, wholeBytePixels);
        const ResizeKernels& resizeKernels = ResizeKernelsInUse();
        auto colourAt = [&](long px, long py) {
            if (indexed) return GetPaletteColor(BlindGetPixelIndex(px, py));
            const uint8_t* p =
                info.firstRow + static_cast<size_t>(py) * stride + 3 * static_cast<size_t>(px);
            return RGBQUAD{p[0], p[1], p[2], 0};
        };
        bands.RunRows(work, [&](NearestIndexCache& writer, int band, long y) {
            const float fy = static_cast<float>(y) * ky;
            const long iy = std::min(static_cast<long>(fy), H - 1);
            const long iy1 = std::min(iy + 1, H - 1);
            const double dy = static_cast<double>(fy - static_cast<float>(iy));
            float* const blendedRow = &vertical[3 * static_cast<size_t>(W) * band];
            if (direct || (grey && writer.StoresGreyDirectly())) {
                // On the grey ramp the grey level is each of the three
                // channels, and the nearest ramp entry of the result is its
                // own value. At 24 bpp the alpha written by the colour form
                // is overwritten below anyway.
                const uint8_t* p0 = info.firstRow + static_cast<size_t>(iy) * stride;
                const uint8_t* p1 = info.firstRow + static_cast<size_t>(iy1) * stride;
                double* const blended = &byteVertical[(rowBytes + channels) * band];
                resizeKernels.verticalGreyBlend(p0, p1, static_cast<long>(rowBytes), dy, blended);
                for (size_t c = 0; c < channels; ++c)
                    blended[rowBytes + c] = blended[rowBytes - channels + c];
                uint8_t* out = work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth;
                resizeKernels.horizontalGreyBlend(blended, static_cast<long>(channels),
                                                  byteIx.data(), byteDx.data(), byteGroups,
                                                  static_cast<long>(outBytes), out);
                if (grey) writer.Find(GreyColour(out[newWidth - 1]));
                return;
            }
            for (long c = 0; c < W; ++c) {
                if (!read[static_cast<size_t>(c)]) continue;
                const RGBQUAD v0 = colourAt(c, iy), v1 = colourAt(c, iy1);
                float* blended = &blendedRow[3 * static_cast<size_t>(c)];
                blended[0] = static_cast<float>(v1.rgbBlue * dy + v0.rgbBlue * (1.0 - dy));
                blended[1] = static_cast<float>(v1.rgbGreen * dy + v0.rgbGreen * (1.0 - dy));
                blended[2] = static_cast<float>(v1.rgbRed * dy + v0.rgbRed * (1.0 - dy));
            }
            // Alpha written here is overwritten below, resampled by nearest pixel.
            // Locals, which the byte stores cannot alias.
            transform_detail::DirectRow row(work, y);
            const long count = newWidth;
            const bool toIndices = indexed;
            const BilinearColumn* const firstColumn = columns.data();
            for (long x = 0; x < count; ++x) {
                const BilinearColumn& column = firstColumn[x];
                const float* left = &blendedRow[3 * static_cast<size_t>(column.ix)];
                const float* right = &blendedRow[3 * static_cast<size_t>(column.ix1)];
                auto blend = [&](int channel) {
                    return static_cast<uint8_t>(
                        static_cast<long>(static_cast<double>(right[channel]) * column.dx +
                                          static_cast<double>(left[channel]) * column.rest));
                };
                const RGBQUAD c{blend(0), blend(1), blend(2), 0};
                if (toIndices)
                    writer.SetPixelColor(x, y, c, false);
                else
                    row.Store(x, c);
            }
        });
    }

    bands.ClearRowsNotRun(work);

    // The alpha plane is always resampled by nearest pixel.
    if (alpha != nullptr) {
        for (long y = 0; y < newHeight; ++y) {
            const long sy = sourceY(y);
            for (long x = 0; x < newWidth; ++x)
                work.alpha[static_cast<size_t>(y) * newWidth + x] = BlindAlphaGet(sourceX(x), sy);
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
