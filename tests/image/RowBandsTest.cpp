#include "image/RowBands.h"
#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

// Four threads that split even small images, restored afterwards.
class ParallelRows : public ::testing::Test {
protected:
    void SetUp() override {
        CxImage::SetThreadCount(4);
        RowBands::SetMinimumPixels(0);
    }
    void TearDown() override {
        CxImage::SetThreadCount(1);
        RowBands::SetMinimumPixels(RowBands::kDefaultMinimumPixels);
    }
};

TEST(ThreadCount, BelowOneMeansOne) {
    for (int n : {0, -5, 1}) {
        CxImage::SetThreadCount(n);
        EXPECT_EQ(CxImage::GetThreadCount(), 1) << n;
    }
    CxImage::SetThreadCount(8);
    EXPECT_EQ(CxImage::GetThreadCount(), 8);
    CxImage::SetThreadCount(1);
}

TEST_F(ParallelRows, EveryRowOnceInItsBand) {
    CxImage::Info info{};
    RowBands bands(info, 1000, 1000);
    ASSERT_EQ(bands.Count(), 4);
    std::atomic<int> visits[1000] = {};
    bands.RunRows([&](int band, long y) {
        visits[y]++;
        EXPECT_EQ(band, static_cast<int>(y / 250));
    });
    for (const auto& v : visits) EXPECT_EQ(v.load(), 1);
    EXPECT_EQ(info.progress, 99); // where one thread ends: 100 · 999 / 1000
    // The rows a band starts after its last whole batch are counted too:
    // 1001 rows against a total of 1000 end at 100 only with every row.
    RowBands(info, 1001, 1001, RowBands::ProgressThenEscape, 0, 1000).RunRows([](int, long) {});
    EXPECT_EQ(info.progress, 100);
}

TEST_F(ParallelRows, EscapeStopsEveryBandAndLeavesAPartialResult) {
    CxImage::Info info{};
    info.escape = 1;
    RowBands bands(info, 1000, 1000);
    std::atomic<int> rows{0};
    bands.RunRows([&](int, long) { rows++; });
    EXPECT_EQ(rows.load(), 0);

    // An operation stopped before its first row delivers an empty result.
    CxImage image(300, 200, 24);
    std::memset(image.GetBits(), 0x77, size_t(image.GetEffWidth()) * 200);
    image.SetEscape(1);
    CxImage result;
    EXPECT_TRUE(image.Resample2(400, 300, CxImage::IM_BICUBIC, CxImage::OM_REPEAT, &result));
    ASSERT_TRUE(result.IsValid());
    for (unsigned long y = 0; y < 300; ++y)
        for (unsigned long x = 0; x < 3 * 400; ++x) ASSERT_EQ(result.GetBits(y)[x], 0);
}

TEST_F(ParallelRows, ChecksFollowTheOperationsOwnLoop) {
    // An operation that neither reports progress nor stops keeps both as they are.
    CxImage::Info info{};
    info.progress = 42;
    info.escape = 1;
    std::atomic<int> rows{0};
    RowBands(info, 100, 100, RowBands::NoChecks).RunRows([&](int, long) { rows++; });
    EXPECT_EQ(rows.load(), 100);
    EXPECT_EQ(info.progress, 42);
    // Escape first: a stopped loop never reports progress.
    RowBands(info, 100, 100, RowBands::EscapeThenProgress).RunRows([&](int, long) { rows++; });
    EXPECT_EQ(info.progress, 42);
    // Progress counted against a region of a taller image.
    info.escape = 0;
    RowBands(info, 10, 100, RowBands::ProgressThenEscape, 20, 50).RunRows([](int, long) {});
    EXPECT_EQ(info.progress, 100 * 29 / 50);
}

} // namespace
