// Free rotation and warps: Rotate (nearest pixel, target rows in tiles), Skew
// and CircleTransform.

#include "image/CxImage.h"
#include "image/NearestIndexCache.h"
#include "image/RowBands.h"
#include "image/Truncate.h"
#include "interpolation/Elementary.h"
#include "interpolation/RotatedRowKernels.h"
#include "transform/WorkImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace {

// The region a warp visits: the selection's box clamped to the image, or the
// whole image without a selection.
struct Region {
    long left, bottom, right, top;
};

} // namespace

// Copies the source pixel (sx, sy) of this image into the work pixel (x, y),
// palette index or colour, then its alpha; points outside the source give
// the background values.
static void CopyNearestPixel(CxImage& source, CxImage& work, long x, long y, long sx, long sy) {
    if (source.IsIndexed())
        work.SetPixelIndex(x, y, source.GetPixelIndex(sx, sy));
    else
        work.SetPixelColor(x, y, source.GetPixelColor(sx, sy, true), false);
    work.AlphaSet(x, y, source.AlphaGet(sx, sy));
}

static long long RegionPixels(const Region& region) {
    return static_cast<long long>(std::max(region.right - region.left, 0L)) *
           std::max(region.top - region.bottom, 0L);
}

static Region WarpRegion(CxImage& image) {
    const long width = static_cast<long>(image.GetWidth());
    const long height = static_cast<long>(image.GetHeight());
    if (!image.SelectionIsValid()) return Region{0, 0, width, height};
    RECT box;
    image.SelectionGetBox(box);
    return Region{std::max<long>(box.left, 0), std::max<long>(box.bottom, 0),
                  std::min<long>(box.right, width), std::min<long>(box.top, height)};
}

// The canvas of a turn: the cosine and sine of its angle, the least turned
// corner coordinates and the canvas size, which holds every turned corner.
struct TurnCanvas {
    double c = 0, s = 0;
    long minX = 0, minY = 0, width = 0, height = 0;
};

static TurnCanvas CanvasOfTurn(float angle, double width, double height) {
    const double quarter = static_cast<float>(elementary::kHalfPi);
    const double radians = -static_cast<double>(angle) * quarter / 90.0;
    TurnCanvas t;
    t.c = elementary::Cos(radians), t.s = elementary::Sin(radians);
    const double cornersX[3] = {width, 0, width - 1};
    const double cornersY[3] = {0, height, height};
    long maxX = 0, maxY = 0;
    for (int i = 0; i < 3; ++i) {
        const long x = static_cast<long>(std::floor(cornersX[i] * t.c - cornersY[i] * t.s));
        const long y = static_cast<long>(std::floor(cornersX[i] * t.s + cornersY[i] * t.c));
        t.minX = std::min(t.minX, x), maxX = std::max(maxX, x);
        t.minY = std::min(t.minY, y), maxY = std::max(maxY, y);
    }
    t.width = maxX - t.minX + 2, t.height = maxY - t.minY + 2;
    return t;
}

// Source rows a multiple of 1 KiB apart share a few of the cache's sets, and
// a turned row visits many rows: an 8-bit source of that kind is read from a
// copy of its rows 64 bytes further apart (when that can be had), which
// spreads them over every set. Same bytes, same results. At 24 bpp the copy,
// three times larger, costs more than it saves.
static void SpreadSourceRows(CxImage::Info& info, long W, long H, const uint8_t*& rows,
                             uint32_t& stride, std::unique_ptr<uint8_t[]>& copy) {
    if (stride % 1024 != 0 || H <= 1 || static_cast<uint64_t>(H) * (stride + 64) > UINT32_MAX)
        return;
    const uint32_t spreadStride = stride + 64;
    copy.reset(new (std::nothrow) uint8_t[static_cast<size_t>(H) * spreadStride]);
    if (copy == nullptr) return;
    RowBands(info, H, static_cast<long long>(W) * H, RowBands::NoChecks)
        .Run([&](int, long first, long last) {
            for (long y = first; y < last; ++y)
                std::memcpy(copy.get() + static_cast<size_t>(y) * spreadStride,
                            rows + static_cast<size_t>(y) * stride, static_cast<size_t>(W));
        });
    rows = copy.get();
    stride = spreadStride;
}

bool CxImage::Rotate(float angle, CxImage* destination) {
    if (pixelBuffer == nullptr || !std::isfinite(angle)) return false;

    const TurnCanvas t = CanvasOfTurn(angle, GetWidth(), GetHeight());
    const double c = t.c, s = t.s;
    const long minX = t.minX, minY = t.minY, newWidth = t.width, newHeight = t.height;

    CxImage work;
    if (!CreateWorkImage(work, newWidth, newHeight, destination)) return false;
    RowBands bands(info, newHeight, static_cast<long long>(newWidth) * newHeight);
    // Rows go in tiles of kTileRows × kTileColumns: a target row follows a
    // slanted line through many source rows, one cache line of each, which
    // the rows below it in the tile read again before they are evicted.
    constexpr long kTileRows = 32, kTileColumns = 256;
    const long tileColumns = std::min(newWidth, kTileColumns);
    // Each band's source positions of one row of a tile, and their offsets.
    std::vector<int32_t> positions;
    try {
        positions.resize(3 * static_cast<size_t>(tileColumns) * static_cast<size_t>(bands.Count()));
    } catch (const std::exception&) {
        return false;
    }
    // Canvas corners that no source pixel reaches stay fully transparent.
    work.AlphaClear();
    ReuseDestinationBlock(work, destination, work.GetBpp() >= 8);

    // 8-bit and 24-bit pixels copy their bytes (and alpha values); positions
    // outside take the one background index or colour, and alpha 0.
    const long W = static_cast<long>(GetWidth()), H = static_cast<long>(GetHeight());
    const size_t pixelBytes = head.biBitCount == 8 ? 1 : head.biBitCount == 24 ? 3 : 0;
    uint8_t background[3] = {};
    if (pixelBytes == 1) {
        background[0] = GetPixelIndex(-1, -1);
    } else if (pixelBytes == 3) {
        const RGBQUAD colour = GetPixelColor(-1, -1, true);
        background[0] = colour.rgbBlue, background[1] = colour.rgbGreen,
        background[2] = colour.rgbRed;
    }
    const uint8_t* sourceRows = info.firstRow;
    uint32_t sourceStride = info.effWidth;
    std::unique_ptr<uint8_t[]> spreadRows;
    if (pixelBytes == 1) SpreadSourceRows(info, W, H, sourceRows, sourceStride, spreadRows);
    // Target columns [x0, x0 + count) of row j; the first row of a tile
    // prefetches the source lines it reads.
    auto tileRow = [&](int32_t* sx, long j, long x0, long count, bool firstOfTile) {
        int32_t* sy = sx + tileColumns;
        const double y = static_cast<double>(minY + j);
        RotatedRowKernelsInUse().rotationSources(c, s, y * s, y * c, minX + x0, count, sx, sy);
        uint8_t* const out = work.info.firstRow + static_cast<size_t>(j) * work.info.effWidth;
        uint8_t* const outAlpha = work.AlphaGetPointer(0, j);
        // The pixel size known to the compiler. First each pixel's offset in
        // the source rows, or kOutside (a loop without stores to the image,
        // which the compiler vectorises), then the copies. Offsets inside lie
        // in the pixel block, whose size fits 32 bits.
        auto copyRow = [&, W, H](auto size) {
            constexpr size_t n = decltype(size)::value;
            constexpr uint32_t kOutside = UINT32_MAX;
            const uint32_t width = static_cast<uint32_t>(W), height = static_cast<uint32_t>(H);
            const uint32_t stride = sourceStride;
            uint32_t* const offsets = reinterpret_cast<uint32_t*>(sy + tileColumns);
            for (long i = 0; i < count; ++i) {
                const uint32_t column = static_cast<uint32_t>(sx[i]);
                const uint32_t row = static_cast<uint32_t>(sy[i]);
                offsets[i] = column < width && row < height
                                 ? row * stride + static_cast<uint32_t>(n) * column
                                 : kOutside;
            }
            const uint8_t* const firstRow = sourceRows;
            // A slanted row meets a new source line every pixel or two, and
            // a tile's first row finds them outside the cache, one miss
            // after another: it prefetches the source of the pixel 64 on.
            // (The rows below read the same lines again; prefetching in
            // every row, or further on, gained less or cost time.)
            constexpr long kAhead = 64;
            for (long i = 0; i < count; ++i) {
                if (firstOfTile && i + kAhead < count && offsets[i + kAhead] != kOutside)
                    __builtin_prefetch(firstRow + offsets[i + kAhead]);
                const bool inside = offsets[i] != kOutside;
                std::memcpy(out + n * static_cast<size_t>(x0 + i),
                            inside ? firstRow + offsets[i] : background, n);
                if (outAlpha != nullptr)
                    outAlpha[x0 + i] = inside ? alpha[static_cast<size_t>(sy[i]) * W + sx[i]] : 0;
            }
        };
        if (pixelBytes == 1) {
            copyRow(std::integral_constant<size_t, 1>());
        } else if (pixelBytes == 3) {
            copyRow(std::integral_constant<size_t, 3>());
        } else {
            for (long i = 0; i < count; ++i) CopyNearestPixel(*this, work, x0 + i, j, sx[i], sy[i]);
        }
    };
    bands.RunRowGroups(kTileRows, [&](int band, long first, long last) {
        int32_t* sx = &positions[3 * static_cast<size_t>(tileColumns) * static_cast<size_t>(band)];
        for (long x0 = 0; x0 < newWidth; x0 += tileColumns)
            for (long j = first; j < last; ++j)
                tileRow(sx, j, x0, std::min(tileColumns, newWidth - x0), j == first);
    });
    bands.ClearRowsNotRun(work);

    (destination != nullptr ? destination : this)->Transfer(work);
    return true;
}

bool CxImage::Skew(float xgain, float ygain, long xpivot, long ypivot, bool interpolate) {
    if (pixelBuffer == nullptr) return false;
    CxImage work(*this, SelectionIsValid(), true, true);
    if (!work.IsValid()) return false;

    const Region region = WarpRegion(*this);
    const long height = static_cast<long>(GetHeight());
    RowBands bands(info, std::max(region.top - region.bottom, 0L), RegionPixels(region),
                   RowBands::ProgressThenEscape, region.bottom, height);
    bands.RunRows(work, [&](NearestIndexCache& writer, int, long row) {
        const long y = region.bottom + row;
        for (long x = region.left; x < region.right; ++x) {
            if (!SelectionIsInside(x, y)) continue;
            const float nx =
                static_cast<float>(x + static_cast<double>(xgain) * LongDifference(y, ypivot));
            const float ny =
                static_cast<float>(y + static_cast<double>(ygain) * LongDifference(x, xpivot));
            if (interpolate) {
                writer.SetPixelColor(
                    x, y, GetPixelColorInterpolated(nx, ny, IM_BILINEAR, OM_BACKGROUND, nullptr),
                    true);
            } else {
                CopyNearestPixel(*this, work, x, y, TruncateToLong(nx), TruncateToLong(ny));
            }
        }
    });
    Transfer(work);
    return true;
}

bool CxImage::CircleTransform(int type, long radius, float coefficient) {
    if (pixelBuffer == nullptr) return false;
    CxImage work(*this, SelectionIsValid(), true, true);
    if (!work.IsValid()) return false;

    const Region region = WarpRegion(*this);
    const long cx = static_cast<long>(work.GetWidth() / 2);
    const long cy = static_cast<long>(work.GetHeight() / 2);
    if (radius == 0) {
        // Squares summed in 64 bits: no overflow for any image size.
        const long long ddx = cx - region.left, ddy = cy - region.bottom;
        radius = static_cast<long>(
            static_cast<float>(std::sqrt(static_cast<double>(ddx * ddx + ddy * ddy))));
    }
    if (coefficient == 0) coefficient = 1;

    const long height = static_cast<long>(GetHeight());
    RowBands bands(info, std::max(region.top - region.bottom, 0L), RegionPixels(region),
                   RowBands::ProgressThenEscape, region.bottom, height);
    bands.RunRows([&](int, long row) {
        const long y = region.bottom + row;
        const long long dy = cy - y;
        for (long x = region.left; x < region.right; ++x) {
            if (!SelectionIsInside(x, y)) continue;
            const long long dx = cx - x;
            const float r = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
            long sx = -1, sy = -1;
            if (r < radius) {
                double theta = elementary::Atan2(static_cast<double>(dy), static_cast<double>(dx));
                double rho = 0;
                switch (type) {
                case 0:
                    rho = static_cast<double>(r) * r / radius;
                    break;
                case 1:
                    rho = std::sqrt(static_cast<double>(radius) * r);
                    break;
                case 2:
                    rho = r;
                    theta += r / static_cast<double>(coefficient);
                    break;
                default:
                    break;
                }
                if (type == 3) {
                    sx = TruncateToLong(std::fabs(theta * region.right / 6.2831852));
                    sy = TruncateToLong(std::fabs(static_cast<double>(region.top) * r / radius));
                } else if (type >= 4) {
                    sx = (x % 32) + x - 16;
                    sy = y;
                } else {
                    sx = cx + TruncateToLong(elementary::Cos(theta) * rho);
                    sy = cy - TruncateToLong(elementary::Sin(theta) * rho);
                }
            }
            CopyNearestPixel(*this, work, x, y, sx, sy);
        }
    });
    Transfer(work);
    return true;
}
