#pragma once

// Resample2's area samples, a target row at a time (AreaRows).

#include "image/CxImage.h"
#include "image/RecordView.h"
#include "interpolation/AreaKernels.h"
#include "interpolation/SampleWindow.h"

#include <cstdint>
#include <exception>
#include <vector>

class NearestIndexCache;

// Resample2's area samples, a target row at a time: target pixel (x, y) is
// GetAreaColorInterpolated(sx, sy, xs, ys) bit for bit, sx and sy its source
// position. An area's extent along x depends on sx and xs only, so what each
// target column covers is prepared once per call:
// - areas wider and higher than a pixel whose covered pixels lie inside an
//   image on the grey ramp or a 24-bit one take the grid walk of the area
//   kernels, one target pixel a lane;
// - areas that shrink one axis only sample each covered cell's
//   cross-section with the area at its centre: the cells' x parts (centre,
//   width, sample axis) are the same for every row, their y parts for every
//   column of a row, and the samples of a row of cells go through the sample
//   kernels where their windows lie inside. Each target pixel then adds its
//   cells' samples in the plain form's order and roundings.
// Everything else takes GetAreaColorInterpolated pixel by pixel.
class AreaRows {
public:
    AreaRows(CxImage& source, float xs, float ys, CxImage::InterpolationMethod method,
             CxImage::OverflowMethod overflow);

    // The target columns' and rows' source positions sourceX(0 .. width − 1)
    // and sourceY(0 .. height − 1), the columns' prepared parts, and the
    // buffers of `bands` bands of rows: false when memory runs out.
    template <typename SourceX, typename SourceY>
    bool Prepare(long width, long height, SourceX sourceX, SourceY sourceY, int bands) {
        try {
            centres.resize(static_cast<size_t>(width));
            for (long x = 0; x < width; ++x) centres[static_cast<size_t>(x)] = sourceX(x);
            rowCentres.resize(static_cast<size_t>(height));
            for (long y = 0; y < height; ++y) rowCentres[static_cast<size_t>(y)] = sourceY(y);
            PrepareColumns(bands);
        } catch (const std::exception&) {
            return false;
        }
        return true;
    }

    // Target row y through the band's writer; `greyOut` is the row's bytes,
    // which grey values on the grey ramp go into directly where the writer
    // allows it. A band calls it for its rows in order.
    void Row(NearestIndexCache& writer, int band, long y, uint8_t* greyOut);

private:
    // One covered cell of a target column in the per-cell case: its x part.
    struct Cell {
        float centre, width;
    };
    // A cross-section's y part: its centre and height.
    struct RowCell {
        float centre, height;
    };
    struct Band {
        std::vector<float> sums; // per target column: one, or red, green, blue, alpha
        // The samples of the cells of rows of cells: each row's grey values,
        // or its blue, green and red, then its alpha.
        std::vector<uint8_t> values;
        // Blocks of rows: the rows' cells and results.
        std::vector<RowCell> rowCells;
        std::vector<RGBQUAD> results;
        long blockFirst = 0, blockCount = 0;
    };

    void PrepareColumns(int bands);
    void PrepareGridColumns();
    void PrepareCellColumns();
    void GridRow(NearestIndexCache& writer, long y, uint8_t* greyOut);
    void CellRow(NearestIndexCache& writer, Band& band, long y, uint8_t* greyOut);
    void CellBlock(Band& band, long first, long count);
    // The cells' parts of row y: calls cell(centre, height) for each whose
    // weight is not +0; returns the area's height.
    template <typename Visit> float ForRowCells(long y, Visit cell) const;
    // The samples of every prepared cell at row position cy into `values`.
    void SampleCells(uint8_t* values, float cy);
    // A target pixel's colour from its sums (see Band).
    RGBQUAD Result(const float* sums, float surface);
    // The bytes of one row of cells' samples.
    size_t RowValues() const { return cells.size() * (grey ? 1 : 4); }
    // Stores a target pixel, directly when it is grey and the writer allows
    // it; returns whether it went in directly.
    bool Store(NearestIndexCache& writer, long x, long y, const RGBQUAD& colour, uint8_t* greyOut);

    const RecordView source;
    const float xs, ys;
    const CxImage::InterpolationMethod method;
    const CxImage::OverflowMethod overflow;
    const SampleWindow window;
    const bool grey;   // an image on the grey ramp
    const bool colour; // a 24-bit image with pixels
    // Alpha is summed only for an alpha plane: without one the result's is 0.
    const bool alphaSums;
    const bool grid; // areas wider and higher than a pixel
    // Per cell, areas no higher than a pixel: blocks of rows, their sums
    // interleaved (few cells a column, many a row otherwise).
    const bool blocks;
    static constexpr int kBlock = 8;
    size_t rowCellsMost = 0; // in any row, with blocks
    const long long width, height;

    std::vector<float> centres, rowCentres;
    // Grid: each column's covered columns and weights, whether the walk may
    // take it, and the end of the run of such columns from it on.
    std::vector<int32_t> firstColumn, lastColumn;
    std::vector<float> firstWeight, lastWeight, areaWidth;
    std::vector<long> gridEnd;
    // Per cell: columnStart[x] .. columnStart[x + 1] are column x's cells.
    std::vector<size_t> columnStart;
    std::vector<Cell> cells;
    bool cellRuns = false;        // samples inside go through the sample kernels
    std::vector<char> cellInside; // the sample window lies inside on x
    std::vector<int32_t> cellX, windowStart, colourFraction, byteIndex, byteFraction;
    std::vector<float> tapWeights, greyFraction; // tap i of cell c at i · cells + c
    std::vector<Band> bandBuffers;
};
