// The interpolating transformations: Resample2 (scaling through the point and
// area samplers) and Rotate2 (rotation through the point samplers) with their
// fast forms, and CropRotatedRectangle.

#include "image/CxImage.h"
#include "image/GreyRamp.h"
#include "image/NearestIndexCache.h"
#include "image/RecordView.h"
#include "image/RowBands.h"
#include "image/Truncate.h"
#include "interpolation/AreaRows.h"
#include "interpolation/ColourBilinearKernels.h"
#include "interpolation/CubicWeightKernels.h"
#include "interpolation/CxPoint2.h"
#include "interpolation/Elementary.h"
#include "interpolation/GreyBilinearKernels.h"
#include "interpolation/RotatedRowKernels.h"
#include "interpolation/SampleWindow.h"
#include "interpolation/WalkKernels.h"
#include "transform/WorkImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// An indexed image's pixels as their palette colours, laid out as a 24-bit
// image's, with the palette's fourth bytes as alpha values when the image has
// an alpha plane (an indexed pixel's colour takes its alpha from its palette
// entry): the colour kernel walks then read an indexed image's colours
// straight, each tap's index turned into its colour once for the whole call.
struct PaletteColours {
    std::vector<uint8_t> pixels, alphas;
    ColourPlanes planes{};

    // False, leaving the planes empty, when they do not fit in memory.
    bool Expand(CxImage& image) {
        const size_t width = image.GetWidth(), height = image.GetHeight();
        const RGBQUAD* palette = image.GetPalette();
        const size_t colours = image.GetNumColors();
        if (palette == nullptr || width == 0 || height > SIZE_MAX / 3 / width) return false;
        try {
            pixels.resize(3 * width * height);
            if (image.AlphaIsValid()) alphas.resize(width * height);
        } catch (const std::exception&) {
            return false;
        }
        for (size_t y = 0; y < height; ++y)
            for (size_t x = 0; x < width; ++x) {
                const size_t index =
                    image.GetPixelIndex(static_cast<long>(x), static_cast<long>(y));
                const RGBQUAD c = index < colours ? palette[index] : RGBQUAD{};
                uint8_t* p = &pixels[3 * (y * width + x)];
                p[0] = c.rgbBlue, p[1] = c.rgbGreen, p[2] = c.rgbRed;
                if (!alphas.empty()) alphas[y * width + x] = c.rgbReserved;
            }
        planes =
            ColourPlanes{pixels.data(), 3 * width, alphas.empty() ? nullptr : alphas.data(), width};
        return true;
    }
};

// Source rows of a grey image widened to doubles, for a band's bilinear or
// kernel samples: row r is kept in slot r mod slots, so any `slots`
// consecutive rows are held at once; the band's target rows walk down the
// source, so each source row is widened once per band however many target
// rows read it.
class WidenedRows {
public:
    WidenedRows(const uint8_t* firstRow, size_t stride, size_t width, int slots)
        : firstRow(firstRow), stride(stride), width(width),
          values(static_cast<size_t>(slots), std::vector<double>(width)),
          held(static_cast<size_t>(slots), -1) {}

    const double* Row(const GreyBilinearKernels& kernels, long long row) {
        const size_t slot = static_cast<size_t>(row) % values.size();
        if (held[slot] != row) {
            kernels.widenBytes(firstRow + static_cast<size_t>(row) * stride, width,
                               values[slot].data());
            held[slot] = row;
        }
        return values[slot].data();
    }

private:
    const uint8_t* firstRow;
    size_t stride, width;
    std::vector<std::vector<double>> values;
    std::vector<long long> held;
};

// A run of kernel samples each with its own window rows: their columns' and
// rows' first cells and tap weights side by side, as the kernel walks take
// them.
struct KernelRun {
    static constexpr int kSize = 64;
    explicit KernelRun(const SampleWindow& w) : window(w) {}

    // A sample at (u, v), its window inside the image.
    void Add(float u, float v) {
        columnPosition[count] = u;
        rowPosition[count] = v;
        columnStart[count] = static_cast<int32_t>(BaseCell(u) - window.before);
        rowStart[count] = static_cast<int32_t>(BaseCell(v) - window.before);
        ++count;
    }

    // The tap weights of the samples added, as a single sample's axes have
    // them: the generalized cubic kernel of IM_BICUBIC2 in lanes, the other
    // kernels sample by sample.
    void Weigh(const CubicWeightKernels& kernels) {
        if (window.method == CxImage::IM_BICUBIC2) {
            kernels.cubicWeights(columnPosition, columnStart, count, kBicubic2Parameter,
                                 columnWeights, kSize);
            kernels.cubicWeights(rowPosition, rowStart, count, kBicubic2Parameter, rowWeights,
                                 kSize);
            return;
        }
        for (int k = 0; k < count; ++k) {
            const SampleAxis ax(window, columnPosition[k]), ay(window, rowPosition[k]);
            for (int i = 0; i < window.size; ++i) {
                columnWeights[i * kSize + k] = ax.weights[i];
                rowWeights[i * kSize + k] = ay.weights[i];
            }
        }
    }
    KernelTaps Columns() const { return KernelTaps{columnStart, columnWeights, kSize}; }
    KernelTaps Rows() const { return KernelTaps{rowStart, rowWeights, kSize}; }

    const SampleWindow& window;
    int count = 0;
    float columnPosition[kSize], rowPosition[kSize];
    int32_t columnStart[kSize], rowStart[kSize];
    float columnWeights[12 * kSize], rowWeights[12 * kSize];
};

// Whether a sample's window along one axis lies wholly inside [0, size).
inline bool WindowInside(const SampleWindow& window, const SampleAxis& axis, long long size) {
    return axis.cell - window.before >= 0 && axis.cell + window.after < size;
}

// The target column's or row's position in the source, for a scale of s.
inline float SourcePosition(long t, float s) {
    return static_cast<float>((t + 0.5) * s - 0.5);
}

// The nearest sample's source cell for a position.
inline long NearestCell(float v) {
    return TruncateToLong(static_cast<double>(v) + 0.5);
}

// How Resample2 takes its samples, with the column tables its row paths read.
struct ResamplePlan {
    // Areas: each target pixel averages the source area it covers. Nearest:
    // each takes its nearest source pixel. Windows: each samples the window of
    // the interpolation method, its column's axis prepared once.
    enum class Sampling { Areas, Nearest, Windows };

    ResamplePlan(CxImage::InterpolationMethod method, CxImage::OverflowMethod overflow)
        : window(method), overflow(overflow) {}

    const SampleWindow window;
    const CxImage::OverflowMethod overflow;
    Sampling sampling = Sampling::Areas;
    long newWidth = 0;
    float xs = 0, ys = 0;
    long long width = 0, height = 0; // the source's
    bool direct = false;             // point samples stored straight into a 24-bit result
    bool greySource = false;         // the source is on the grey ramp
    bool grey = false;               // window samples of a grey source
    bool paletteWalk = false;        // kernel samples of other indexed images walk their colours
    bool batched = false;            // samples whose windows lie inside are taken in runs
    bool bilinearRuns = false;       // batched bilinear samples, from the column tables
    bool folded = false;             // the overflow folds coordinates back into the image
    int widenedRows = 0;             // the grey window rows read widened to doubles
    bool spreadRows = false;         // the grey kernel rows read spread into their taps
    bool spreadFolds = false;        // ... every column's, folded where its window leaves
    bool spreadCorners = false;      // the grey bilinear rows read spread into their corners
    size_t planeStride = 0; // of a spread row's planes: the columns and the slack, 64 bytes whole

    std::vector<SampleAxis> columns;
    std::vector<int32_t> columnCells;
    // Kernel runs: each column's first window column and its weights tap by
    // tap, side by side, for the kernels' lanes.
    std::vector<int32_t> windowStarts;
    std::vector<float> tapWeights;
    // Spread rows that fold: the window columns of each column whose window
    // leaves the image, folded into it (tap i of column x at x · size + i).
    std::vector<int32_t> foldedColumns;
    std::vector<float> greyFractions;
    std::vector<double> greyComplements; // 1 − fraction
    // Taken once: its level's walk reads the picked groups it prepares.
    const GreyBilinearKernels* greyKernels = nullptr;
    const WalkKernels* walkKernels = nullptr;
    std::vector<uint8_t> greyPicks;
    std::vector<int32_t> greyPickRuns;
    std::vector<char> greyPickable; // inside, and 1 − fraction a float
    std::vector<int32_t> colourFractions;
    std::vector<char> columnInside;
    std::vector<int32_t> byteIndex, byteFractions; // 24 bpp: the same for each byte
    std::vector<long> insideEnd;                   // the end of the columns inside from here on
    std::vector<long> reachEnd; // spreadFolds: the end of the columns whose windows reach inside
    // Nearest samples: each column's source column, read where it and the
    // row's lie inside as the single sample reads the pixel itself.
    std::vector<int32_t> nearestColumns;
    PaletteColours palette;

    KernelTaps kernelColumns{};
    ColourColumns colourColumns{};
    GreyColumns greyColumns{};

    bool PointSampling() const { return sampling != Sampling::Areas; }
    bool Prepared() const { return sampling == Sampling::Windows; }
    bool Nearest() const { return sampling == Sampling::Nearest; }
    float SourceX(long x) const { return SourcePosition(x, xs); }
    float SourceY(long y) const { return SourcePosition(y, ys); }
};

// Sizes the plan's tables for the paths chosen; false when they do not fit.
bool AllocateColumnTables(ResamplePlan& p) {
    const size_t newWidth = static_cast<size_t>(p.newWidth);
    try {
        if (p.Nearest()) p.nearestColumns.resize(newWidth);
        if (p.batched || p.Nearest()) {
            p.columnInside.resize(newWidth);
            p.insideEnd.resize(newWidth);
        }
        if (p.batched && p.window.kernel) {
            p.windowStarts.resize(newWidth);
            p.tapWeights.resize(static_cast<size_t>(p.window.size) * newWidth);
        }
        if (p.spreadFolds) {
            p.foldedColumns.resize(static_cast<size_t>(p.window.size) * newWidth);
            p.reachEnd.resize(newWidth);
        }
        if (p.bilinearRuns) {
            p.columnCells.resize(newWidth);
            if (p.grey) {
                p.greyFractions.resize(newWidth);
                p.greyComplements.resize(newWidth);
                if (p.greyKernels->pickGroups != nullptr) {
                    p.greyPicks.resize(newWidth);
                    p.greyPickRuns.resize(newWidth);
                }
                if (p.greyKernels->pickGroups != nullptr || p.spreadCorners)
                    p.greyPickable.resize(newWidth);
            } else {
                p.colourFractions.resize(newWidth);
                p.byteIndex.resize(3 * newWidth);
                p.byteFractions.resize(3 * newWidth);
            }
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// Fills the column tables sized by AllocateColumnTables.
void FillColumnTables(ResamplePlan& p, CxImage& source) {
    const unsigned long sourceWidth = source.GetWidth();
    const SampleWindow& window = p.window;
    const std::vector<SampleAxis>& columns = p.columns;
    for (size_t x = 0; x < columns.size() && p.batched; ++x)
        p.columnInside[x] = WindowInside(window, columns[x], p.width);
    for (size_t x = 0; x < p.nearestColumns.size(); ++x) {
        const long column = NearestCell(p.SourceX(static_cast<long>(x)));
        p.columnInside[x] = column >= 0 && column < p.width;
        p.nearestColumns[x] = static_cast<int32_t>(column);
    }
    for (size_t x = 0; x < p.windowStarts.size(); ++x) {
        if (p.columnInside[x])
            p.windowStarts[x] = static_cast<int32_t>(columns[x].cell - window.before);
        for (size_t i = 0; i < static_cast<size_t>(window.size); ++i)
            p.tapWeights[i * p.windowStarts.size() + x] = columns[x].weights[i];
    }
    p.kernelColumns = KernelTaps{p.windowStarts.data(), p.tapWeights.data(), p.windowStarts.size()};
    for (size_t x = 0; x < columns.size() && p.spreadFolds; ++x)
        for (size_t i = 0; i < static_cast<size_t>(window.size) && !p.columnInside[x]; ++i) {
            long long column = columns[x].cell - window.before + static_cast<long long>(i), row = 0;
            RecordView(source).FoldWide(column, row, p.overflow);
            p.foldedColumns[x * static_cast<size_t>(window.size) + i] =
                static_cast<int32_t>(column);
        }
    if (p.bilinearRuns) {
        for (size_t x = 0; x < columns.size(); ++x)
            if (p.columnInside[x]) {
                p.columnCells[x] = static_cast<int32_t>(columns[x].cell);
                if (p.grey) {
                    p.greyFractions[x] =
                        BilinearWeights::Fraction(columns[x].coordinate, columns[x].cell);
                    p.greyComplements[x] = 1.0 - static_cast<double>(p.greyFractions[x]);
                    if (!p.greyPickable.empty())
                        p.greyPickable[x] =
                            static_cast<float>(p.greyComplements[x]) == p.greyComplements[x];
                } else
                    p.colourFractions[x] = static_cast<int32_t>(columns[x].fraction);
                for (size_t c = 0; c < (p.grey ? 0 : 3); ++c) {
                    p.byteIndex[3 * x + c] = 3 * p.columnCells[x] + static_cast<int32_t>(c);
                    p.byteFractions[3 * x + c] = p.colourFractions[x];
                }
            }
    }
    p.colourColumns = ColourColumns{p.columnCells.data(), p.colourFractions.data(),
                                    p.byteIndex.data(), p.byteFractions.data()};
    for (long x = static_cast<long>(p.insideEnd.size()) - 1; x >= 0; --x) {
        const size_t at = static_cast<size_t>(x);
        p.insideEnd[at] = !p.columnInside[at]                              ? x
                          : x + 1 == p.newWidth || !p.columnInside[at + 1] ? x + 1
                                                                           : p.insideEnd[at + 1];
    }
    for (long x = static_cast<long>(p.reachEnd.size()) - 1; x >= 0; --x) {
        const size_t at = static_cast<size_t>(x);
        const long long cell = columns[at].cell;
        const bool reaches = cell + window.after >= 0 && cell - window.before < p.width;
        p.reachEnd[at] = !reaches ? x : x + 1 == p.newWidth ? x + 1 : p.reachEnd[at + 1];
    }
    if (!p.greyPicks.empty())
        p.greyKernels->pickGroups(p.columnCells.data(), p.columnInside.data(),
                                  p.greyPickable.data(), p.greyPicks.size(), 1, sourceWidth,
                                  p.greyPicks.data(), p.greyPickRuns.data());
    p.greyColumns =
        GreyColumns{p.columnCells.data(), p.greyFractions.data(), p.greyComplements.data(),
                    PickedGroups{p.greyPicks.data(), p.greyPickRuns.data()},
                    p.spreadCorners ? p.greyPickable.data() : nullptr};
}

// Chooses how to sample and prepares the column tables; false when they do
// not fit in memory.
bool PrepareResample(ResamplePlan& p, CxImage& source, long newWidth, long newHeight,
                     bool disableAveraging) {
    p.newWidth = newWidth;
    p.xs = static_cast<float>(static_cast<double>(source.GetWidth()) / newWidth);
    p.ys = static_cast<float>(static_cast<double>(source.GetHeight()) / newHeight);
    const bool pointSampling = (p.xs <= 1 && p.ys <= 1) || disableAveraging;
    p.sampling = !pointSampling ? ResamplePlan::Sampling::Areas
                 : p.window.method == CxImage::IM_NEAREST_NEIGHBOUR
                     ? ResamplePlan::Sampling::Nearest
                     : ResamplePlan::Sampling::Windows;
    p.direct = pointSampling && !source.IsIndexed();
    // Point sampling prepares each column's axis (base cell, kernel weights)
    // once; a sample whose window lies wholly outside takes the sampler's
    // folding path instead, exactly as a single sample would.
    if (p.Prepared()) {
        try {
            p.columns.reserve(static_cast<size_t>(newWidth));
        } catch (const std::exception&) {
            return false;
        }
        for (long x = 0; x < newWidth; ++x) p.columns.emplace_back(p.window, p.SourceX(x));
    }
    // Samples whose windows lie inside a 24-bit source, or one on the grey
    // ramp, are taken in runs along the row, the kernel walks interleaved;
    // grey bilinear runs take each column's cell and fraction from a table.
    p.greySource = IsGreyRampImage(source);
    p.grey = p.Prepared() && p.greySource;
    p.paletteWalk = p.Prepared() && p.window.kernel && source.IsIndexed() && !p.grey &&
                    p.palette.Expand(source);
    p.batched = p.Prepared() && (p.direct || p.grey || p.paletteWalk);
    // Bilinear runs take each column's cell and fraction from a table: the
    // float fraction on the grey ramp, the 1/256 one at 24 bpp.
    p.bilinearRuns = p.batched && !p.window.kernel;
    p.folded = p.overflow >= CxImage::OM_WRAP && p.overflow <= CxImage::OM_MIRROR;
    // Grey kernel samples read their window rows spread into their taps
    // where the level's walks read them so. Other grey samples read them
    // widened where the level's walks read them so: the two of bilinear, or
    // the four of a kernel; Lanczos's twelve rows of doubles would not stay
    // in the first-level cache, and it reads bytes.
    p.spreadRows = p.grey && p.window.kernel && p.walkKernels->spreadTaps != nullptr &&
                   p.window.size >= p.walkKernels->smallestSpreadWindow;
    p.spreadFolds = p.spreadRows && p.folded;
    p.spreadCorners = p.grey && p.bilinearRuns && p.greyKernels->spreadCorners != nullptr;
    p.widenedRows = !p.grey || !p.greyKernels->readsWidened || p.spreadRows || p.spreadCorners ? 0
                    : !p.window.kernel                                                         ? 2
                    : p.window.size <= 4 ? p.window.size
                                         : 0;
    p.planeStride = (static_cast<size_t>(newWidth) + kTapSlack + 15) / 16 * 16;
    if (!AllocateColumnTables(p)) return false;
    FillColumnTables(p, source);
    return true;
}

// The source's pixel rows.
struct SourceRows {
    const uint8_t* first;
    size_t stride;
    const uint8_t* Row(size_t r) const { return first + r * stride; }
};

// Source rows of a grey image spread into the taps of the plan's columns,
// for a band's samples: a kernel's taps as 32-bit values (spreadTaps), or a
// bilinear sample's two corners as doubles (spreadCorners). Row r is kept in
// slot r mod slots, one slot a window row, as WidenedRows keeps them, so
// each source row is spread once per band. Columns whose windows leave the
// image hold their folded taps where the plan folds them (spreadFolds), else
// zeros, as the slack past the last does.
template <typename Value> class SpreadRows {
public:
    SpreadRows(const ResamplePlan& p, const uint8_t* firstRow, size_t stride)
        : plan(&p), firstRow(firstRow), stride(stride),
          values(static_cast<size_t>(p.window.size) * SlotValues(p) + kAlignment / sizeof(Value)),
          held(static_cast<size_t>(p.window.size), -1) {}

    // Whether a band's rows stay within kLimit bytes.
    static bool Fits(const ResamplePlan& p) {
        const size_t size = static_cast<size_t>(p.window.size);
        return p.planeStride <= kLimit / sizeof(Value) / size / size;
    }

    const Value* Row(long long row) {
        const ResamplePlan& p = *plan;
        const size_t slot = static_cast<size_t>(row) % held.size();
        Value* const planes = Aligned() + slot * SlotValues(p);
        if (held[slot] != row) {
            const uint8_t* const bytes = firstRow + static_cast<size_t>(row) * stride;
            const size_t size = static_cast<size_t>(p.window.size);
            for (long x = 0; x < p.newWidth;) {
                const size_t at = static_cast<size_t>(x);
                if (!p.columnInside[at]) {
                    if constexpr (std::is_same<Value, int32_t>::value)
                        for (size_t i = 0; i < size && p.spreadFolds; ++i)
                            planes[i * p.planeStride + at] = bytes[p.foldedColumns[at * size + i]];
                    ++x;
                    continue;
                }
                const long end = p.insideEnd[at];
                if constexpr (std::is_same<Value, double>::value)
                    p.greyKernels->spreadCorners(bytes, static_cast<size_t>(p.width),
                                                 p.columnCells.data() + at, end - x, p.planeStride,
                                                 planes + at);
                else
                    p.walkKernels->spreadTaps(bytes, p.window, p.kernelColumns.From(x),
                                              static_cast<int>(end - x), p.planeStride,
                                              planes + at);
                x = end;
            }
            held[slot] = row;
        }
        return planes;
    }

private:
    static constexpr size_t kLimit = size_t(64) << 20;
    // Planes start on a cache line, so that a run's lanes load and store
    // without splitting one.
    static constexpr size_t kAlignment = 64;
    Value* Aligned() {
        const uintptr_t at = reinterpret_cast<uintptr_t>(values.data());
        return values.data() + (kAlignment - at % kAlignment) % kAlignment / sizeof(Value);
    }
    static size_t SlotValues(const ResamplePlan& p) {
        return static_cast<size_t>(p.window.size) * p.planeStride;
    }

    const ResamplePlan* plan;
    const uint8_t* firstRow;
    size_t stride;
    std::vector<Value> values;
    std::vector<long long> held;
};

// One target row of point samples: its source row's axis and where it lies.
struct ResampleRow {
    ResampleRow(const ResamplePlan& p, bool storesGrey, uint8_t* greyOut, float sy)
        : sy(sy), rowAxis(p.window, sy),
          rowInside(p.batched && WindowInside(p.window, rowAxis, p.height)),
          greyRow(p.grey && storesGrey), storesGrey(storesGrey), greyOut(greyOut) {}

    float sy;
    SampleAxis rowAxis;
    bool rowInside;
    bool greyRow;    // grey samples stored straight as grey indices
    bool storesGrey; // the writer stores grey indices straight
    uint8_t* greyOut;
    const double* windowRows[4] = {};   // the window's source rows, widened
    const int32_t* spreadRows[12] = {}; // the window's source rows, spread into taps
    const double* cornerRows[2] = {};   // the window's source rows, spread into corners
    const uint8_t* byteRows[12] = {};   // the window's source rows, as bytes
    bool spreadWhole = false;           // spreadRows hold every column's taps, folded (spreadFolds)
    float rowFraction = 0;
    long nearestRow = -1;
    bool nearestRowInside = false;
    bool greyNearest = false;
};

// The rows of a window that leaves the image, folded as `fold` folds them,
// for spread rows that fold; false where the window lies wholly outside, or
// where two of its rows would share a slot of the spread rows' ring.
template <typename Fold>
bool FoldedWindowRows(const ResamplePlan& p, const ResampleRow& r, const Fold& fold,
                      long long (&rows)[12]) {
    const SampleWindow& window = p.window;
    const long long top = r.rowAxis.cell - window.before;
    if (top + window.size <= 0 || top >= p.height) return false;
    for (int j = 0; j < window.size; ++j) {
        long long column = 0;
        rows[j] = top + j;
        fold(column, rows[j]);
        for (int k = 0; k < j; ++k)
            if (rows[k] != rows[j] && rows[k] % window.size == rows[j] % window.size) return false;
    }
    return true;
}

// The row's window rows, its fraction and its nearest source row, for point
// samples. `fold` folds a column and row as the image folds them.
template <typename Fold>
void PrepareRowPoints(const ResamplePlan& p, ResampleRow& r, const GreyBilinearKernels& kernels,
                      WidenedRows* widened, SpreadRows<int32_t>* spread,
                      SpreadRows<double>* corners, const SourceRows& source, const Fold& fold) {
    const SampleWindow& window = p.window;
    long long folded[12];
    if (r.greyRow && r.rowInside)
        for (int j = 0; j < p.widenedRows; ++j)
            r.windowRows[j] = widened->Row(kernels, r.rowAxis.cell - window.before + j);
    // Spread rows stand in for the byte rows.
    if (r.greyRow && r.rowInside && corners != nullptr)
        for (int j = 0; j < 2; ++j) r.cornerRows[j] = corners->Row(r.rowAxis.cell + j);
    else if (r.greyRow && r.rowInside && spread != nullptr) {
        for (int j = 0; j < window.size; ++j)
            r.spreadRows[j] = spread->Row(r.rowAxis.cell - window.before + j);
        r.spreadWhole = p.spreadFolds;
    } else if (r.greyRow && spread != nullptr && p.spreadFolds &&
               FoldedWindowRows(p, r, fold, folded)) {
        for (int j = 0; j < window.size; ++j) r.spreadRows[j] = spread->Row(folded[j]);
        r.spreadWhole = true;
    } else if (r.greyRow && r.rowInside && p.widenedRows == 0)
        for (int j = 0; j < window.size; ++j)
            r.byteRows[j] = source.Row(static_cast<size_t>(r.rowAxis.cell - window.before + j));
    r.rowFraction = BilinearWeights::Fraction(r.rowAxis.coordinate, r.rowAxis.cell);
    r.nearestRow = p.Nearest() ? NearestCell(r.sy) : -1;
    r.nearestRowInside = r.nearestRow >= 0 && r.nearestRow < p.height;
    r.greyNearest = r.nearestRowInside && p.greySource && r.storesGrey;
}

constexpr long kRun = 64;

// Nearest samples of a grey source from x to end, stored as grey indices.
void GreyNearestRun(const ResamplePlan& p, const uint8_t* from, long x, long end,
                    uint8_t* greyOut) {
    for (; x < end; ++x) greyOut[x] = from[p.nearestColumns[static_cast<size_t>(x)]];
}

// Kernel samples of a grey source whose windows lie inside, `count` from x.
void GreyKernelRun(const ResamplePlan& p, const ResampleRow& r, const WalkKernels& walkKernels,
                   const SourceRows& source, unsigned long sourceWidth, long x, long count) {
    if (r.spreadRows[0] != nullptr) {
        const int32_t* from[12];
        for (int j = 0; j < p.window.size; ++j) from[j] = r.spreadRows[j] + x;
        walkKernels.greyWindowsSpread(from, p.planeStride, p.window, p.kernelColumns.From(x),
                                      static_cast<int>(count), r.rowAxis, r.greyOut + x);
    } else if (p.widenedRows > 0)
        walkKernels.greyWindowsWidened(r.windowRows, sourceWidth, p.window, p.kernelColumns.From(x),
                                       static_cast<int>(count), r.rowAxis, r.greyOut + x);
    else
        walkKernels.greyWindowsInside(r.byteRows, source.stride, p.window, p.kernelColumns.From(x),
                                      static_cast<int>(count), r.rowAxis, r.greyOut + x);
}

// Whether the window of column k on this row lies partly outside the image
// and partly inside it.
inline bool PartlyOutside(const ResamplePlan& p, const ResampleRow& r, long k) {
    return !(p.columnInside[static_cast<size_t>(k)] && r.rowInside) &&
           !p.window.AllOutside(p.columns[static_cast<size_t>(k)].cell, r.rowAxis.cell, p.width,
                                p.height);
}

// Kernel windows partly outside the image, folded, that the runs inside do
// not take: a run of them from x walks a copy of the pixels their windows
// read, each row and column folded on its own axis as a single sample folds
// it; the same pixels and terms. Returns the end of the run. `fold` folds a
// column and row as the image folds them.
template <typename Fold>
long FoldedKernelRun(const ResamplePlan& p, const ResampleRow& r, const WalkKernels& walkKernels,
                     const SourceRows& source, const BilinearSource& bilinear,
                     transform_detail::DirectRow& row, long x, const Fold& fold) {
    const SampleWindow& window = p.window;
    const SampleAxis& rowAxis = r.rowAxis;
    constexpr long long kSegment = 96;
    const long long first = p.columns[static_cast<size_t>(x)].cell - window.before;
    long end = x + 1;
    while (end < p.newWidth && end - x < kRun && PartlyOutside(p, r, end) &&
           p.columns[static_cast<size_t>(end)].cell + window.after - first < kSegment)
        ++end;
    const long long last = p.columns[static_cast<size_t>(end - 1)].cell + window.after;
    int32_t starts[kRun];
    for (long k = x; k < end; ++k)
        starts[k - x] =
            static_cast<int32_t>(p.columns[static_cast<size_t>(k)].cell - window.before - first);
    const KernelTaps run{starts, &p.tapWeights[static_cast<size_t>(x)], p.windowStarts.size()};
    const int count = static_cast<int>(end - x);
    long long foldedColumns[kSegment];
    for (long long column = first; column <= last; ++column) {
        long long row0 = 0;
        foldedColumns[column - first] = column;
        fold(foldedColumns[column - first], row0);
    }
    size_t foldedRows[12];
    for (int j = 0; j < window.size; ++j) {
        long long column0 = 0, sourceRow = rowAxis.cell - window.before + j;
        fold(column0, sourceRow);
        foldedRows[j] = static_cast<size_t>(sourceRow);
    }
    // The copy's rows are the window's: row j at j.
    SampleAxis copyRows = rowAxis;
    copyRows.cell = window.before;
    if (r.greyRow) {
        constexpr long long kSlack = 32; // the walk reads 32 values
        uint8_t segment[12][kSegment + kSlack] = {};
        const uint8_t* segmentRows[12];
        for (int j = 0; j < window.size; ++j) {
            const uint8_t* from = source.Row(foldedRows[j]);
            for (long long c = 0; c <= last - first; ++c) segment[j][c] = from[foldedColumns[c]];
            segmentRows[j] = segment[j];
        }
        walkKernels.greyWindowsInside(segmentRows, kSegment + kSlack, window, run, count, copyRows,
                                      r.greyOut + x);
    } else {
        constexpr long long kStride = 3 * kSegment + 64; // the walk reads 64 bytes
        uint8_t pixels[12][kStride] = {}, alphas[12][kSegment] = {};
        for (int j = 0; j < window.size; ++j) {
            const uint8_t* from = source.Row(foldedRows[j]);
            for (long long c = 0; c <= last - first; ++c) {
                std::memcpy(&pixels[j][3 * c], from + 3 * foldedColumns[c], 3);
                if (bilinear.alpha != nullptr)
                    alphas[j][c] = bilinear.alpha[foldedRows[j] * static_cast<size_t>(p.width) +
                                                  static_cast<size_t>(foldedColumns[c])];
            }
        }
        RGBQUAD results[kRun];
        walkKernels.colourWindowsInside(
            ColourPlanes{pixels[0], kStride, bilinear.alpha != nullptr ? alphas[0] : nullptr,
                         kSegment},
            window, run, count, copyRows, results);
        row.StoreRun(x, results, count);
    }
    return end;
}

// A folded grey bilinear window at an edge, target column x: the four pixels
// the single sample reads, mixed as it mixes each channel of their grey
// colours, stored as the grey index.
template <typename Fold>
void FoldedGreyBilinearSample(const ResamplePlan& p, const ResampleRow& r, const SourceRows& source,
                              long x, const Fold& fold) {
    const SampleAxis& column = p.columns[static_cast<size_t>(x)];
    const SampleAxis& rowAxis = r.rowAxis;
    long long left = column.cell, right = column.cell + 1, top = rowAxis.cell,
              bottom = rowAxis.cell + 1, inside = 0;
    for (long long* at : {&left, &right}) fold(*at, inside);
    for (long long* at : {&top, &bottom}) fold(inside, *at);
    const uint8_t* upper = source.Row(static_cast<size_t>(top));
    const uint8_t* lower = source.Row(static_cast<size_t>(bottom));
    r.greyOut[x] = BilinearWeights(column.coordinate, rowAxis.coordinate, column.cell, rowAxis.cell)
                       .Mix(upper[left], upper[right], lower[left], lower[right]);
}

// The kernel tables the point rows call.
struct RowKernels {
    const GreyBilinearKernels& greyBilinear;
    const ColourBilinearKernels& colourBilinear;
    const WalkKernels& walk;
};

// One target row of point samples, left to right: each run of columns goes
// to the path that takes it, the rest sample by sample. `image` reads the
// source as the single sample reads it (its pixels, folds and windows).
template <typename Image>
void PointRow(const ResamplePlan& plan, const ResampleRow& r, const RowKernels& kernels,
              Image& image, const SourceRows& source, const BilinearSource& bilinear,
              NearestIndexCache& writer, transform_detail::DirectRow& row, long y) {
    // A sample's colour into target pixel x of the row.
    auto storeColour = [&](long x, const RGBQUAD& c) {
        if (plan.direct)
            row.Store(x, c);
        else
            writer.SetPixelColor(x, y, c, true);
    };
    const SampleWindow& window = plan.window;
    const bool colourBilinearRow = plan.direct && r.rowInside && plan.bilinearRuns;
    const bool greyBilinearRow = r.greyRow && r.rowInside && plan.bilinearRuns;
    bool lastGrey = false; // the row's last pixel was stored as a grey index
    for (long x = 0; x < plan.newWidth;) {
        const size_t at = static_cast<size_t>(x);
        if (r.nearestRowInside && plan.columnInside[at]) {
            const long end = plan.insideEnd[at];
            if (r.greyNearest)
                GreyNearestRun(plan, image.Bits(r.nearestRow), x, end, r.greyOut);
            else
                for (long k = x; k < end; ++k)
                    storeColour(
                        k, image.Pixel(plan.nearestColumns[static_cast<size_t>(k)], r.nearestRow));
            x = end;
            lastGrey = r.greyNearest;
            continue;
        }
        if (greyBilinearRow && plan.columnInside[at]) {
            // The columns inside from here on, in one call.
            const long end = plan.insideEnd[at];
            const GreyColumns& columns = plan.greyColumns;
            if (r.cornerRows[0] != nullptr)
                kernels.greyBilinear.greyBilinearSpread(r.cornerRows, plan.planeStride, columns, x,
                                                        end - x, r.rowFraction, r.greyOut + x);
            else if (plan.widenedRows > 0)
                kernels.greyBilinear.greyBilinearWidened(r.windowRows[0], r.windowRows[1],
                                                         image.Width(), columns, x, end - x,
                                                         r.rowFraction, r.greyOut + x);
            else
                kernels.greyBilinear.greyBilinearRow(r.byteRows[0], source.stride, columns.cell + x,
                                                     columns.fraction + x, columns.complement + x,
                                                     r.rowFraction, end - x, r.greyOut + x);
            x = end;
            lastGrey = true;
            continue;
        }
        if (colourBilinearRow && plan.columnInside[at]) {
            const long end = plan.insideEnd[at];
            kernels.colourBilinear.colourBilinearRow(
                bilinear, static_cast<int32_t>(r.rowAxis.cell),
                static_cast<int32_t>(r.rowAxis.fraction), plan.colourColumns, x, end - x,
                row.pixels + 3 * x, row.alpha != nullptr ? row.alpha + x : nullptr);
            x = end;
            continue;
        }
        if (r.spreadWhole) {
            // Spread rows that fold hold every column's taps: a run goes on
            // to the first column whose window lies wholly outside.
            const long end = std::min(x + kRun, plan.reachEnd[at]);
            if (end > x) {
                GreyKernelRun(plan, r, kernels.walk, source, image.Width(), x, end - x);
                x = end;
                lastGrey = true;
                continue;
            }
        }
        const long count =
            r.rowInside && window.kernel && (plan.direct || r.greyRow || plan.paletteWalk)
                ? std::min(kRun, plan.insideEnd[at] - x)
                : 0;
        if (count > 0 && r.greyRow) {
            GreyKernelRun(plan, r, kernels.walk, source, image.Width(), x, count);
            x += count;
            lastGrey = true;
            continue;
        }
        if (count > 0) {
            RGBQUAD results[kRun];
            const KernelTaps run = plan.kernelColumns.From(x);
            if (plan.paletteWalk) {
                kernels.walk.colourWindowsInside(plan.palette.planes, window, run,
                                                 static_cast<int>(count), r.rowAxis, results);
                for (long k = 0; k < count; ++k) writer.SetPixelColor(x + k, y, results[k], true);
            } else {
                image.WindowsInside(window, run, static_cast<int>(count), r.rowAxis, results);
                row.StoreRun(x, results, count);
            }
            x += count;
            lastGrey = false;
            continue;
        }
        const float sx = plan.SourceX(x);
        if ((r.greyRow || plan.direct) && window.kernel && plan.folded &&
            PartlyOutside(plan, r, x)) {
            x = FoldedKernelRun(plan, r, kernels.walk, source, bilinear, row, x, image);
            lastGrey = r.greyRow;
            continue;
        }
        const bool partlyInside =
            plan.Prepared() &&
            !window.AllOutside(plan.columns[at].cell, r.rowAxis.cell, plan.width, plan.height);
        if (r.greyRow && !window.kernel && plan.folded && partlyInside) {
            FoldedGreyBilinearSample(plan, r, source, x, image);
            lastGrey = true;
            ++x;
            continue;
        }
        RGBQUAD c;
        if (partlyInside)
            c = image.WindowAt(window, plan.columns[at], r.rowAxis);
        else
            c = image.Interpolated(sx, r.sy);
        storeColour(x, c);
        lastGrey = false;
        ++x;
    }
    if (lastGrey) writer.Find(GreyColour(r.greyOut[plan.newWidth - 1]));
}

// How Rotate2 takes a target row's samples: the source position of each
// column and row, and which paths its samples may take.
struct RotatePlan {
    RotatePlan(CxImage::InterpolationMethod method, CxImage::OverflowMethod overflow)
        : window(method), method(method), overflow(overflow) {}

    const SampleWindow window;
    const CxImage::InterpolationMethod method;
    const CxImage::OverflowMethod overflow;
    float co = 0, si = 0; // the rotation's cosine and sine
    long newWidth = 0, newHeight = 0;
    bool keepOriginalSize = false;
    long long sourceWidth = 0, sourceHeight = 0;
    // Row and column positions step by float additions, as one pass along
    // the rows and columns makes them; a column's products with the cosine
    // and sine are the same on every row.
    std::vector<float> rowPositions;
    std::vector<double> columnCos, columnSin;

    RGBQUAD sample{};      // the replacement colour of samples outside
    bool indexed = false;  // samples stored through the nearest-colour writer
    bool alphaIn = false;  // ... with their alpha
    bool sampled = false;  // an interpolating method, not the nearest pixel
    bool straight = false; // bilinear samples read straight from a 24-bit source
    bool greyRamp = false; // the source is on the grey ramp
    // Kernel samples inside a 24-bit source go to the kernel walks as runs.
    bool kernelColour = false;
    bool constantOutside = false; // samples wholly outside take one colour
    RGBQUAD outside{};            // ... this one
    bool outsideIsGrey = false;   // ... stored as its own index in a grey result

    // The source point of column x on a row with products rowCos, rowSin.
    void Point(long x, double rowCos, double rowSin, float& srcX, float& srcY) const {
        srcX = static_cast<float>(columnCos[static_cast<size_t>(x)] + rowSin);
        srcY = static_cast<float>(rowCos - columnSin[static_cast<size_t>(x)]);
        if (keepOriginalSize) {
            srcX = static_cast<float>(srcX + newWidth * 0.5);
            srcY = static_cast<float>(srcY + newHeight * 0.5);
        }
    }
    bool WindowInside(long long xi, long long yi) const {
        return xi - window.before >= 0 && xi + window.after < sourceWidth &&
               yi - window.before >= 0 && yi + window.after < sourceHeight;
    }
};

// Sizes and fills the plan's row and column positions, the target's
// top-left sample at (sx0, sy0); false when they do not fit in memory.
bool PrepareRotatePositions(RotatePlan& p, float sx0, float sy0) {
    try {
        p.rowPositions.resize(static_cast<size_t>(p.newHeight));
        p.columnCos.resize(static_cast<size_t>(p.newWidth));
        p.columnSin.resize(static_cast<size_t>(p.newWidth));
    } catch (const std::exception&) {
        return false;
    }
    float v = sy0;
    for (long y = 0; y < p.newHeight; ++y, v += 1.0f) p.rowPositions[static_cast<size_t>(y)] = v;
    float u = sx0;
    for (size_t x = 0; x < p.columnCos.size(); ++x, u += 1.0f) {
        p.columnCos[x] = static_cast<double>(u) * p.co;
        p.columnSin[x] = static_cast<double>(u) * p.si;
    }
    return true;
}

// Chooses the paths Rotate2's samples may take. Samples whose window lies
// inside a 24-bit source, or one on the grey ramp, take the bilinear walk
// straight; those wholly outside take the overflow's one colour when it has
// one. Both as the sampler would give them.
void ChooseRotatePaths(RotatePlan& p, CxImage& source, const BilinearSource& bilinear) {
    p.indexed = source.IsIndexed();
    p.alphaIn = source.AlphaIsValid();
    p.sampled = p.method != CxImage::IM_NEAREST_NEIGHBOUR;
    p.straight = bilinear.direct && p.sampled && !p.window.kernel;
    p.greyRamp = p.sampled && IsGreyRampImage(source);
    p.kernelColour = bilinear.direct && p.window.kernel;
    p.constantOutside = p.sampled && OutsideIsConstant(p.overflow);
    p.outside = p.constantOutside
                    ? source.GetPixelColorWithOverflow(-999, -999, p.overflow, &p.sample)
                    : RGBQUAD{};
    // A grey outside colour goes into a grey-ramp result as its own index.
    const RGBQUAD greyOutside = GreyColour(p.outside.rgbBlue);
    p.outsideIsGrey = p.greyRamp && p.constantOutside &&
                      std::memcmp(&p.outside, &greyOutside, sizeof p.outside) == 0;
}

// The kernel tables Rotate2's rows call.
struct RotateKernels {
    const RotatedRowKernels& rotatedRow;
    const WalkKernels& walk;
    const CubicWeightKernels& cubicWeight;
};

// One target row of Rotate2 and what its samples read.
struct RotateRow {
    const RotatePlan& plan;
    const RotatedRow& rotated;
    const BilinearSource& bilinear;
    long y;
    double rowCos, rowSin;
    bool greyRow;     // grey samples stored straight as grey indices
    uint8_t* greyOut; // the row as grey indices
    transform_detail::DirectRow& row;
    NearestIndexCache& writer;

    // A sample's colour into target pixel x.
    void Store(long x, const RGBQUAD& c) const {
        if (plan.indexed)
            writer.SetPixelColor(x, y, c, plan.alphaIn);
        else
            row.Store(x, c);
    }
};

// Column x, whose kernel window lies inside, and those after it whose
// windows are inside too, their axes prepared as a single sample's would be;
// returns how many.
int RotatedKernelRun(const RotateRow& r, const RotateKernels& kernels, KernelRun& kernelRun, long x,
                     float srcX, float srcY) {
    const RotatePlan& p = r.plan;
    kernelRun.count = 0;
    for (long k = x; k < p.newWidth && kernelRun.count < KernelRun::kSize; ++k) {
        float u = srcX, v = srcY;
        if (k > x) p.Point(k, r.rowCos, r.rowSin, u, v);
        if (!p.WindowInside(BaseCell(u), BaseCell(v))) break;
        kernelRun.Add(u, v);
    }
    kernelRun.Weigh(kernels.cubicWeight);
    const int count = kernelRun.count;
    if (r.greyRow) {
        kernels.walk.greyPointsInside(r.rotated.firstRow, r.rotated.stride, p.window,
                                      kernelRun.Columns(), kernelRun.Rows(), count, r.greyOut + x);
    } else {
        RGBQUAD results[KernelRun::kSize];
        kernels.walk.colourPointsInside(
            ColourPlanes{r.rotated.firstRow, r.rotated.stride, r.bilinear.alpha,
                         static_cast<size_t>(p.sourceWidth)},
            p.window, kernelRun.Columns(), kernelRun.Rows(), count, results);
        r.row.StoreRun(x, results, count);
    }
    return count;
}

// Column x, whose window lies wholly outside, and with bilinear windows
// those after it that are wholly outside too, in the overflow's one colour;
// returns the end of the run and sets lastGrey.
long RotatedOutsideRun(const RotateRow& r, const RotateKernels& kernels, long x, bool& lastGrey) {
    const RotatePlan& p = r.plan;
    const long end = p.window.kernel
                         ? x + 1
                         : x + kernels.rotatedRow.rotatedOutside(r.rotated, x, p.newWidth - x);
    if (r.greyRow && p.outsideIsGrey) {
        std::memset(r.greyOut + x, p.outside.rgbBlue, static_cast<size_t>(end - x));
        lastGrey = true;
    } else {
        // Held here, not read through r on each pixel: the byte stores may
        // alias anything.
        const RGBQUAD outside = p.outside;
        const bool indexed = p.indexed, alphaIn = p.alphaIn;
        transform_detail::DirectRow row = r.row;
        for (long k = x; k < end; ++k)
            if (indexed)
                r.writer.SetPixelColor(k, r.y, outside, alphaIn);
            else
                row.Store(k, outside);
        lastGrey = false;
    }
    return end;
}

// One target row of Rotate2, left to right: each run of columns goes to the
// path that takes it, the rest sample by sample.
void RotateRowSamples(const RotateRow& r, const RotateKernels& kernels, CxImage& source,
                      RGBQUAD* sample) {
    const RotatePlan& p = r.plan;
    const SampleWindow& window = p.window;
    KernelRun kernelRun(window);
    bool lastGrey = false; // the row's last pixel was stored as a grey index
    for (long x = 0; x < p.newWidth; ++x) {
        float srcX, srcY;
        p.Point(x, r.rowCos, r.rowSin, srcX, srcY);
        const long long xi = BaseCell(srcX), yi = BaseCell(srcY);
        if (window.kernel && (r.greyRow || p.kernelColour) && p.WindowInside(xi, yi)) {
            x += RotatedKernelRun(r, kernels, kernelRun, x, srcX, srcY) - 1;
            lastGrey = r.greyRow;
            continue;
        }
        if (r.greyRow && !window.kernel && r.bilinear.Inside(xi, yi)) {
            // This column and those after it that are inside.
            x += kernels.rotatedRow.greyRotatedRow(r.rotated, x, p.newWidth - x, r.greyOut + x) - 1;
            lastGrey = true;
            continue;
        }
        if (p.straight && r.bilinear.Inside(xi, yi)) {
            x += kernels.rotatedRow.colourRotatedRow(
                     r.rotated, x, p.newWidth - x, r.row.pixels + 3 * x,
                     r.row.alpha != nullptr ? r.row.alpha + x : nullptr) -
                 1;
            continue;
        }
        if (p.constantOutside && window.AllOutside(xi, yi, p.sourceWidth, p.sourceHeight)) {
            x = RotatedOutsideRun(r, kernels, x, lastGrey) - 1;
            continue;
        }
        r.Store(x, source.GetPixelColorInterpolated(srcX, srcY, p.method, p.overflow, sample));
        lastGrey = false;
    }
    if (lastGrey) r.writer.Find(GreyColour(r.greyOut[p.newWidth - 1]));
}

} // namespace

bool CxImage::Resample2(long newWidth, long newHeight, InterpolationMethod method,
                        OverflowMethod overflow, CxImage* const destination,
                        bool disableAveraging) {
    if (newWidth <= 0 || newHeight <= 0 || pixelBuffer == nullptr) return false;
    if (newWidth == static_cast<long>(GetWidth()) && newHeight == static_cast<long>(GetHeight())) {
        if (destination != nullptr) destination->Copy(*this, true, true, true);
        return true;
    }
    // The work image comes first: creating it refuses sizes beyond the
    // memory limit before anything as wide as the result is allocated.
    CxImage work(0);
    if (!CreateWorkImage(work, static_cast<unsigned long>(newWidth),
                         static_cast<unsigned long>(newHeight), destination))
        return false;
    ResamplePlan plan(method, overflow);
    plan.greyKernels = &GreyBilinearKernelsInUse();
    plan.walkKernels = &WalkKernelsInUse();
    plan.width = head.biWidth;
    plan.height = head.biHeight;
    if (!PrepareResample(plan, *this, newWidth, newHeight, disableAveraging)) return false;
    RowBands bands(info, newHeight, static_cast<long long>(newWidth) * newHeight);
    std::vector<WidenedRows> widened;
    try {
        if (plan.widenedRows > 0)
            widened.assign(static_cast<size_t>(bands.Count()),
                           WidenedRows(info.firstRow, info.effWidth, GetWidth(), plan.widenedRows));
    } catch (const std::exception&) {
        return false;
    }
    // Spread rows are a speed-up: where they would not fit, the walks read
    // bytes.
    std::vector<SpreadRows<int32_t>> spread;
    std::vector<SpreadRows<double>> corners;
    try {
        if (plan.spreadRows && SpreadRows<int32_t>::Fits(plan))
            spread.assign(static_cast<size_t>(bands.Count()),
                          SpreadRows<int32_t>(plan, info.firstRow, info.effWidth));
        if (plan.spreadCorners && SpreadRows<double>::Fits(plan))
            corners.assign(static_cast<size_t>(bands.Count()),
                           SpreadRows<double>(plan, info.firstRow, info.effWidth));
    } catch (const std::exception&) {
        spread.clear();
        corners.clear();
    }
    // Area samples go a target row at a time.
    auto sourceX = [&plan](long x) { return plan.SourceX(x); };
    auto sourceY = [&plan](long y) { return plan.SourceY(y); };
    AreaRows areas(*this, plan.xs, plan.ys, method, overflow);
    if (!plan.PointSampling() &&
        !areas.Prepare(newWidth, newHeight, sourceX, sourceY, bands.Count()))
        return false;
    ReuseDestinationBlock(work, destination, work.GetBpp() >= 8);
    const BilinearSource bilinear(*this);
    const SourceRows source{info.firstRow, info.effWidth};
    const RowKernels kernels{*plan.greyKernels, ColourBilinearKernelsInUse(), *plan.walkKernels};
    // The source as the single sample reads it, for the row paths.
    struct Sampler {
        const RecordView image;
        const InterpolationMethod method;
        const OverflowMethod overflow;
        const uint8_t* Bits(long row) {
            return image.Image().GetBits(static_cast<unsigned long>(row));
        }
        unsigned long Width() const { return image.Image().GetWidth(); }
        RGBQUAD Pixel(long x, long y) { return image.BlindGetPixelColor(x, y); }
        void operator()(long long& column, long long& row) const {
            image.FoldWide(column, row, overflow);
        }
        void WindowsInside(const SampleWindow& window, const KernelTaps& run, int count,
                           const SampleAxis& ay, RGBQUAD* results) {
            SampleWindowsInside(image, window, run, count, ay, results);
        }
        RGBQUAD WindowAt(const SampleWindow& window, const SampleAxis& ax, const SampleAxis& ay) {
            return SampleWindowAt(image, window, ax, ay, overflow, nullptr);
        }
        RGBQUAD Interpolated(float x, float y) {
            return image.Image().GetPixelColorInterpolated(x, y, method, overflow, nullptr);
        }
    } sampler{RecordView(*this), method, overflow};
    bands.RunRows(work, [&](NearestIndexCache& writer, int band, long y) {
        ResampleRow r(plan, writer.StoresGreyDirectly(),
                      work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth,
                      plan.SourceY(y));
        if (!plan.PointSampling()) {
            areas.Row(writer, band, y, r.greyOut);
            return;
        }
        PrepareRowPoints(plan, r, kernels.greyBilinear,
                         widened.empty() ? nullptr : &widened[static_cast<size_t>(band)],
                         spread.empty() ? nullptr : &spread[static_cast<size_t>(band)],
                         corners.empty() ? nullptr : &corners[static_cast<size_t>(band)], source,
                         sampler);
        transform_detail::DirectRow row(work, y);
        PointRow(plan, r, kernels, sampler, source, bilinear, writer, row, y);
    });
    bands.ClearRowsNotRun(work);

    (destination != nullptr ? destination : this)->Transfer(work);
    return true;
}

bool CxImage::Rotate2(float angle, CxImage* destination, InterpolationMethod method,
                      OverflowMethod overflow, RGBQUAD* replacement, bool optimizeRightAngles,
                      bool keepOriginalSize) {
    if (pixelBuffer == nullptr || !std::isfinite(angle)) return false;

    const double quarter = static_cast<float>(elementary::kHalfPi);
    const double radians = -static_cast<double>(angle) * quarter / 90.0;
    const float co = static_cast<float>(elementary::Cos(radians));
    const float si = static_cast<float>(elementary::Sin(radians));

    const float width = static_cast<float>(GetWidth()), height = static_cast<float>(GetHeight());
    CxPoint2 corners[4] = {CxPoint2(-0.5f, -0.5f), CxPoint2(width - 0.5f, -0.5f),
                           CxPoint2(-0.5f, height - 0.5f), CxPoint2(width - 0.5f, height - 0.5f)};

    if (!keepOriginalSize) {
        for (CxPoint2& p : corners) {
            const double x = p.x, y = p.y;
            p = CxPoint2(static_cast<float>(x * co - y * si), static_cast<float>(x * si + y * co));
        }
        if (optimizeRightAngles) {
            CxPoint2& last = corners[3];
            if (last.Distance(height - 0.5f, 0.5f - width) < 0.25f) return RotateRight(destination);
            if (last.Distance(0.5f - height, width - 0.5f) < 0.25f) return RotateLeft(destination);
            if (last.Distance(0.5f - width, 0.5f - height) < 0.25f) return Rotate180(destination);
            if (last.Distance(width - 0.5f, height - 0.5f) < 0.25f) {
                if (destination != nullptr) destination->Copy(*this, true, true, true);
                return true;
            }
        }
    }

    float startX = corners[0].x, endX = corners[0].x;
    float startY = corners[0].y, endY = corners[0].y;
    for (const CxPoint2& p : corners) {
        startX = std::min(startX, p.x), endX = std::max(endX, p.x);
        startY = std::min(startY, p.y), endY = std::max(endY, p.y);
    }
    const long newWidth =
        static_cast<long>(std::floor(static_cast<float>(static_cast<double>(endX) - startX + 0.5)));
    const long newHeight =
        static_cast<long>(std::floor(static_cast<float>(static_cast<double>(endY) - startY + 0.5)));

    float sx0 = static_cast<float>(((static_cast<double>(endX) + startX) - (newWidth - 1)) * 0.5);
    float sy0 = static_cast<float>(((static_cast<double>(endY) + startY) - (newHeight - 1)) * 0.5);
    if (keepOriginalSize) {
        sx0 = static_cast<float>(sx0 - width * 0.5);
        sy0 = static_cast<float>(sy0 - height * 0.5);
    }

    CxImage work(0);
    if (!CreateWorkImage(work, static_cast<unsigned long>(newWidth),
                         static_cast<unsigned long>(newHeight), destination))
        return false;
    RotatePlan plan(method, overflow);
    plan.co = co, plan.si = si;
    plan.newWidth = newWidth, plan.newHeight = newHeight;
    plan.keepOriginalSize = keepOriginalSize;
    if (!PrepareRotatePositions(plan, sx0, sy0)) return false;
    ReuseDestinationBlock(work, destination, work.GetBpp() >= 8);

    plan.sample = replacement != nullptr ? *replacement : RGBQUAD{255, 255, 255, 0};
    const BilinearSource bilinear(*this);
    ChooseRotatePaths(plan, *this, bilinear);
    const RotateKernels kernels{RotatedRowKernelsInUse(), WalkKernelsInUse(),
                                CubicWeightKernelsInUse()};
    plan.sourceWidth = head.biWidth, plan.sourceHeight = head.biHeight;
    RowBands bands(info, newHeight, static_cast<long long>(newWidth) * newHeight);
    bands.RunRows(work, [&](NearestIndexCache& writer, int, long y) {
        const double rowV = plan.rowPositions[static_cast<size_t>(y)];
        const double rowCos = rowV * co, rowSin = rowV * si;
        transform_detail::DirectRow row(work, y);
        const RotatedRow rotated{info.firstRow,
                                 info.effWidth,
                                 bilinear.alpha,
                                 plan.sourceWidth,
                                 plan.sourceHeight,
                                 plan.columnCos.data(),
                                 plan.columnSin.data(),
                                 rowSin,
                                 rowCos,
                                 keepOriginalSize,
                                 newWidth * 0.5,
                                 newHeight * 0.5};
        const RotateRow r{plan,
                          rotated,
                          bilinear,
                          y,
                          rowCos,
                          rowSin,
                          plan.greyRamp && writer.StoresGreyDirectly(),
                          work.info.firstRow + static_cast<size_t>(y) * work.info.effWidth,
                          row,
                          writer};
        RotateRowSamples(r, kernels, *this, &plan.sample);
    });
    bands.ClearRowsNotRun(work);

    (destination != nullptr ? destination : this)->Transfer(work);
    return true;
}

bool CxImage::CropRotatedRectangle(long left, long top, long width, long height, float angle,
                                   CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    const float co = static_cast<float>(elementary::Cos(angle));
    const float si = static_cast<float>(elementary::Sin(angle));
    if (std::fabs(angle) < 0.0002f)
        return Crop(left, top, SaturatingSum(left, width), SaturatingSum(top, height), destination);

    const long x0 = std::min(
        left, SaturatingDifference(left, TruncateToLong(static_cast<double>(height) * si)));
    const long x1 = SaturatingSum(left, TruncateToLong(static_cast<double>(width) * co));
    const long y1 = SaturatingSum(
        top, TruncateToLong(static_cast<double>(width) * si + static_cast<double>(height) * co));
    if (!IsInside(x0, top) || !IsInside(x1, y1)) return false;

    CxImage work(*this, false, true, true);
    work.Copy(*this, true, false, true);
    if (!work.IsValid()) return false;
    if (!work.Crop(x0, top, x1, y1, nullptr)) return false;
    if (!work.Rotate(static_cast<float>(-static_cast<double>(angle) * 57.29577951308232), nullptr))
        return false;

    const long tw = static_cast<long>(work.GetWidth()), th = static_cast<long>(work.GetHeight());
    if (!work.Crop(SaturatingDifference(tw, width) / 2, SaturatingSum(th, height) / 2,
                   SaturatingSum(tw, width) / 2, SaturatingDifference(th, height) / 2, nullptr))
        return false;

    (destination != nullptr ? destination : this)->Transfer(work);
    return true;
}
