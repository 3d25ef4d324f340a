#pragma once

#include "image/CxImage.h"

#include <cstdint>

// Helpers shared by the transformation units. They use only the public
// interface of CxImage.
namespace transform_detail {

// Progress of `done` out of `total` as a percentage, without 32-bit overflow.
inline long Percent(long done, long total) {
    if (total <= 0) return 0;
    return static_cast<long>(static_cast<int64_t>(done) * 100 / total);
}

} // namespace transform_detail
