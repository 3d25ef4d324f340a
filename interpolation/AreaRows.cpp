// Resample2's area samples, a target row at a time: what each target column
// covers prepared once per call, then the grid walk, or the covered cells
// sampled through the sample kernels, or single samples.

#include "interpolation/AreaRows.h"

#include "image/GreyRamp.h"
#include "image/NearestIndexCache.h"
#include "image/Truncate.h"
#include "interpolation/AreaCells.h"
#include "interpolation/ColourBilinearKernels.h"
#include "interpolation/GreyBilinearKernels.h"
#include "interpolation/WalkKernels.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// One axis of an area's cross-section with the unit cell of pixel i, as
// CxRect2::CrossSection, Width and Center take it. The cross-section is
// empty (the zero rectangle: centre (0, 0), surface 0) when either axis is.
struct AxisPart {
    AxisPart(float low, float high, long i) {
        const CxRect2 cell = PixelCell(i, i);
        from = low > cell.corner1.x ? low : cell.corner1.x;
        to = high < cell.corner2.x ? high : cell.corner2.x;
    }
    bool NonEmpty() const { return to >= from; }
    float Length() const { return static_cast<float>(to - from); }
    float Centre() const { return static_cast<float>((to + from) * 0.5f); }

    float from, to;
};

// n · k, refused as memory that cannot be had when it does not fit.
size_t Times(size_t n, size_t k) {
    if (k != 0 && n > SIZE_MAX / k) throw std::bad_alloc();
    return n * k;
}

// Target pixels a grid chunk stores through the writer.
constexpr long kChunk = 64;

} // namespace

AreaRows::AreaRows(CxImage& image, float xScale, float yScale, CxImage::InterpolationMethod m,
                   CxImage::OverflowMethod o)
    : source(image), xs(xScale), ys(yScale), method(m), overflow(o), window(m),
      grey(IsGreyRampImage(image)), colour(source.HasPixels() && source.Header().biClrUsed == 0),
      alphaSums(image.AlphaIsValid()), grid(xScale > 1 && yScale > 1), blocks(!grid && yScale <= 1),
      width(source.Header().biWidth), height(source.Header().biHeight) {}

void AreaRows::PrepareColumns(int bands) {
    if (grid) {
        PrepareGridColumns();
        return;
    }
    PrepareCellColumns();
    if (blocks)
        for (size_t y = 0; y < rowCentres.size(); ++y) {
            size_t count = 0;
            ForRowCells(static_cast<long>(y), [&count](float, float) { ++count; });
            rowCellsMost = std::max(rowCellsMost, count);
        }
    bandBuffers.resize(static_cast<size_t>(bands));
    for (Band& band : bandBuffers) {
        if (!blocks) {
            band.sums.resize(Times(centres.size(), grey ? 1 : 4));
            band.values.resize(RowValues());
            continue;
        }
        band.values.resize(Times(Times(RowValues(), rowCellsMost), kBlock));
        band.rowCells.resize(Times(rowCellsMost, kBlock));
        band.results.resize(Times(centres.size(), kBlock));
    }
}

void AreaRows::PrepareGridColumns() {
    const size_t n = centres.size();
    firstColumn.resize(n), lastColumn.resize(n);
    firstWeight.resize(n), lastWeight.resize(n), areaWidth.resize(n);
    gridEnd.resize(n);
    std::vector<char> walks(n);
    for (size_t x = 0; x < n; ++x) {
        // The x values of AreaCells depend on the column alone; its first
        // and last weights are the x parts of the corner cells' cross
        // sections wherever the y parts are not empty, which GridRow checks.
        const AreaCells cells(centres[x], 0.0f, xs, ys);
        const float low = cells.area.corner1.x, high = cells.area.corner2.x;
        const AxisPart first(low, high, cells.xmin), last(low, high, cells.xmax);
        areaWidth[x] = cells.area.Width();
        walks[x] = (grey || colour) && first.NonEmpty() && last.NonEmpty() && cells.xmin >= 0 &&
                   cells.xmax < width;
        if (!walks[x]) continue;
        firstColumn[x] = static_cast<int32_t>(cells.xmin);
        lastColumn[x] = static_cast<int32_t>(cells.xmax);
        firstWeight[x] = first.Length();
        lastWeight[x] = last.Length();
    }
    for (size_t x = n; x-- > 0;)
        gridEnd[x] = !walks[x]                     ? static_cast<long>(x)
                     : x + 1 == n || !walks[x + 1] ? static_cast<long>(x + 1)
                                                   : gridEnd[x + 1];
}

void AreaRows::PrepareCellColumns() {
    const size_t n = centres.size();
    columnStart.resize(n + 1);
    areaWidth.resize(n);
    for (size_t x = 0; x < n; ++x) {
        const AreaCells area(centres[x], 0.0f, xs, ys);
        const float low = area.area.corner1.x, high = area.area.corner2.x;
        areaWidth[x] = area.area.Width();
        columnStart[x] = cells.size();
        // A cell of zero width has weight +0 whatever its row: leaving out
        // its term leaves the sums' bits as they are (see CellRow).
        for (long i = area.xmin; i <= area.xmax && i != LONG_MAX; ++i) {
            const AxisPart part(low, high, i);
            if (part.NonEmpty() && part.Length() > 0)
                cells.push_back(Cell{part.Centre(), part.Length()});
        }
    }
    columnStart[n] = cells.size();
    cellRuns = method != CxImage::IM_NEAREST_NEIGHBOUR && (grey || colour);
    if (!cellRuns) return;
    // Each cell's window start and tap weights for the kernel walks, and its
    // cell and fraction for the bilinear row kernels.
    const size_t count = cells.size(), size = static_cast<size_t>(window.size);
    cellInside.resize(count), cellX.resize(count), windowStart.resize(count);
    tapWeights.resize(Times(count, size));
    greyFraction.resize(count), colourFraction.resize(count);
    byteIndex.resize(Times(count, 3)), byteFraction.resize(Times(count, 3));
    for (size_t c = 0; c < count; ++c) {
        const SampleAxis axis(window, cells[c].centre);
        for (size_t i = 0; i < size; ++i) tapWeights[i * count + c] = axis.weights[i];
        cellInside[c] = axis.cell - window.before >= 0 && axis.cell + window.after < width;
        if (!cellInside[c]) continue;
        cellX[c] = static_cast<int32_t>(axis.cell);
        windowStart[c] = static_cast<int32_t>(axis.cell - window.before);
        greyFraction[c] = BilinearWeights::Fraction(axis.coordinate, axis.cell);
        colourFraction[c] = static_cast<int32_t>(axis.fraction);
        for (size_t b = 0; b < 3; ++b) {
            byteIndex[3 * c + b] = 3 * cellX[c] + static_cast<int32_t>(b);
            byteFraction[3 * c + b] = colourFraction[c];
        }
    }
}

void AreaRows::Row(NearestIndexCache& writer, int band, long y, uint8_t* greyOut) {
    if (grid) {
        GridRow(writer, y, greyOut);
        return;
    }
    Band& buffers = bandBuffers[static_cast<size_t>(band)];
    if (!blocks) {
        CellRow(writer, buffers, y, greyOut);
        return;
    }
    // A block of rows from this one, unless it holds this row already: the
    // last rows of a band's block may be the next band's, which computes
    // them again the same way.
    if (y < buffers.blockFirst || y >= buffers.blockFirst + buffers.blockCount) {
        buffers.blockFirst = y;
        buffers.blockCount = std::min<long>(kBlock, static_cast<long>(rowCentres.size()) - y);
        CellBlock(buffers, y, buffers.blockCount);
    }
    const RGBQUAD* const results =
        &buffers.results[static_cast<size_t>(y - buffers.blockFirst) * centres.size()];
    bool lastGrey = false;
    for (size_t x = 0; x < centres.size(); ++x)
        lastGrey = Store(writer, static_cast<long>(x), y, results[x], greyOut);
    if (lastGrey) writer.Find(GreyColour(greyOut[centres.size() - 1]));
}

bool AreaRows::Store(NearestIndexCache& writer, long x, long y, const RGBQUAD& c,
                     uint8_t* greyOut) {
    const RGBQUAD asGrey = GreyColour(c.rgbBlue);
    if (grey && std::memcmp(&c, &asGrey, sizeof c) == 0 && writer.StoresGreyDirectly()) {
        greyOut[x] = c.rgbBlue;
        return true;
    }
    writer.SetPixelColor(x, y, c, true);
    return false;
}

void AreaRows::GridRow(NearestIndexCache& writer, long y, uint8_t* greyOut) {
    const float sy = rowCentres[static_cast<size_t>(y)];
    // The y values of AreaCells depend on the row alone.
    const AreaCells cells(centres[0], sy, xs, ys);
    const float low = cells.area.corner1.y, high = cells.area.corner2.y;
    const AxisPart top(low, high, cells.ymin), bottom(low, high, cells.ymax);
    const bool walks =
        top.NonEmpty() && bottom.NonEmpty() && cells.ymin >= 0 && cells.ymax < height;
    const size_t ymin = static_cast<size_t>(walks ? cells.ymin : 0);
    const AreaGridRow row{source.FirstRow() + ymin * source.RowBytes(),
                          source.RowBytes(),
                          alphaSums ? source.AlphaPlane() + ymin * static_cast<size_t>(width)
                                    : nullptr,
                          static_cast<size_t>(width),
                          cells.ymax - cells.ymin,
                          top.Length(),
                          bottom.Length(),
                          cells.area.Height()};
    const AreaGridColumns columns{firstColumn.data(), lastColumn.data(), firstWeight.data(),
                                  lastWeight.data(), areaWidth.data()};
    const AreaKernels& kernels = AreaKernelsInUse();
    const long n = static_cast<long>(centres.size());
    bool lastGrey = false; // the row's last pixel went in directly
    for (long x = 0; x < n;) {
        const long end = walks ? gridEnd[static_cast<size_t>(x)] : x;
        if (end > x && grey && writer.StoresGreyDirectly()) {
            kernels.greyGridRow(row, columns, x, end - x, greyOut + x);
            lastGrey = true;
            x = end;
        } else if (end > x) {
            const long count = std::min(kChunk, end - x);
            if (grey) {
                uint8_t values[kChunk];
                kernels.greyGridRow(row, columns, x, count, values);
                for (long k = 0; k < count; ++k)
                    lastGrey = Store(writer, x + k, y, GreyColour(values[k]), greyOut);
            } else {
                RGBQUAD results[kChunk];
                kernels.colourGridRow(row, columns, x, count, results);
                writer.SetPixelColors(x, y, results, count);
                lastGrey = false;
            }
            x += count;
        } else {
            lastGrey =
                Store(writer, x, y,
                      source.Image().GetAreaColorInterpolated(centres[static_cast<size_t>(x)], sy,
                                                              xs, ys, method, overflow, nullptr),
                      greyOut);
            ++x;
        }
    }
    if (lastGrey) writer.Find(GreyColour(greyOut[n - 1]));
}

void AreaRows::SampleCells(uint8_t* const values, float cy) {
    const size_t count = cells.size();
    // Colour samples: blue, green and red of cell c at 3c, alpha at 3·count + c.
    uint8_t* const alphas = values + 3 * count;
    auto put = [&](size_t c, const RGBQUAD& sample) {
        if (grey) {
            values[c] = sample.rgbBlue;
            return;
        }
        values[3 * c] = sample.rgbBlue;
        values[3 * c + 1] = sample.rgbGreen;
        values[3 * c + 2] = sample.rgbRed;
        alphas[c] = sample.rgbReserved;
    };
    auto plain = [&](size_t c) {
        put(c, source.Image().GetPixelColorInterpolated(cells[c].centre, cy, method, overflow,
                                                        nullptr));
    };
    if (!cellRuns) {
        for (size_t c = 0; c < count; ++c) plain(c);
        return;
    }
    const SampleAxis ay(window, cy);
    const KernelTaps taps{windowStart.data(), tapWeights.data(), cells.size()};
    const bool rowInside = ay.cell - window.before >= 0 && ay.cell + window.after < height;
    const GreyBilinearKernels& greyBilinearKernels = GreyBilinearKernelsInUse();
    const ColourBilinearKernels& colourBilinearKernels = ColourBilinearKernelsInUse();
    const WalkKernels& walkKernels = WalkKernelsInUse();
    const uint8_t* const firstRow = source.FirstRow();
    const size_t stride = source.RowBytes();
    const BilinearSource bilinear(source.Image());
    const ColourColumns colourColumns{cellX.data(), colourFraction.data(), byteIndex.data(),
                                      byteFraction.data()};
    for (size_t c = 0; c < count;) {
        // The run of cells from c whose windows lie inside, at most kChunk
        // for the kernel walks of 24-bit samples.
        size_t end = c;
        const size_t limit =
            window.kernel && !grey ? std::min(count, c + static_cast<size_t>(kChunk)) : count;
        while (rowInside && end < limit && cellInside[end]) ++end;
        if (end == c) {
            plain(c++);
            continue;
        }
        const long run = static_cast<long>(end - c);
        if (grey && !window.kernel) {
            greyBilinearKernels.greyBilinearRow(
                firstRow + static_cast<size_t>(ay.cell) * stride, stride, &cellX[c],
                &greyFraction[c], nullptr, BilinearWeights::Fraction(cy, ay.cell), run, values + c);
        } else if (grey) {
            const uint8_t* rows[12];
            for (int j = 0; j < window.size; ++j)
                rows[j] = firstRow + static_cast<size_t>(ay.cell - window.before + j) * stride;
            for (long done = 0; done < run;) {
                const int part = static_cast<int>(std::min(run - done, 1L << 16));
                walkKernels.greyWindowsInside(rows, stride, window,
                                              taps.From(static_cast<long>(c) + done), part, ay,
                                              values + c + done);
                done += part;
            }
        } else if (!window.kernel) {
            colourBilinearKernels.colourBilinearRow(
                bilinear, static_cast<int32_t>(ay.cell), static_cast<int32_t>(ay.fraction),
                colourColumns, static_cast<long>(c), run, values + 3 * c,
                bilinear.alpha != nullptr ? alphas + c : nullptr);
        } else {
            RGBQUAD samples[kChunk];
            SampleWindowsInside(source, window, taps.From(static_cast<long>(c)),
                                static_cast<int>(run), ay, samples);
            for (long k = 0; k < run; ++k) put(c + static_cast<size_t>(k), samples[k]);
        }
        c = end;
    }
}

template <typename Visit> float AreaRows::ForRowCells(long y, Visit cell) const {
    // The y values of AreaCells depend on the row alone.
    const AreaCells area(centres[0], rowCentres[static_cast<size_t>(y)], xs, ys);
    const float low = area.area.corner1.y, high = area.area.corner2.y;
    // A cross-section that is empty, or has zero height, has weight +0 (see
    // CellRow).
    for (long i = area.ymin; i <= area.ymax && i != LONG_MAX; ++i) {
        const AxisPart part(low, high, i);
        if (part.NonEmpty() && part.Length() > 0) cell(part.Centre(), part.Length());
    }
    return area.area.Height();
}

RGBQUAD AreaRows::Result(const float* sums, float surface) {
    if (grey) return GreyColour(ClampChannel(sums[0] / surface));
    return RGBQUAD{ClampChannel(sums[2] / surface), ClampChannel(sums[1] / surface),
                   ClampChannel(sums[0] / surface),
                   alphaSums ? ClampChannel(sums[3] / surface) : uint8_t(0)};
}

// Each target pixel adds its cells row by row, each row's cells from left to
// right: the plain form's order. A cell whose cross-section is empty, or has
// zero width or height, has weight +0 and is left out: its term, value · (+0)
// = +0, would leave the sum as it is, since every sum starts at +0 and takes
// only terms ≥ 0 (byte values, weights that are products of non-negative
// widths and heights), so it is never −0 or NaN. The sums of grey sources are
// one channel; colour sums are red, green, blue and alpha, as
// AddAveragingCont takes them.
void AreaRows::CellRow(NearestIndexCache& writer, Band& band, long y, uint8_t* greyOut) {
    const size_t n = centres.size(), count = cells.size();
    std::fill(band.sums.begin(), band.sums.end(), 0.0f);
    const uint8_t* const values = band.values.data();
    const float areaHeight = ForRowCells(y, [&](float centre, float h) {
        SampleCells(band.values.data(), centre);
        for (size_t x = 0; x < n; ++x) {
            for (size_t c = columnStart[x]; c < columnStart[x + 1]; ++c) {
                // The cross-section's surface, Height() · Width() in float.
                const float weight = h * cells[c].width;
                if (grey) {
                    Accumulate(band.sums[x], weight, values[c]);
                    continue;
                }
                float* const sums = &band.sums[4 * x];
                Accumulate(sums[0], weight, values[3 * c + 2]);
                Accumulate(sums[1], weight, values[3 * c + 1]);
                Accumulate(sums[2], weight, values[3 * c]);
                if (alphaSums) Accumulate(sums[3], weight, values[3 * count + c]);
            }
        }
    });
    bool lastGrey = false;
    for (size_t x = 0; x < n; ++x) {
        // Divided by the nominal area, Height() · Width() in float.
        const RGBQUAD c = Result(&band.sums[(grey ? 1 : 4) * x], areaHeight * areaWidth[x]);
        lastGrey = Store(writer, static_cast<long>(x), y, c, greyOut);
    }
    if (lastGrey) writer.Find(GreyColour(greyOut[n - 1]));
}

// Rows first .. first + count − 1 at once, their sums interleaved: each
// target column's cells are the same on every row, and a row's sum is a
// chain of dependent roundings that the others' overlap. The rows' sums take
// their cells row of cells by row of cells, as CellRow does; a row with fewer
// rows of cells than another simply has no terms for the missing ones.
void AreaRows::CellBlock(Band& band, long first, long count) {
    const size_t rowValues = RowValues(), most = rowCellsMost, n = cells.size();
    float areaHeight[kBlock];
    size_t rowCellCount[kBlock];
    for (long r = 0; r < count; ++r) {
        RowCell* const rowCells = &band.rowCells[static_cast<size_t>(r) * most];
        uint8_t* const values = &band.values[static_cast<size_t>(r) * most * rowValues];
        size_t& j = rowCellCount[r] = 0;
        areaHeight[r] = ForRowCells(first + r, [&](float centre, float h) {
            rowCells[j] = RowCell{centre, h};
            SampleCells(values + j++ * rowValues, centre);
        });
    }
    for (size_t x = 0; x < centres.size(); ++x) {
        float sums[kBlock][4] = {};
        for (size_t j = 0; j < most; ++j) {
            // The rows that have a j-th row of cells: their heights and samples.
            float heights[kBlock];
            const uint8_t* values[kBlock];
            float* rowSums[kBlock];
            int rows = 0;
            for (long r = 0; r < count; ++r)
                if (j < rowCellCount[r]) {
                    const size_t at = static_cast<size_t>(r) * most + j;
                    heights[rows] = band.rowCells[at].height;
                    values[rows] = &band.values[at * rowValues];
                    rowSums[rows++] = sums[r];
                }
            if (rows == kBlock && grey) {
                // All rows of a full block: their sums stay in registers.
                float block[kBlock];
                for (int k = 0; k < kBlock; ++k) block[k] = rowSums[k][0];
                for (size_t c = columnStart[x]; c < columnStart[x + 1]; ++c) {
                    const float width = cells[c].width;
#pragma GCC unroll 8
                    for (int k = 0; k < kBlock; ++k)
                        Accumulate(block[k], heights[k] * width, values[k][c]);
                }
                for (int k = 0; k < kBlock; ++k) rowSums[k][0] = block[k];
                continue;
            }
            if (rows == kBlock) {
                float block[kBlock][4];
                for (int k = 0; k < kBlock; ++k) std::copy_n(rowSums[k], 4, block[k]);
                for (size_t c = columnStart[x]; c < columnStart[x + 1]; ++c) {
                    const float width = cells[c].width;
#pragma GCC unroll 8
                    for (int k = 0; k < kBlock; ++k) {
                        const float weight = heights[k] * width;
                        Accumulate(block[k][0], weight, values[k][3 * c + 2]);
                        Accumulate(block[k][1], weight, values[k][3 * c + 1]);
                        Accumulate(block[k][2], weight, values[k][3 * c]);
                        if (alphaSums) Accumulate(block[k][3], weight, values[k][3 * n + c]);
                    }
                }
                for (int k = 0; k < kBlock; ++k) std::copy_n(block[k], 4, rowSums[k]);
                continue;
            }
            for (size_t c = columnStart[x]; c < columnStart[x + 1]; ++c) {
                const float width = cells[c].width;
                for (int k = 0; k < rows; ++k) {
                    // The cross-section's surface, Height() · Width() in float.
                    const float weight = heights[k] * width;
                    if (grey) {
                        Accumulate(rowSums[k][0], weight, values[k][c]);
                        continue;
                    }
                    Accumulate(rowSums[k][0], weight, values[k][3 * c + 2]);
                    Accumulate(rowSums[k][1], weight, values[k][3 * c + 1]);
                    Accumulate(rowSums[k][2], weight, values[k][3 * c]);
                    if (alphaSums) Accumulate(rowSums[k][3], weight, values[k][3 * n + c]);
                }
            }
        }
        for (long r = 0; r < count; ++r)
            band.results[static_cast<size_t>(r) * centres.size() + x] =
                Result(sums[r], areaHeight[r] * areaWidth[x]);
    }
}
