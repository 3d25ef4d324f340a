#pragma once

#include "image/CxImage.h"
#include "image/NearestIndexCache.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Splits the rows of an operation into bands done in parallel, as many as the
// process-wide thread count allows. Every row is computed by the same
// arithmetic whichever band holds it, so the result does not depend on the
// split. Images of fewer than 65536 pixels stay on the calling thread, and so does
// everything when the thread count is one.
//
// Progress and escape follow the one-thread loop: before each row the
// progress value becomes 100 · rows started / rows (only growing, ending
// where one thread ends) and a non-zero escape value stops every band before
// its next row. Threads are started and joined inside Run.
class RowBands {
public:
    // Images below this many pixels stay on the calling thread (tests lower
    // it to split small images too).
    static void SetMinimumPixels(long long pixels);

    RowBands(CxImage::Info& info, long rows, long long pixels);

    int Count() const { return count; }

    // Calls body(band, first, last) for each band of rows [first, last);
    // band 0 runs on the calling thread.
    void Run(const std::function<void(int, long, long)>& body);

    // Before row `row`: records the progress; false when the escape value
    // asks to stop.
    bool StartRow(long row);

    // Calls row(writer, band, y) for every row until an escape, each band with a
    // colour writer of its own into `work` (the first with the image's own
    // one-colour memory, see NearestIndexCache).
    template <typename Row> void RunRows(CxImage& work, Row row) {
        std::vector<std::optional<NearestIndexCache>> writers(static_cast<size_t>(count));
        for (int band = 0; band < count; ++band)
            writers[static_cast<size_t>(band)].emplace(
                work, band == 0 ? NearestIndexCache::ImageMemory : NearestIndexCache::OwnMemory);
        Run([&](int band, long first, long last) {
            NearestIndexCache& writer = *writers[static_cast<size_t>(band)];
            for (long y = first; y < last && StartRow(y); ++y) row(writer, band, y);
        });
        writers.back()->Commit();
    }

private:
    CxImage::Info& info;
    long rows;
    int count;
    std::atomic<long> started{0};
};
