// Box averaging: fixed-point area averaging of 24-bit pixels in thousandths.
//
// Every source pixel is read once and its bytes spread over the destination
// pixels it covers, weighted by the covered fraction in thousandths. A source
// row straddling two destination rows puts its lower share into `carry`,
// which becomes the accumulator of the next destination row. Whether a source
// column lies inside one destination column or straddles two (and with what
// weight) follows a running float limit that is the same on every row, so the
// columns are grouped once per call; the rows are classified once too.
//
// The sums are integers, so the order of their terms is free: a run of whole
// pixels adds its bytes and multiplies once, and consecutive whole source rows
// of one destination row are added byte by byte before they are spread. Only
// the four-way terms of a pixel straddling in both directions are truncated,
// each on its own, as before.
//
// Bands of source rows start after a straddling row: the accumulator of their
// first destination row is that row's carry, made again from its bytes.

#include "transform/BoxAveraging.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

namespace transform_detail {
namespace {

constexpr uint32_t kAccuracy = 1000;

// Truncates a weight fraction (0..1) to thousandths, held to 0..1000 so that
// drift in the running float limits can never produce a negative weight.
int32_t Thousandths(float fraction) {
    const float scaled = fraction * static_cast<float>(kAccuracy);
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= static_cast<float>(kAccuracy)) return static_cast<int32_t>(kAccuracy);
    return static_cast<int32_t>(scaled);
}

// The source columns of one destination column: whole pixels [first, end),
// then the pixel at `end` straddling this column and the next, which gets
// `wx` thousandths of it. The last column has no straddling pixel when the
// running limits stop short of the row's end; it then takes the rest of the
// row. Pixels past the last column's straddling pixel are never written out.
struct ColumnGroup {
    int32_t first, end;
    bool straddles;
    int32_t wx;
};

std::vector<ColumnGroup> GroupColumns(long width, long newWidth, float kx) {
    std::vector<ColumnGroup> groups;
    groups.reserve(static_cast<size_t>(newWidth));
    float limitX = kx - 1.0f;
    int32_t first = 0;
    for (long x = 0; x < width && static_cast<long>(groups.size()) < newWidth; ++x) {
        if (static_cast<float>(x) < limitX) continue;
        groups.push_back(ColumnGroup{first, static_cast<int32_t>(x), true,
                                     Thousandths(static_cast<float>(x) - limitX)});
        first = static_cast<int32_t>(x) + 1;
        limitX += kx;
    }
    if (static_cast<long>(groups.size()) < newWidth)
        groups.push_back(ColumnGroup{first, static_cast<int32_t>(width), false, 0});
    return groups;
}

// Each source row's weight in the next destination row: −1 for a row inside
// one destination row, else the thousandths of a straddling row.
std::vector<int32_t> ClassifyRows(long height, float ky) {
    std::vector<int32_t> weights(static_cast<size_t>(height));
    float limitY = ky - 1.0f;
    for (long y = 0; y < height; ++y) {
        if (static_cast<float>(y) < limitY) {
            weights[static_cast<size_t>(y)] = -1;
        } else {
            weights[static_cast<size_t>(y)] = Thousandths(static_cast<float>(y) - limitY);
            limitY += ky;
        }
    }
    return weights;
}

// The low 8 bits of sum / scale for the non-negative sums of one call. While
// sum + scale stays below 2^52 both are exact as doubles and the quotient
// rounded to double is exact or lies within (q, q + 1 − 1/scale]: the gap
// 1/scale to q + 1 exceeds half a unit in the last place of q + 1, since
// (q + 1) · scale ≤ sum + scale < 2^52. Truncating it gives q.
class Quotient {
public:
    Quotient(int64_t divisor, bool sumsBelow2To52) : scale(divisor), viaDouble(sumsBelow2To52) {}

    uint8_t operator()(int64_t sum) const {
        if (viaDouble)
            return static_cast<uint8_t>(
                static_cast<int64_t>(static_cast<double>(sum) / static_cast<double>(scale)));
        return static_cast<uint8_t>(sum / scale);
    }

    // out[k] for the first `count` sums.
    void Write(const int64_t* sums, size_t count, uint8_t* out) const {
        for (size_t k = 0; k < count; ++k) out[k] = (*this)(sums[k]);
    }

private:
    int64_t scale;
    bool viaDouble;
};

// Sums of a run of pixels, by channel.
template <typename Value> struct RunSums {
    int64_t s[3] = {0, 0, 0};
    RunSums(const Value* row, const ColumnGroup& group) {
        const Value* end = row + 3 * static_cast<size_t>(group.end);
        for (const Value* p = row + 3 * static_cast<size_t>(group.first); p < end; p += 3) {
            s[0] += p[0];
            s[1] += p[1];
            s[2] += p[2];
        }
    }
};

// Source rows inside one destination row: whole pixels weigh 1000, a
// straddling pixel 1000 − wx in its column and wx in the next. `row` holds
// bytes, or the byte sums of several rows.
template <typename Value>
void SpreadWholeRow(const Value* row, const std::vector<ColumnGroup>& groups, int64_t* accu) {
    for (const ColumnGroup& group : groups) {
        const RunSums<Value> run(row, group);
        for (int j = 0; j < 3; ++j) accu[j] += kAccuracy * run.s[j];
        if (group.straddles) {
            const Value* p = row + 3 * static_cast<size_t>(group.end);
            for (int j = 0; j < 3; ++j) {
                accu[j] += static_cast<int64_t>(kAccuracy - group.wx) * p[j];
                accu[3 + j] += static_cast<int64_t>(group.wx) * p[j];
            }
        }
        accu += 3;
    }
}

// A source row straddling two destination rows, wy thousandths of it in the
// lower one. It adds the last terms of the upper row's columns.
void SpreadStraddlingRow(const uint8_t* row, const std::vector<ColumnGroup>& groups, int32_t wy,
                         int64_t* accu, int64_t* carry) {
    const uint32_t lower = static_cast<uint32_t>(wy), upper = kAccuracy - lower;
    for (const ColumnGroup& group : groups) {
        const RunSums<uint8_t> run(row, group);
        for (int j = 0; j < 3; ++j) {
            accu[j] += upper * run.s[j];
            carry[j] += lower * run.s[j];
        }
        if (group.straddles) {
            // The four weights of the pixel's quarters, in millionths. Every
            // term is a non-negative product below 255 · 1000 · 1000 < 2^32,
            // the same value in whichever order its factors multiply.
            const uint32_t left = kAccuracy - static_cast<uint32_t>(group.wx),
                           right = static_cast<uint32_t>(group.wx);
            const uint32_t upperLeft = left * upper, lowerLeft = left * lower;
            const uint32_t upperRight = right * upper, lowerRight = right * lower;
            const uint8_t* p = row + 3 * static_cast<size_t>(group.end);
            for (int j = 0; j < 3; ++j) {
                const uint32_t byte = p[j];
                accu[j] += byte * upperLeft / kAccuracy;
                carry[j] += byte * lowerLeft / kAccuracy;
                accu[3 + j] += byte * upperRight / kAccuracy;
                carry[3 + j] = byte * lowerRight / kAccuracy;
            }
        }
        accu += 3;
        carry += 3;
    }
}

// Whole source rows waiting to be spread: one is spread from its own bytes,
// several from their byte sums, kept below 2^32.
class PendingRows {
public:
    PendingRows(uint32_t* sumsBuffer, size_t rowBytes) : sums(sumsBuffer), bytes(rowBytes) {}

    template <typename Spread> void Add(const uint8_t* row, Spread spread) {
        if (count == 0) {
            single = row;
        } else if (count == 1) {
            for (size_t i = 0; i < bytes; ++i) sums[i] = uint32_t(single[i]) + row[i];
        } else {
            for (size_t i = 0; i < bytes; ++i) sums[i] += row[i];
        }
        if (++count == kMostRows) Flush(spread);
    }

    template <typename Spread> void Flush(Spread spread) {
        if (count == 1) spread(single);
        if (count > 1) spread(static_cast<const uint32_t*>(sums));
        count = 0;
    }

private:
    static constexpr long kMostRows = std::numeric_limits<uint32_t>::max() / 255;
    uint32_t* sums;
    size_t bytes;
    const uint8_t* single = nullptr;
    long count = 0;
};

} // namespace

bool BoxAverage(const PixelRows& source, const PixelRows& target, float kx, float ky,
                RowBands& bands) {
    const long H = source.height, newWidth = target.width, newHeight = target.height;
    const size_t entries = 3 * static_cast<size_t>(newWidth) + 3;
    const size_t rowBytes = 3 * static_cast<size_t>(source.width);
    const size_t bandCount = static_cast<size_t>(bands.Count());
    std::vector<ColumnGroup> groups;
    std::vector<int32_t> rowWeights;
    std::vector<int64_t> accumulators;
    std::vector<uint32_t> sums;
    try {
        groups = GroupColumns(source.width, newWidth, kx);
        rowWeights = ClassifyRows(H, ky);
        accumulators.assign(3 * entries * bandCount, 0);
        sums.resize(rowBytes * bandCount);
    } catch (const std::exception&) {
        return false;
    }
    // A sum holds at most 1000 × every byte of the image.
    const double largestSum =
        255.0 * kAccuracy * static_cast<double>(source.width) * static_cast<double>(H);
    const int64_t scale = static_cast<int64_t>(static_cast<float>(kAccuracy) * kx * ky);
    const Quotient quotient(scale, largestSum + static_cast<double>(scale) < 0x1p52);
    // The bytes each straddling row completes: three for every column group.
    const size_t groupBytes = 3 * groups.size();

    // Destination rows started before source row `row`.
    auto rowsBefore = [&](long row) {
        return static_cast<long>(std::count_if(rowWeights.begin(), rowWeights.begin() + row,
                                               [](int32_t w) { return w >= 0; }));
    };
    // The first source row at or after `row` that follows a straddling row.
    auto bandStart = [&](long row) {
        while (row > 0 && row < H && rowWeights[static_cast<size_t>(row) - 1] < 0) ++row;
        return row;
    };
    auto targetRow = [&](long v) {
        return target.firstRow + static_cast<size_t>(v) * target.stride;
    };

    bands.Run([&](int band, long first, long last) {
        const long begin = bandStart(first), end = bandStart(last);
        int64_t* accu = &accumulators[3 * entries * static_cast<size_t>(band)];
        int64_t* carry = accu + entries;
        int64_t* spare = carry + entries;
        PendingRows pending(&sums[rowBytes * static_cast<size_t>(band)], rowBytes);
        auto spread = [&](const auto* row) { SpreadWholeRow(row, groups, accu); };
        long v = rowsBefore(begin);
        const long owned = end == H ? newHeight : std::min(rowsBefore(end), newHeight);
        if (begin > 0 && begin < end && v < newHeight &&
            rowWeights[static_cast<size_t>(begin) - 1] > 0)
            SpreadStraddlingRow(source.firstRow + static_cast<size_t>(begin - 1) * source.stride,
                                groups, rowWeights[static_cast<size_t>(begin) - 1], spare, accu);
        bool stopped = false;
        for (long y = begin; y < end; ++y) {
            if (!bands.StartRow(band, y)) {
                stopped = true;
                break;
            }
            if (v >= newHeight) continue;
            const uint8_t* row = source.firstRow + static_cast<size_t>(y) * source.stride;
            const int32_t wy = rowWeights[static_cast<size_t>(y)];
            if (wy <= 0) pending.Add(row, spread);
            if (wy < 0) continue;
            pending.Flush(spread);
            // With weight 0 all of the row lies in the upper destination row,
            // as if whole (added above), and the lower one starts from zero.
            if (wy > 0) SpreadStraddlingRow(row, groups, wy, accu, carry);
            quotient.Write(accu, groupBytes, targetRow(v));
            if (wy > 0) {
                std::swap(accu, carry);
                carry[0] = carry[1] = carry[2] = 0;
            } else {
                std::fill(accu, accu + entries, 0);
            }
            ++v;
        }
        // The destination row in progress at the end of the image or at an
        // escape is written out as it stands.
        if ((stopped || end == H) && begin < end && v < owned) {
            pending.Flush(spread);
            quotient.Write(accu, entries - 3, targetRow(v));
        }
    });
    return true;
}

} // namespace transform_detail
