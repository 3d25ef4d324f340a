// Textbook algorithms: argument reduction with constants split so that the
// products are exact (Cody and Waite), then truncated Taylor series on the
// reduced interval, evaluated by Horner's rule. Every constant is written in
// hexadecimal, so it is the same double everywhere.

#include "interpolation/Elementary.h"

#include <cmath>
#include <limits>

namespace elementary {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// π/2 as a 33-bit head and the rest: k × head is exact for |k| < 2^20.
constexpr double kHalfPiHead = 0x1.921fb544p+0;
constexpr double kHalfPiTail = 0x1.0b4611a626331p-34;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;
constexpr double kLargestExactReduction = 0x1p19 * kHalfPiHead;

// (-1)^n / (2n+3)! for n = 0..8: sin x = x + x^3 (c0 + c1 x^2 + ...).
constexpr double kSinTerms[] = {
    -0x1.5555555555555p-3,  0x1.1111111111111p-7,   -0x1.a01a01a01a01ap-13,
    0x1.71de3a556c734p-19,  -0x1.ae64567f544e4p-26, 0x1.6124613a86d09p-33,
    -0x1.ae7f3e733b81fp-41, 0x1.952c77030ad4ap-49,  -0x1.2f49b46814157p-57};
// (-1)^n / (2n+4)! for n = 0..7: cos x = 1 − x^2/2 + x^4 (c0 + c1 x^2 + ...).
constexpr double kCosTerms[] = {
    0x1.5555555555555p-5,  -0x1.6c16c16c16c17p-10, 0x1.a01a01a01a01ap-16, -0x1.27e4fb7789f5cp-22,
    0x1.1eed8eff8d898p-29, -0x1.93974a8c07c9dp-37, 0x1.ae7f3e733b81fp-45, -0x1.6827863b97d97p-53};
// 1/n! for n = 2..14: e^r = 1 + r + r^2 (c0 + c1 r + ...).
constexpr double kExpTerms[] = {0x1.0000000000000p-1,  0x1.5555555555555p-3,  0x1.5555555555555p-5,
                                0x1.1111111111111p-7,  0x1.6c16c16c16c17p-10, 0x1.a01a01a01a01ap-13,
                                0x1.a01a01a01a01ap-16, 0x1.71de3a556c734p-19, 0x1.27e4fb7789f5cp-22,
                                0x1.ae64567f544e4p-26, 0x1.1eed8eff8d898p-29, 0x1.6124613a86d09p-33,
                                0x1.93974a8c07c9dp-37};
// (-1)^n / (2n+3) for n = 0..22: atan t = t + t^3 (c0 + c1 t^2 + ...).
constexpr double kAtanTerms[] = {
    -0x1.5555555555555p-2, 0x1.999999999999ap-3, -0x1.2492492492492p-3, 0x1.c71c71c71c71cp-4,
    -0x1.745d1745d1746p-4, 0x1.3b13b13b13b14p-4, -0x1.1111111111111p-4, 0x1.e1e1e1e1e1e1ep-5,
    -0x1.af286bca1af28p-5, 0x1.8618618618618p-5, -0x1.642c8590b2164p-5, 0x1.47ae147ae147bp-5,
    -0x1.2f684bda12f68p-5, 0x1.1a7b9611a7b96p-5, -0x1.0842108421084p-5, 0x1.f07c1f07c1f08p-6,
    -0x1.d41d41d41d41dp-6, 0x1.bacf914c1bad0p-6, -0x1.a41a41a41a41ap-6, 0x1.8f9c18f9c18fap-6,
    -0x1.7d05f417d05f4p-6, 0x1.6c16c16c16c17p-6, -0x1.5c9882b931057p-6};

// ln 2 as a 32-bit head and the rest: k × head is exact for |k| < 2^21.
constexpr double kLn2Head = 0x1.62e42feep-1;
constexpr double kLn2Tail = 0x1.a39ef35793c76p-33;
constexpr double kInverseLn2 = 0x1.71547652b82fep+0;
// Beyond these, e^x overflows to infinity or underflows to zero.
constexpr double kExpOverflow = 0x1.62e42fefa39efp+9;
constexpr double kExpUnderflow = -0x1.74910d52d3052p+9;

// atan of the break points 0.5, 1, 1.5 and infinity, as head and tail.
constexpr double kAtanHead[] = {0x1.dac670561bb4fp-2, 0x1.921fb54442d18p-1, 0x1.f730bd281f69bp-1,
                                0x1.921fb54442d18p+0};
constexpr double kAtanTail[] = {0x1.a2b7f222f65e2p-56, 0x1.1a62633145c07p-55, 0x1.007887af0cbbdp-56,
                                0x1.1a62633145c07p-54};
constexpr double kPiHead = 0x1.921fb54442d18p+1;
constexpr double kPiTail = 0x1.1a62633145c07p-53;

template <size_t N> double Horner(const double (&terms)[N], double z) {
    double sum = terms[N - 1];
    for (size_t i = N - 1; i-- > 0;) sum = sum * z + terms[i];
    return sum;
}

// sin(x + tail) for |x| ≤ π/4 and a tail far below the last place of x.
double SinKernel(double x, double tail) {
    const double z = x * x;
    return x + (x * z * Horner(kSinTerms, z) + tail * (1.0 - 0.5 * z));
}

// cos(x + tail) for |x| ≤ π/4; 1 − z/2 is formed with its rounding error kept.
double CosKernel(double x, double tail) {
    const double z = x * x, half = 0.5 * z, head = 1.0 - half;
    return head + (((1.0 - head) - half) + (z * z * Horner(kCosTerms, z) - x * tail));
}

// x = k·π/2 + (head + tail) with |head| ≲ π/4; returns k mod 4. Exact
// reduction needs |k| < 2^20; beyond that (|x| above about 1.6 million) the
// argument is first taken modulo 2π as a double, an exact operation: the
// result stays deterministic and bounded, though no longer close to the
// true value.
int ReduceQuarterTurns(double x, double& head, double& tail) {
    if (std::fabs(x) <= kQuarterPi) {
        head = x;
        tail = 0.0;
        return 0;
    }
    if (std::fabs(x) > kLargestExactReduction) x = std::fmod(x, 4.0 * kHalfPi);
    const double k = std::floor(x * kTwoOverPi + 0.5);
    const double rest = x - k * kHalfPiHead;
    const double product = k * kHalfPiTail;
    head = rest - product;
    tail = (rest - head) - product;
    double quadrant = std::fmod(k, 4.0);
    if (quadrant < 0) quadrant += 4.0;
    return static_cast<int>(quadrant);
}

// atan t for t ≥ 0, reduced to |t'| ≤ 7/16 around the nearest break point.
double AtanOfNonNegative(double t) {
    if (t >= 0x1p66) return kAtanHead[3] + kAtanTail[3];
    int index = -1;
    if (t >= 0.4375) {
        if (t < 0.6875) {
            index = 0;
            t = (2.0 * t - 1.0) / (2.0 + t);
        } else if (t < 1.1875) {
            index = 1;
            t = (t - 1.0) / (t + 1.0);
        } else if (t < 2.4375) {
            index = 2;
            t = (t - 1.5) / (1.0 + 1.5 * t);
        } else {
            index = 3;
            t = -1.0 / t;
        }
    }
    const double z = t * t;
    const double series = t * z * Horner(kAtanTerms, z);
    if (index < 0) return t + series;
    return kAtanHead[index] + ((t + series) + kAtanTail[index]);
}

} // namespace

double Sin(double x) {
    if (!std::isfinite(x)) return kNaN;
    double head = 0, tail = 0;
    switch (ReduceQuarterTurns(x, head, tail)) {
    case 0:
        return SinKernel(head, tail);
    case 1:
        return CosKernel(head, tail);
    case 2:
        return -SinKernel(head, tail);
    default:
        return -CosKernel(head, tail);
    }
}

double Cos(double x) {
    if (!std::isfinite(x)) return kNaN;
    double head = 0, tail = 0;
    switch (ReduceQuarterTurns(x, head, tail)) {
    case 0:
        return CosKernel(head, tail);
    case 1:
        return -SinKernel(head, tail);
    case 2:
        return -CosKernel(head, tail);
    default:
        return SinKernel(head, tail);
    }
}

double Exp(double x) {
    if (std::isnan(x)) return x;
    if (x > kExpOverflow) return std::numeric_limits<double>::infinity();
    if (x < kExpUnderflow) return 0.0;
    const double k = std::floor(x * kInverseLn2 + 0.5);
    const double r = (x - k * kLn2Head) - k * kLn2Tail;
    const double expm1 = r + r * r * Horner(kExpTerms, r);
    // Scaling by a power of two is exact (or, below the normal range, one
    // correctly rounded step).
    return std::ldexp(1.0 + expm1, static_cast<int>(k));
}

double Atan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y)) return kNaN;
    const bool negativeY = std::signbit(y);
    double angle;
    if (y == 0.0) {
        angle = std::signbit(x) ? kPiHead : 0.0;
    } else if (std::isinf(x) && std::isinf(y)) {
        angle = std::signbit(x) ? 3.0 * kQuarterPi : kQuarterPi;
    } else {
        const double a = AtanOfNonNegative(std::fabs(y) / std::fabs(x));
        angle = std::signbit(x) ? kPiHead - (a - kPiTail) : a;
    }
    return negativeY ? -angle : angle;
}

} // namespace elementary
