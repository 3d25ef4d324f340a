// Rectangle regions: reading a region's rectangles back on Windows; elsewhere
// the region object that keeps the union of its rectangles.

#include "platform/WinRegion.h"

#if defined(_WIN32)

std::vector<RECT> RegionRectangles(HRGN region) {
    if (region == nullptr) return {};
    const DWORD size = GetRegionData(region, 0, nullptr);
    if (size < sizeof(RGNDATAHEADER)) return {};
    std::vector<unsigned char> block(size);
    RGNDATA* data = reinterpret_cast<RGNDATA*>(block.data());
    if (GetRegionData(region, size, data) == 0) return {};
    const RECT* first = reinterpret_cast<const RECT*>(data->Buffer);
    return std::vector<RECT>(first, first + data->rdh.nCount);
}

#else

struct RegionObject {
    std::vector<RECT> rectangles;
};

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    HRGN region = new RegionObject;
    if (left < right && top < bottom) region->rectangles.push_back(RECT{left, top, right, bottom});
    return region;
}

int CombineRgn(HRGN destination, HRGN source1, HRGN source2, int mode) {
    if (destination == nullptr || source1 == nullptr || source2 == nullptr || mode != RGN_OR)
        return RGN_ERROR;
    // Only the added rectangles are copied, so building a region run by run
    // into the same region stays linear.
    const std::vector<RECT> added = source2 != source1 ? source2->rectangles : std::vector<RECT>();
    if (destination != source1) destination->rectangles = source1->rectangles;
    destination->rectangles.insert(destination->rectangles.end(), added.begin(), added.end());
    if (destination->rectangles.empty()) return NULLREGION;
    return destination->rectangles.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

BOOL DeleteObject(HGDIOBJ object) {
    if (object == nullptr) return 0;
    delete static_cast<RegionObject*>(object);
    return 1;
}

std::vector<RECT> RegionRectangles(HRGN region) {
    if (region == nullptr) return {};
    return region->rectangles;
}

#endif
