#pragma once

#include <cfloat>
#include <limits>

// Results must be the same bits on every compiler and machine. The x87 unit
// keeps intermediates in extended precision and rounds them when it likes;
// 32-bit x86 builds use SSE2 arithmetic instead (-msse2 -mfpmath=sse).
static_assert(FLT_EVAL_METHOD == 0,
              "floating point must be evaluated in the precision of its types (SSE2, not x87)");

// Elementary functions in double precision, computed with basic arithmetic
// only, so their results do not depend on the platform's maths library (whose
// last bit differs between systems, processors and code paths). Each is within
// about one unit in the last place of the exact value for the arguments the
// image library uses; non-finite arguments give the standard answers.
namespace elementary {

double Sin(double x);
double Cos(double x);
double Exp(double x);
double Atan2(double y, double x);

// A float result without a value as one NaN on every processor: an
// operation that makes a NaN (inf - inf, 0 * inf, inf / inf) sets its sign
// bit on x86 and clears it on ARM. Other values pass unchanged.
inline float OneNaN(float v) {
    return v != v ? std::numeric_limits<float>::quiet_NaN() : v;
}

// π/2 correctly rounded: the value the maths library's acos(0.0) gives.
constexpr double kHalfPi = 0x1.921fb54442d18p+0;

} // namespace elementary
