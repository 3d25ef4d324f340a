#pragma once

#include <cstddef>
#include <cstdint>

// Groups of eight lanes, each reading a value of a row at its index and one
// `step` further, as the widest level takes them: the 16 values from the
// group's base, max(index[g] − step + 1, 0) for the group from lane g (a
// lane of a 24-bit row may read a lower channel of the first lane's pixel),
// loaded into two registers and each lane's pair picked from them. Prepared
// once per call for the columns every row shares, so that a kernel neither
// computes nor checks a group's offsets per row.
//
// A kernel walks runs of lanes, groups from each run's start on. A group is
// picked when every lane is usable, its two values lie within the 16 from
// the base, and those within the row's `entries`: picks[g + i] is then
// index[g + i] − base, eight bytes a kernel loads at once. runs[g] counts
// the picked groups g, g + 8, ... of the run up to the first one not
// picked; it is 0 for every other lane, so that a walk from a lane where no
// group starts picks nothing.
struct PickedGroups {
    const uint8_t* picks;
    const int32_t* runs;
};

// The runs are those of the lanes marked `inside`, or all `count` lanes as
// one run when it is null; `usable` may be null when every lane is.
void PickGroups(const int32_t* index, const char* inside, const char* usable, size_t count,
                long step, size_t entries, uint8_t* picks, int32_t* runs);
