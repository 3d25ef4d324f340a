#include "platform/WinRegion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Bytes allocated while counting is on: the cost of building a region shows
// in the memory it copies, without measuring time.
namespace {
std::atomic<bool> counting(false);
std::atomic<size_t> allocated(0);
} // namespace

#if defined(__GNUC__) && !defined(__clang__)
// The replacement pair below allocates with malloc and frees with free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(size_t size) {
    if (counting.load()) allocated += size;
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    std::free(block);
}

TEST(WinRegion, UnionKeepsRectanglesInOrder) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    HRGN a = CreateRectRgn(0, 0, 2, 1), b = CreateRectRgn(5, 1, 6, 2);
    EXPECT_EQ(CombineRgn(region, region, a, RGN_OR), SIMPLEREGION);
    EXPECT_EQ(CombineRgn(region, region, region, RGN_OR), SIMPLEREGION);
    EXPECT_EQ(CombineRgn(region, region, b, RGN_OR), COMPLEXREGION);
    EXPECT_EQ(CombineRgn(a, b, region, RGN_OR), COMPLEXREGION); // into another region
    const std::vector<RECT> rects = RegionRectangles(a);
#if defined(_WIN32)
    // The system normalises a region: the repeated rectangle merges away.
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(rects[0].left, 0);
    EXPECT_EQ(rects[1].right, 6);
#else
    // Our layer keeps every rectangle, in the order the union met them.
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0].left, 5);
    EXPECT_EQ(rects[2].right, 6);
#endif
    for (HRGN r : {region, a, b}) EXPECT_TRUE(DeleteObject(r));
}

TEST(WinRegion, GrowingARegionRunByRunCopiesLinearMemory) {
    const int runs = 20000;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    counting = true;
    for (int i = 0; i < runs; ++i) {
        HRGN run = CreateRectRgn(2 * i, 0, 2 * i + 1, 1);
        CombineRgn(region, region, run, RGN_OR);
        DeleteObject(run);
    }
    counting = false;
    EXPECT_EQ(RegionRectangles(region).size(), size_t(runs));
    // Per run: one run object and its rectangle, plus the list's growth.
    EXPECT_LT(allocated.load(), size_t(runs) * 16 * sizeof(RECT));
    DeleteObject(region);
}
