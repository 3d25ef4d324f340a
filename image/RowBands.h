#pragma once

#include "image/CxImage.h"
#include "image/NearestIndexCache.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Splits the rows of an operation into bands done in parallel, as many as the
// process-wide thread count allows. Every row is computed by the same
// arithmetic whichever band holds it, so the result does not depend on the
// split. Small images (under 65536 pixels) stay on the calling thread, and so
// does everything when the thread count is one.
//
// Progress and escape follow the operation's one-thread loop (RowChecks):
// with one band each row's check is exactly that loop's; with several the
// progress counts the rows started by all bands, so it only grows and ends
// where one thread ends, and a non-zero escape value stops every band before
// its next row. Bands add their rows to that count a few at a time, so the
// progress may trail the rows started by under one percent. Threads are
// started and joined inside Run.
class RowBands {
public:
    // What the operation's loop does before each row: set the progress value
    // and stop on a non-zero escape value, in either order; only stop; or
    // neither.
    enum RowChecks { ProgressThenEscape, EscapeThenProgress, EscapeOnly, NoChecks };

    // Images below this many pixels stay on the calling thread (tests lower
    // it to split small images too, and restore the default after).
    static constexpr long long kDefaultMinimumPixels = 1 << 16;
    static void SetMinimumPixels(long long pixels);

    // Rows [0, rows) of `pixels` pixels in all. The progress before row r is
    // 100 · (progressOffset + r) / progressTotal (progressTotal 0: rows).
    RowBands(CxImage::Info& info, long rows, long long pixels,
             RowChecks checks = ProgressThenEscape, long progressOffset = 0,
             long progressTotal = 0);

    int Count() const { return count; }

    // Calls body(band, first, last) for each band of rows [first, last);
    // band 0 runs on the calling thread.
    void Run(const std::function<void(int, long, long)>& body);

    // Before row `row` of band `band`: the checks; false when the escape
    // value asks to stop.
    bool StartRow(int band, long row);

    // Calls row(band, y) for every row until an escape.
    template <typename Row> void RunRows(Row row) {
        RunRowGroups(1, [&](int band, long y, long) { row(band, y); });
    }

    // Calls rows(band, first, last) for groups of at most `group` rows until
    // an escape, the checks of a group's rows made before it: for work that
    // walks several rows at once (tiles, for locality), the rows and progress
    // values of RunRows, each value set a little earlier.
    template <typename Rows> void RunRowGroups(long group, Rows rows) {
        Run([&](int band, long first, long last) {
            long y = first;
            while (y < last) {
                const long end = last - y > group ? y + group : last;
                long ready = y;
                while (ready < end && StartRow(band, ready)) ++ready;
                if (ready > y) rows(band, y, ready);
                y = ready;
                if (ready < end) break;
            }
            notRun[static_cast<size_t>(band)] = {y, last};
        });
    }

    // Clears the rows of `work` that an escape kept RunRows (or RunRowGroups)
    // from writing, for a work image on a reused block (see
    // CxImage::ReuseDestinationBlock).
    void ClearRowsNotRun(CxImage& work) const;

    // The same with a colour writer for each band into `work` (the first
    // with the image's own one-colour memory, see NearestIndexCache): calls
    // row(writer, band, y).
    template <typename Row> void RunRows(CxImage& work, Row row) {
        std::vector<std::optional<NearestIndexCache>> writers(static_cast<size_t>(count));
        for (int band = 0; band < count; ++band)
            writers[static_cast<size_t>(band)].emplace(
                work, band == 0 ? NearestIndexCache::ImageMemory : NearestIndexCache::OwnMemory);
        RunRows([&](int band, long y) { row(*writers[static_cast<size_t>(band)], band, y); });
        writers.back()->Commit();
    }

private:
    void SetProgress(long row);
    // Adds the rows band `band` has started since it last did to the count
    // of all bands, and sets the progress from it (several bands only).
    void Publish(int band);

    // Each band's count of rows not yet added, on a cache line of its own:
    // a count shared by the bands and changed on every row would move
    // between the cores each time, which costs more than a row of work.
    static constexpr size_t kSlot = 128 / sizeof(long);

    CxImage::Info& info;
    long rows;
    int count;
    RowChecks checks;
    long progressOffset, progressTotal;
    std::atomic<long> started{0};
    long batch = 1; // rows a band starts before it adds them
    std::vector<long> unpublished;
    // Each band's rows [first, last) left when RunRows stopped.
    std::vector<std::pair<long, long>> notRun;
};
