#pragma once

// GDI rectangle regions. On Windows these are the system calls; elsewhere a
// small region object that keeps the union of its rectangles. Callers (and
// tests) read a region back with RegionRectangles.
#include "platform/Export.h"

#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include "platform/WinTypes.h"

struct RegionObject;
typedef RegionObject* HRGN;
typedef void* HGDIOBJ;
typedef int BOOL;

#define RGN_OR 2
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR 0

UEYE_EXPORT HRGN CreateRectRgn(int left, int top, int right, int bottom);
// Only RGN_OR is supported: destination = source1 united with source2.
UEYE_EXPORT int CombineRgn(HRGN destination, HRGN source1, HRGN source2, int mode);
UEYE_EXPORT BOOL DeleteObject(HGDIOBJ object);
#endif

// The region's rectangles: outside Windows those it was built from, in the
// order they were added; on Windows the system's bands, top to bottom and
// left to right within a band. Empty for a null region.
UEYE_EXPORT std::vector<RECT> RegionRectangles(HRGN region);
