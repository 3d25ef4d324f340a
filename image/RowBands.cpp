// The process-wide thread count (SetThreadCount, GetThreadCount) and the row
// bands that spread an operation's rows over threads.

#include "image/RowBands.h"

#include "image/BandThread.h"
#include "transform/WorkImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::atomic<int> threadCount{1};
std::atomic<long long> minimumPixels{RowBands::kDefaultMinimumPixels};

} // namespace

void CxImage::SetThreadCount(int n) {
    threadCount.store(n > 1 ? n : 1);
}

int CxImage::GetThreadCount() {
    return threadCount.load();
}

void RowBands::SetMinimumPixels(long long pixels) {
    minimumPixels.store(pixels);
}

RowBands::RowBands(CxImage::Info& imageInfo, long rowCount, long long pixels, RowChecks rowChecks,
                   long offset, long total)
    : info(imageInfo), rows(rowCount), count(1), checks(rowChecks), progressOffset(offset),
      progressTotal(total != 0 ? total : rowCount) {
    if (pixels > 0 && pixels >= minimumPixels.load() && rows > 1)
        count = static_cast<int>(std::min<long>(CxImage::GetThreadCount(), rows));
    notRun.assign(static_cast<size_t>(count), {0, 0});
    if (count > 1) {
        // The count of all bands then trails the rows started by less
        // than a hundredth of them.
        batch = std::max<long>(1, rows / (100L * count));
        unpublished.assign(static_cast<size_t>(count) * kSlot, 0);
    }
}

void RowBands::ClearRowsNotRun(CxImage& work) const {
    const size_t stride = work.GetEffWidth();
    for (const auto& rest : notRun)
        if (rest.first < rest.second)
            std::memset(work.GetBits(static_cast<unsigned long>(rest.first)), 0,
                        static_cast<size_t>(rest.second - rest.first) * stride);
}

void RowBands::SetProgress(long row) {
    const int32_t progress =
        static_cast<int32_t>(transform_detail::Percent(progressOffset + row, progressTotal));
    if (count == 1) {
        info.progress = progress;
        return;
    }
    // Only ever raised, whichever band gets here first.
    int32_t seen = __atomic_load_n(&info.progress, __ATOMIC_RELAXED);
    while (seen < progress && !__atomic_compare_exchange_n(&info.progress, &seen, progress, true,
                                                           __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
    }
}

bool RowBands::StartRow(int band, long row) {
    const bool go = checks == NoChecks || __atomic_load_n(&info.escape, __ATOMIC_RELAXED) == 0;
    if (checks == ProgressThenEscape || (checks == EscapeThenProgress && go)) {
        if (count == 1) {
            SetProgress(row);
        } else if (++unpublished[static_cast<size_t>(band) * kSlot] == batch) {
            // Several bands count the rows started by all of them.
            Publish(band);
        }
    }
    return go;
}

void RowBands::Publish(int band) {
    long& rowsStarted = unpublished[static_cast<size_t>(band) * kSlot];
    if (rowsStarted == 0) return;
    const long position = started.fetch_add(rowsStarted) + rowsStarted - 1;
    rowsStarted = 0;
    SetProgress(position);
}

void RowBands::Run(const std::function<void(int, long, long)>& body) {
    auto first = [this](int band) { return static_cast<long>(rows * int64_t(band) / count); };
    if (count == 1) {
        body(0, 0, rows);
        return;
    }
    // The first row's progress, as one thread sets it before any other.
    if (checks == ProgressThenEscape ||
        (checks == EscapeThenProgress && __atomic_load_n(&info.escape, __ATOMIC_RELAXED) == 0))
        info.progress =
            static_cast<int32_t>(transform_detail::Percent(progressOffset, progressTotal));
    auto runBand = [&](int band) {
        body(band, first(band), first(band + 1));
        Publish(band);
    };
    std::vector<BandThread> threads;
    int band = 1;
    try {
        threads.reserve(static_cast<size_t>(count - 1));
        for (; band < count; ++band) threads.emplace_back([&runBand, band] { runBand(band); });
    } catch (...) {
        // Bands without a thread of their own run on the calling thread.
    }
    runBand(0);
    for (int rest = band; rest < count; ++rest) runBand(rest);
    for (BandThread& thread : threads) thread.join();
}
