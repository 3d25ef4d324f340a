#pragma once

// Truncations, clamps and overflow-safe integer differences and sums shared by
// the operations and the kernel units.

#include <climits>
#include <cstdint>

// Internal linkage: the kernel units, built once per instruction-set level,
// use these too, and no copy built with wider instructions may stand in for
// the baseline one.

// Truncation toward zero of a real value to an integer, as the 32-bit
// conversion gives it: values outside the 32-bit range and NaN become the
// most negative 32-bit integer, which lies outside every image. Keeps every
// later index computation defined whatever the input.
static inline long TruncateToLong(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<long>(value);
}

// A colour channel sum clamped to 0..255 and truncated toward zero; NaN
// gives 0.
static inline uint8_t ClampChannel(float sum) {
    if (sum > 255.0f) return 255;
    if (!(sum > 0.0f)) return 0;
    return static_cast<uint8_t>(sum);
}

// a − b as a double: exact in 64 bits whatever the width of long, and rounded
// from the two operands only when even 64 bits cannot hold the difference.
static inline double LongDifference(long a, long b) {
    long long difference = 0;
    if (!__builtin_sub_overflow(static_cast<long long>(a), static_cast<long long>(b), &difference))
        return static_cast<double>(difference);
    return static_cast<double>(a) - static_cast<double>(b);
}

// a + b and a − b held to the range of long: a result beyond it lies outside
// every image anyway, and saturating keeps it there instead of wrapping back
// inside.
static inline long SaturatingSum(long a, long b) {
    long sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? LONG_MAX : LONG_MIN;
}

static inline long SaturatingDifference(long a, long b) {
    long difference = 0;
    if (!__builtin_sub_overflow(a, b, &difference)) return difference;
    return b < 0 ? LONG_MAX : LONG_MIN;
}
