#pragma once

// Wall-clock timing shared by the comparison and probe programs: one run's
// milliseconds and the median of several.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

inline double Milliseconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
