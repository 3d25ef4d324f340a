// The selection plane: rectangles, ellipses, polygons, colours and pixels
// added to it, its bounding box, inversion, copying, splitting and conversion
// to a region.

#include "image/CxImage.h"
#include "image/Truncate.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Coordinates are 64-bit in the selection's arithmetic whatever the width of
// long: sums and differences of 32-bit corners do not fit 32 bits.
long Clamp(long long value, long low, long high) {
    return static_cast<long>(std::max<long long>(low, std::min<long long>(value, high)));
}

// Work-plane marks of the polygon fill.
const uint8_t kOutline = 255;
const uint8_t kOutside = 1;

// Marks one pixel per step along the axis the edge spans, from p to n: the
// other coordinate follows the edge's slope. Steps outside the image select
// nothing, so the walk only visits the part of the range that lies inside.
// `along` and `across` pick the coordinates of the two axes.
void WalkEdge(uint8_t* plane, long width, long height, const POINT& p, const POINT& n,
              LONG POINT::*along, LONG POINT::*across, bool walkRows) {
    const long alongSize = walkRows ? height : width, acrossSize = walkRows ? width : height;
    const float slope =
        static_cast<float>(static_cast<double>(static_cast<long long>(n.*across) - p.*across) /
                           static_cast<double>(static_cast<long long>(n.*along) - p.*along));
    const long from = std::max<long>(std::min<long>(p.*along, n.*along), 0);
    const long to = std::min<long>(std::max<long>(p.*along, n.*along), alongSize - 1);
    for (long a = from; a <= to; ++a) {
        const float offset = static_cast<float>(static_cast<long long>(a) - p.*along);
        const long c = TruncateToLong(slope * offset + static_cast<float>(p.*across));
        if (c < 0 || c >= acrossSize) continue;
        plane[walkRows ? c + a * width : a + c * width] = kOutline;
    }
}

// An edge is drawn once per column it spans and once per row, so steep and
// flat edges both stay connected.
void DrawEdge(uint8_t* plane, long width, long height, const POINT& p, const POINT& n) {
    if (p.x != n.x) WalkEdge(plane, width, height, p, n, &POINT::x, &POINT::y, false);
    if (p.y != n.y) WalkEdge(plane, width, height, p, n, &POINT::y, &POINT::x, true);
}

struct FillBox {
    long left, right, bottom, top; // inclusive bounds
};

// Marks every zero pixel of the box that is 4-connected to the seed. The
// pending rows live in a queue that grows with the flood, so shapes of any
// complexity are filled completely.
void FloodOutside(uint8_t* plane, long width, long height, const FillBox& box, long seedX,
                  long seedY, std::vector<POINT>& queue) {
    queue.clear();
    queue.push_back(POINT{static_cast<int32_t>(seedX), static_cast<int32_t>(seedY)});
    auto inBox = [&](long x, long y) {
        return x >= box.left && x <= box.right && y >= box.bottom && y <= box.top;
    };
    auto visit = [&](long x, long y) {
        plane[x + y * width] = kOutside;
        if (y > 0 && plane[x + (y - 1) * width] == 0)
            queue.push_back(POINT{static_cast<int32_t>(x), static_cast<int32_t>(y - 1)});
        if (y + 1 < height && plane[x + (y + 1) * width] == 0)
            queue.push_back(POINT{static_cast<int32_t>(x), static_cast<int32_t>(y + 1)});
    };
    for (size_t next = 0; next < queue.size(); ++next) {
        const long startX = queue[next].x, y = queue[next].y;
        for (long x = startX; inBox(x, y) && plane[x + y * width] == 0; ++x) visit(x, y);
        for (long x = startX - 1; inBox(x, y) && plane[x + y * width] == 0; --x) visit(x, y);
    }
}

// Widens the box to hold the bounds, each new bound clamped to the image.
void GrowBox(RECT& box, long long left, long long right, long long bottom, long long top,
             long width, long height) {
    if (box.top < top) box.top = static_cast<int32_t>(Clamp(top, 0, height));
    if (box.left > left) box.left = static_cast<int32_t>(Clamp(left, 0, width));
    if (box.right < right) box.right = static_cast<int32_t>(Clamp(right, 0, width));
    if (box.bottom > bottom) box.bottom = static_cast<int32_t>(Clamp(bottom, 0, height));
}

} // namespace

bool CxImage::SelectionCreate() {
    SelectionDelete();
    const size_t bytes = static_cast<size_t>(GetWidth()) * GetHeight();
    if (bytes == 0) return false;
    selection = static_cast<uint8_t*>(std::calloc(bytes, 1));
    return selection != nullptr;
}

bool CxImage::SelectionDelete() {
    std::free(selection);
    selection = nullptr;
    info.selectionBox = RECT{head.biWidth, 0, 0, head.biHeight};
    return true;
}

bool CxImage::SelectionClear() {
    if (selection == nullptr) return false;
    std::memset(selection, 0, static_cast<size_t>(GetWidth()) * GetHeight());
    info.selectionBox = RECT{head.biWidth, 0, 0, head.biHeight};
    return true;
}

bool CxImage::SelectionIsValid() {
    return selection != nullptr;
}

bool CxImage::SelectionIsInside(long x, long y) {
    if (!IsInside(x, y)) return false;
    if (selection == nullptr) return true;
    return selection[static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth()] != 0;
}

void CxImage::SelectionGetBox(RECT& box) {
    box = info.selectionBox;
}

bool CxImage::SelectionInvert() {
    if (selection == nullptr) return false;
    const size_t bytes = static_cast<size_t>(GetWidth()) * GetHeight();
    for (size_t i = 0; i < bytes; ++i) selection[i] = static_cast<uint8_t>(~selection[i]);
    return true;
}

bool CxImage::SelectionCopy(CxImage& from) {
    if (from.selection == nullptr || from.GetWidth() != GetWidth() ||
        from.GetHeight() != GetHeight())
        return false;
    const size_t bytes = static_cast<size_t>(GetWidth()) * GetHeight();
    if (selection == nullptr) {
        selection = static_cast<uint8_t*>(std::malloc(bytes));
        if (selection == nullptr) return false;
    }
    if (selection != from.selection) std::memcpy(selection, from.selection, bytes);
    info.selectionBox = from.info.selectionBox;
    return true;
}

bool CxImage::SelectionSplit(CxImage* destination) {
    if (selection == nullptr || destination == nullptr) return false;
    return PlaneToGreyImage(selection, *destination);
}

bool CxImage::SelectionToHRGN(HRGN& region) {
    if (selection == nullptr || region == nullptr) return false;
    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    for (long y = 0; y < height; ++y) {
        const uint8_t* row = selection + static_cast<size_t>(y) * width;
        long x = 0;
        while (x < width) {
            if (row[x] != 255) {
                ++x;
                continue;
            }
            const long start = x;
            while (x < width && row[x] == 255) ++x;
            HRGN run = CreateRectRgn(static_cast<int>(start), static_cast<int>(y),
                                     static_cast<int>(x), static_cast<int>(y + 1));
            CombineRgn(region, region, run, RGN_OR);
            DeleteObject(run);
        }
    }
    return true;
}

bool CxImage::SelectionAddRect(RECT rect) {
    if (selection == nullptr && !SelectionCreate()) return false;
    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    const long left = std::min(rect.left, rect.right), right = std::max(rect.left, rect.right);
    const long bottom = std::min(rect.top, rect.bottom), top = std::max(rect.top, rect.bottom);

    GrowBox(info.selectionBox, left, right, bottom, top, width, height);

    const long x0 = Clamp(left, 0, width), x1 = Clamp(right, 0, width);
    const long y0 = Clamp(bottom, 0, height), y1 = Clamp(top, 0, height);
    for (long y = y0; y < y1; ++y)
        if (x1 > x0) std::memset(selection + x0 + y * width, 255, static_cast<size_t>(x1 - x0));
    return true;
}

bool CxImage::SelectionAddEllipse(RECT rect) {
    if (selection == nullptr && !SelectionCreate()) return false;
    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    const long long xRadius = std::llabs(static_cast<long long>(rect.right) - rect.left) / 2;
    const long long yRadius = std::llabs(static_cast<long long>(rect.top) - rect.bottom) / 2;
    if (xRadius == 0 || yRadius == 0) return false;
    const long long xc = (static_cast<long long>(rect.left) + rect.right) / 2;
    const long long yc = (static_cast<long long>(rect.top) + rect.bottom) / 2;

    const long long left = xc - xRadius, right = xc + xRadius;
    const long long bottom = yc - yRadius, top = yc + yRadius;
    GrowBox(info.selectionBox, left, right, bottom, top, width, height);

    const long x0 = Clamp(left, 0, width), x1 = Clamp(right, 0, width);
    const long y0 = Clamp(bottom, 0, height), y1 = Clamp(top, 0, height);
    const long ycClamped = Clamp(yc, y0, y1);

    const float xr = static_cast<float>(xRadius);
    const double yr = static_cast<float>(yRadius);
    const double ycf = static_cast<float>(yc);
    // Half height of the ellipse at column x, in single precision.
    auto halfHeight = [&](long x) -> double {
        const float v = static_cast<float>(x - xc) / xr;
        const float v2 = v * v;
        const float rest = 1.0f - v2;
        return static_cast<float>(std::sqrt(rest));
    };
    for (long y = y0; y < ycClamped; ++y)
        for (long x = x0; x < x1; ++x)
            if (static_cast<long long>(ycf - yr * halfHeight(x)) < y)
                selection[x + y * width] = 255;
    for (long y = ycClamped; y < y1; ++y)
        for (long x = x0; x < x1; ++x)
            if (y < static_cast<long long>(ycf + yr * halfHeight(x)))
                selection[x + y * width] = 255;
    return true;
}

bool CxImage::SelectionAddPolygon(POINT* points, long count) {
    if (points == nullptr || count < 3) return false;
    if (selection == nullptr && !SelectionCreate()) return false;
    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    const size_t planeBytes = static_cast<size_t>(width) * height;

    uint8_t* plane = static_cast<uint8_t*>(std::calloc(planeBytes, 1));
    if (plane == nullptr) return false;

    FillBox fill{width, 0, height, 0};
    long polygonStart = 0;
    for (long i = 0; i < count; ++i) {
        const POINT& p = points[i];
        if (p.x == -1) {
            polygonStart = i + 1;
            continue;
        }
        const bool closes = i + 1 >= count || points[i + 1].x == -1;
        const POINT& n = closes ? points[polygonStart] : points[i + 1];
        DrawEdge(plane, width, height, p, n);

        const long lowX = std::min(p.x, n.x), highX = std::max(p.x, n.x);
        const long lowY = std::min(p.y, n.y), highY = std::max(p.y, n.y);
        if (fill.top < highY) fill.top = Clamp(highY + 1, 0, height - 1);
        if (fill.left > lowX) fill.left = Clamp(lowX - 1, 0, width - 1);
        if (fill.right < highX) fill.right = Clamp(highX + 1, 0, width - 1);
        if (fill.bottom > lowY) fill.bottom = Clamp(lowY - 1, 0, height - 1);
    }

    try {
        std::vector<POINT> queue;
        auto seed = [&](long x, long y) {
            if (plane[x + y * width] == 0) FloodOutside(plane, width, height, fill, x, y, queue);
        };
        if (fill.left <= fill.right && fill.bottom <= fill.top) {
            for (long x = fill.left; x <= fill.right; ++x) seed(x, fill.bottom);
            for (long y = fill.bottom; y <= fill.top; ++y) seed(fill.right, y);
            for (long x = fill.left; x <= fill.right; ++x) seed(x, fill.top);
            for (long y = fill.bottom; y <= fill.top; ++y) seed(fill.left, y);
        }
    } catch (const std::bad_alloc&) {
        std::free(plane);
        return false;
    }

    for (long y = fill.bottom; y <= fill.top; ++y)
        for (long x = fill.left; x <= fill.right; ++x)
            if (plane[x + y * width] != kOutside) selection[x + y * width] = 255;

    RECT& box = info.selectionBox;
    if (box.top < fill.top) box.top = static_cast<int32_t>(fill.top + 1);
    if (fill.left < box.left) box.left = static_cast<int32_t>(fill.left);
    if (box.right < fill.right) box.right = static_cast<int32_t>(fill.right + 1);
    if (fill.bottom < box.bottom) box.bottom = static_cast<int32_t>(fill.bottom);

    std::free(plane);
    return true;
}

bool CxImage::SelectionAddColor(RGBQUAD colour) {
    if (selection == nullptr && !SelectionCreate()) return false;
    const long width = static_cast<long>(GetWidth()), height = static_cast<long>(GetHeight());
    long minX = width, maxX = 0, minY = height, maxY = 0;
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x) {
            const RGBQUAD c = GetPixelColor(x, y, true);
            if (c.rgbRed == colour.rgbRed && c.rgbGreen == colour.rgbGreen &&
                c.rgbBlue == colour.rgbBlue) {
                selection[x + y * width] = 255;
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
        }
    }
    RECT& box = info.selectionBox;
    box.top = static_cast<int32_t>(std::max<long>(box.top, maxY));
    box.left = static_cast<int32_t>(std::min<long>(box.left, minX));
    box.right = static_cast<int32_t>(std::max<long>(box.right, maxX));
    box.bottom = static_cast<int32_t>(std::min<long>(box.bottom, minY));
    return true;
}

bool CxImage::SelectionAddPixel(int x, int y) {
    if (selection == nullptr && !SelectionCreate()) return false;
    if (!IsInside(x, y)) return false;
    selection[static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth()] = 255;
    return true;
}
