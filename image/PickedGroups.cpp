// PickGroups: a row's lanes in picked groups, prepared once per call (see
// PickedGroups.h).

#include "image/PickedGroups.h"

#include <algorithm>

namespace {

constexpr size_t kLanes = 8, kValues = 16;

// Whether the group from lane g is picked; its offsets into picks if so.
bool PickGroup(const int32_t* index, const char* usable, size_t g, long step, size_t entries,
               uint8_t* picks) {
    const int64_t base = std::max<int64_t>(int64_t{index[g]} - step + 1, 0);
    if (static_cast<uint64_t>(base) + kValues > entries) return false;
    for (size_t lane = g; lane < g + kLanes; ++lane) {
        const int64_t offset = int64_t{index[lane]} - base;
        if ((usable != nullptr && !usable[lane]) || offset < 0 ||
            offset + step >= static_cast<int64_t>(kValues))
            return false;
        picks[lane] = static_cast<uint8_t>(offset);
    }
    return true;
}

} // namespace

void PickGroups(const int32_t* index, const char* inside, const char* usable, size_t count,
                long step, size_t entries, uint8_t* picks, int32_t* runs) {
    std::fill(runs, runs + count, 0);
    for (size_t start = 0; start < count;) {
        if (inside != nullptr && !inside[start]) {
            ++start;
            continue;
        }
        size_t end = start + 1;
        while (end < count && (inside == nullptr || inside[end])) ++end;
        // The run's groups, last first, each counting those after it.
        const size_t groups = (end - start) / kLanes;
        for (size_t j = groups; j-- > 0;) {
            const size_t g = start + j * kLanes;
            if (PickGroup(index, usable, g, step, entries, picks))
                runs[g] = 1 + (j + 1 < groups ? runs[g + kLanes] : 0);
        }
        start = end;
    }
}
