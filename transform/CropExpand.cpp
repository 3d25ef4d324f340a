// Canvas changes without scaling: crop, expand with margins, thumbnail.

#include "image/CxImage.h"
#include "transform/WorkImage.h"

#include <algorithm>
#include <climits>
#include <cstring>

using transform_detail::Percent;

namespace {

long Clamp(long value, long low, long high) {
    return std::min(std::max(value, low), high);
}

} // namespace

bool CxImage::CreateCanvas(CxImage& canvas, int64_t width, int64_t height, CxImage* destination) {
    if (!CreateWorkBlock(canvas, static_cast<unsigned long>(width),
                         static_cast<unsigned long>(height), GetBpp(), destination))
        return false;
    canvas.SetPalette(GetPalette(), GetNumColors());
    canvas.info.transIndex = info.transIndex;
    canvas.info.transColor = info.transColor;
    return true;
}

bool CxImage::Crop(long left, long top, long right, long bottom, CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());

    // The rectangle is in picture terms (top counted from the top edge);
    // rows are stored bottom-up.
    left = Clamp(left, 0, W);
    right = Clamp(right, 0, W);
    const long a = H - Clamp(top, 0, H);
    const long b = H - Clamp(bottom, 0, H);
    if (left == right || a == b) return false;
    const long x0 = std::min(left, right), x1 = std::max(left, right);
    const long y0 = std::min(a, b), y1 = std::max(a, b);
    const long newWidth = x1 - x0, newHeight = y1 - y0;

    CxImage work;
    if (!CreateCanvas(work, newWidth, newHeight, destination)) return false;
    if (alpha != nullptr) {
        work.AlphaCreate();
        if (!work.AlphaIsValid()) return false;
    }

    const unsigned bpp = head.biBitCount;
    const bool wholeBytes = bpp != 1 && bpp != 4;
    ReuseDestinationBlock(work, destination, wholeBytes);
    if (!wholeBytes) {
        for (long y = y0; y < y1; ++y) {
            info.progress = static_cast<int32_t>(Percent(y, y1));
            for (long x = x0; x < x1; ++x)
                work.BlindSetPixelIndex(x - x0, y - y0, BlindGetPixelIndex(x, y));
        }
    } else {
        const size_t bytes = static_cast<size_t>(bpp) * static_cast<size_t>(newWidth) / 8;
        const size_t offset = static_cast<size_t>(bpp) * static_cast<size_t>(x0) / 8;
        for (long y = y0; y < y1; ++y) {
            info.progress = static_cast<int32_t>(Percent(y, y1));
            uint8_t* row = work.info.firstRow + static_cast<size_t>(y - y0) * work.info.effWidth;
            std::memcpy(row, info.firstRow + static_cast<size_t>(y) * info.effWidth + offset,
                        bytes);
        }
    }

    if (alpha != nullptr) {
        for (long y = y0; y < y1; ++y)
            std::memcpy(work.alpha + static_cast<size_t>(y - y0) * static_cast<size_t>(newWidth),
                        alpha + static_cast<size_t>(y) * static_cast<size_t>(W) + x0,
                        static_cast<size_t>(newWidth));
    }
    return (destination != nullptr ? destination : this)->Transfer(work);
}

bool CxImage::Crop(const RECT& rect, CxImage* destination) {
    return Crop(rect.left, rect.top, rect.right, rect.bottom, destination);
}

bool CxImage::Expand(long left, long top, long right, long bottom, RGBQUAD canvasColour,
                     CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    if (left < 0 || top < 0 || right < 0 || bottom < 0) return false;
    // Margins that cannot give a valid image size are refused before they are
    // added up, so the sums cannot overflow.
    if (left > INT32_MAX || top > INT32_MAX || right > INT32_MAX || bottom > INT32_MAX)
        return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());
    const int64_t newWidth = static_cast<int64_t>(left) + W + right;
    const int64_t newHeight = static_cast<int64_t>(bottom) + H + top;
    if (newWidth > INT32_MAX || newHeight > INT32_MAX) return false;

    CxImage work;
    if (!CreateCanvas(work, newWidth, newHeight, destination)) return false;
    ReuseDestinationBlock(work, destination);

    const long resultWidth = static_cast<long>(newWidth);
    const long resultHeight = static_cast<long>(newHeight);
    const unsigned bpp = head.biBitCount;
    if (bpp == 1 || bpp == 4) {
        const unsigned char canvas = work.GetNearestIndex(canvasColour);
        for (long i = 0; i < resultHeight; ++i) {
            info.progress = static_cast<int32_t>(Percent(i, resultHeight));
            for (long j = 0; j < resultWidth; ++j) {
                const bool margin =
                    i < bottom || i > bottom + H - 1 || j < left || j > left + W - 1;
                work.BlindSetPixelIndex(j, i,
                                        margin ? canvas : BlindGetPixelIndex(j - left, i - bottom));
            }
        }
    } else {
        if (bpp == 8) {
            std::memset(work.info.firstRow, work.GetNearestIndex(canvasColour),
                        static_cast<size_t>(work.info.effWidth) * work.GetHeight());
        } else {
            for (long i = 0; i < resultHeight; ++i) {
                uint8_t* pixel = work.info.firstRow + static_cast<size_t>(i) * work.info.effWidth;
                for (long j = 0; j < resultWidth; ++j, pixel += 3) {
                    pixel[0] = canvasColour.rgbBlue;
                    pixel[1] = canvasColour.rgbGreen;
                    pixel[2] = canvasColour.rgbRed;
                }
            }
        }
        const size_t bytes = static_cast<size_t>(W) * bpp / 8;
        const size_t offset = static_cast<size_t>(left) * bpp / 8;
        for (long y = 0; y < H; ++y) {
            // Counted against the image's height; a bottom margin would carry the
            // value past 100, so it is held there.
            info.progress = static_cast<int32_t>(std::min(Percent(bottom + y, H), 100L));
            std::memcpy(work.info.firstRow + static_cast<size_t>(bottom + y) * work.info.effWidth +
                            offset,
                        info.firstRow + static_cast<size_t>(y) * info.effWidth, bytes);
        }
    }
    return (destination != nullptr ? destination : this)->Transfer(work);
}

bool CxImage::Expand(long newWidth, long newHeight, RGBQUAD canvasColour, CxImage* destination) {
    if (pixelBuffer == nullptr) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());
    if (newWidth < W || newHeight < H) return false;
    const long dx = newWidth - W;
    const long dy = newHeight - H;
    return Expand(dx / 2, dy / 2, dx - dx / 2, dy - dy / 2, canvasColour, destination);
}

bool CxImage::Thumbnail(long boxWidth, long boxHeight, RGBQUAD canvasColour, CxImage* destination) {
    if (pixelBuffer == nullptr || boxWidth <= 0 || boxHeight <= 0) return false;
    CxImage work(*this, true, true, true);
    if (!work.IsValid()) return false;
    const long W = static_cast<long>(GetWidth());
    const long H = static_cast<long>(GetHeight());

    if (W > boxWidth || H > boxHeight) {
        const float ratio =
            static_cast<float>(static_cast<double>(boxWidth) / static_cast<double>(boxHeight));
        const float factor =
            static_cast<double>(H) * static_cast<double>(ratio) > static_cast<double>(W)
                ? static_cast<float>(static_cast<double>(boxHeight) / static_cast<double>(H))
                : static_cast<float>(static_cast<double>(boxWidth) / static_cast<double>(W));
        // A very narrow picture would otherwise shrink to zero pixels in one direction,
        // which no resample can produce; it keeps at least one.
        const long width = std::max(1L, static_cast<long>(static_cast<double>(W) * factor));
        const long height = std::max(1L, static_cast<long>(static_cast<double>(H) * factor));
        if (!work.Resample(width, height, 0)) return false;
    }
    // Expanded straight into the destination (or this image), whose block it
    // can then take.
    return work.Expand(boxWidth, boxHeight, canvasColour,
                       destination != nullptr ? destination : this);
}
