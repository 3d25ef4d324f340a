#pragma once

#include <cstdint>

// Truncation toward zero of a real value to an integer, as the 32-bit
// conversion gives it: values outside the 32-bit range and NaN become the
// most negative 32-bit integer, which lies outside every image. Keeps every
// later index computation defined whatever the input.
inline long TruncateToLong(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<long>(value);
}

// A colour channel sum clamped to 0..255 and truncated toward zero; NaN
// gives 0.
inline uint8_t ClampChannel(float sum) {
    if (sum > 255.0f) return 255;
    if (!(sum > 0.0f)) return 0;
    return static_cast<uint8_t>(sum);
}
