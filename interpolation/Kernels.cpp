// One-dimensional filter kernels of the interpolating samplers.
//
// Arithmetic is in double precision; every point where a value is rounded to
// float is written out with a cast, because those roundings decide the last
// bits of the weights. Constants are the float values nearest to the literals,
// widened to double.

#include "image/CxImage.h"
#include "interpolation/Elementary.h"

#include <cmath>

namespace {

constexpr double kPi = static_cast<double>(3.1415927f);
constexpr double kTwoPi = static_cast<double>(6.2831855f);
constexpr double kSixth = static_cast<double>(0.16666667f);
constexpr double k092 = static_cast<double>(0.92f);
constexpr double k042 = static_cast<double>(0.42f);
constexpr double k008 = static_cast<double>(0.08f);
constexpr double kSevenEighteenths = static_cast<double>(0.38888888f);
constexpr double kTenThirds = static_cast<double>(3.3333333f);
constexpr double kSixteenNinths = static_cast<double>(1.7777778f);
constexpr double kSevenSixths = static_cast<double>(1.1666666f);
constexpr double kEightNinths = static_cast<double>(0.8888889f);
constexpr double kGaussNorm = static_cast<double>(0.7978846f); // sqrt(2/pi)
constexpr float kQuarterPi = 0.7853982f;

// Cube of a positive value rounded to float, 0 otherwise.
float PositiveCube(float t) {
    if (t > 0.0f) {
        const double d = static_cast<double>(t);
        return static_cast<float>(d * d * d);
    }
    return 0.0f;
}

// Horner evaluation in u², highest power first: each step multiplies the
// running value by u twice and adds the next coefficient.
template <size_t N> double HornerSquared(const double (&c)[N], double u) {
    double value = c[0];
    for (size_t i = 1; i < N; ++i) value = value * u * u + c[i];
    return value;
}

// num(u) / den(u), both polynomials in u². Beyond |u| of about 1e19 the
// terms overflow and the evaluation would give inf / inf, a NaN whose sign
// differs between processors; there the quotient equals the ratio of the
// leading coefficients far below float precision, and that limit is taken.
template <size_t N>
double RationalSquared(const double (&num)[N], const double (&den)[N], double u) {
    const double n = HornerSquared(num, u), d = HornerSquared(den, u);
    if (std::isinf(n) || std::isinf(d)) return num[0] / den[0];
    return n / d;
}

constexpr double kJ1Num[9] = {2701.1227108923235,    -4695753.530642996,    3413234182.3017006,
                              -1322983480332.1265,   290879526383477.56,    -3.588817569910106e16,
                              2.3164335806340024e18, -6.672106568924916e19, 5.811993540016061e20};
constexpr double kJ1Den[9] = {1.0,
                              1606.9315734814877,
                              1501793.5949985855,
                              1013863514.358674,
                              524371026216.76495,
                              208166122130760.75,
                              6.092061398917522e16,
                              1.185770712190321e19,
                              1.1623987080032122e21};

constexpr double kP1Num[6] = {1.2571716929145342, 211.15291828539623, 4985.4832060594335,
                              31353.963110915956, 62758.84524716128,  35224.66491336798};
constexpr double kP1Den[6] = {1.0,
                              203.07751891347593,
                              4930.396490181089,
                              31240.406381904104,
                              62694.34695935605,
                              35224.66491336798};
constexpr double kQ1Num[6] = {0.03532840052740124, 4.568171629551227, 83.18989576738508,
                              425.98730116544425,  721.0391804904475, 351.17519143035526};
constexpr double kQ1Den[6] = {1.0,
                              103.81875854621337,
                              1811.1867005523513,
                              9152.231701516992,
                              15414.177339265098,
                              7491.737417180912};

} // namespace

float CxImage::KernelBSpline(const float x) {
    if (x > 2.0f) return 0.0f;
    const double d = static_cast<double>(x);
    const float xp2 = static_cast<float>(d + 2.0);
    const float xp1 = static_cast<float>(d + 1.0);
    const float xm1 = static_cast<float>(d - 1.0);
    const double a = PositiveCube(xp2);
    const double b = PositiveCube(xp1);
    const double c = PositiveCube(x);
    const double e = PositiveCube(xm1);
    return static_cast<float>((a - 4.0 * b + 6.0 * c - 4.0 * e) * kSixth);
}

float CxImage::KernelLinear(const float t) {
    const double d = static_cast<double>(t);
    if (t < -1.0f) return 0.0f;
    if (t < 0.0f) return static_cast<float>(d + 1.0);
    if (t < 1.0f) return static_cast<float>(1.0 - d);
    return 0.0f;
}

float CxImage::KernelCubic(const float x) {
    const float t = std::fabs(x);
    const double d = static_cast<double>(t);
    const float t2f = static_cast<float>(d * d);
    const double t2 = static_cast<double>(t2f);
    if (t < 1.0f) return static_cast<float>(1.0 - 2.0 * t2 + d * t2);
    if (t < 2.0f) return static_cast<float>(4.0 - 8.0 * d + 5.0 * t2 - d * t2);
    return 0.0f;
}

float CxImage::KernelGeneralizedCubic(const float x, const float a) {
    const float t = std::fabs(x);
    const double d = static_cast<double>(t);
    const float t2f = static_cast<float>(d * d);
    const double t2 = static_cast<double>(t2f);
    const double ad = static_cast<double>(a);
    // An infinite `a` gives no kernel: inf - inf inside, the one NaN out.
    if (t < 1.0f)
        return elementary::OneNaN(static_cast<float>((ad + 2.0) * d * t2 - (ad + 3.0) * t2 + 1.0));
    if (t < 2.0f)
        return elementary::OneNaN(
            static_cast<float>(ad * d * t2 - 5.0 * ad * t2 + 8.0 * ad * d - 4.0 * ad));
    return 0.0f;
}

float CxImage::KernelLanczosSinc(const float x, const float radius) {
    if (std::fabs(x) > radius) return 0.0f;
    if (x == 0.0f) return 1.0f;
    // Only an unbounded radius lets an infinite x through: sinc's limit.
    if (std::isinf(x)) return 0.0f;
    const float X = static_cast<float>(static_cast<double>(x) * kPi);
    const float Y = static_cast<float>(static_cast<double>(X) / static_cast<double>(radius));
    const double sincX =
        static_cast<double>(static_cast<float>(elementary::Sin(static_cast<double>(X)))) / X;
    // Y reaches 0 only for an unbounded radius: the window is then 1, its limit.
    const double sincY =
        Y == 0.0f
            ? 1.0
            : static_cast<double>(static_cast<float>(elementary::Sin(static_cast<double>(Y)))) / Y;
    return static_cast<float>(sincX * sincY);
}

float CxImage::KernelBox(const float x) {
    if (x < -0.5f) return 0.0f;
    if (x < 0.5f) return 1.0f;
    return 0.0f;
}

float CxImage::KernelHermite(const float x) {
    const double d = static_cast<double>(x);
    if (x < -1.0f) return 0.0f;
    if (x < 0.0f) return static_cast<float>((-2.0 * d - 3.0) * d * d + 1.0);
    if (x < 1.0f) return static_cast<float>((2.0 * d - 3.0) * d * d + 1.0);
    return 0.0f;
}

float CxImage::KernelHamming(const float x) {
    const double d = static_cast<double>(x);
    if (x < -1.0f) return 0.0f;
    if (x < 0.0f) return static_cast<float>((-2.0 * d - 3.0) * k092 * d * d + 1.0);
    if (x < 1.0f) return static_cast<float>((2.0 * d - 3.0) * k092 * d * d + 1.0);
    return 0.0f;
}

float CxImage::KernelSinc(const float x) {
    if (x == 0.0f) return 1.0f;
    if (std::isinf(x)) return 0.0f; // the limit; sin(inf) has no value
    const double xpi = static_cast<double>(x) * kPi;
    const float sine =
        static_cast<float>(elementary::Sin(static_cast<double>(static_cast<float>(xpi))));
    return static_cast<float>(static_cast<double>(sine) / xpi);
}

float CxImage::KernelBlackman(const float x) {
    const double d = static_cast<double>(x);
    const float c1 =
        static_cast<float>(elementary::Cos(static_cast<double>(static_cast<float>(d * kPi))));
    const float c2 =
        static_cast<float>(elementary::Cos(static_cast<double>(static_cast<float>(d * kTwoPi))));
    return elementary::OneNaN(
        static_cast<float>(k042 + 0.5 * static_cast<double>(c1) + k008 * static_cast<double>(c2)));
}

float CxImage::KernelBessel_J1(const float x) {
    const double d = static_cast<double>(x);
    return static_cast<float>(RationalSquared(kJ1Num, kJ1Den, d));
}

float CxImage::KernelBessel_P1(const float x) {
    const double s = 8.0 / static_cast<double>(x);
    return static_cast<float>(RationalSquared(kP1Num, kP1Den, s));
}

float CxImage::KernelBessel_Q1(const float x) {
    const double s = 8.0 / static_cast<double>(x);
    return static_cast<float>(RationalSquared(kQ1Num, kQ1Den, s));
}

float CxImage::KernelBessel_Order1(float x) {
    if (x == 0.0f) return 0.0f;
    // The limit, odd as the function is; sin(inf) has no value.
    if (std::isinf(x)) return std::copysign(0.0f, x);
    const float m = std::fabs(x);
    const double md = static_cast<double>(m);
    if (m < 8.0f)
        return static_cast<float>(static_cast<double>(x) * static_cast<double>(KernelBessel_J1(m)));
    // Asymptotic form for large arguments.
    const double s = static_cast<double>(static_cast<float>(elementary::Sin(md)));
    const double c = static_cast<double>(static_cast<float>(elementary::Cos(md)));
    const double r = static_cast<double>(static_cast<float>(std::sqrt(2.0)));
    const double t1 = static_cast<double>(KernelBessel_P1(m)) * (s - c) * (1.0 / r);
    const double t2 = static_cast<double>(KernelBessel_Q1(m)) * (8.0 / md) * (c + s) * (-1.0 / r);
    const float q = static_cast<float>(t1 - t2);
    const float quotient = static_cast<float>(2.0 / (md * kPi));
    const float k = static_cast<float>(std::sqrt(static_cast<double>(quotient)));
    const float v = static_cast<float>(static_cast<double>(k) * static_cast<double>(q));
    return x < 0.0f ? -v : v;
}

float CxImage::KernelBessel(const float x) {
    if (x == 0.0f) return kQuarterPi;
    const float xpi = static_cast<float>(static_cast<double>(x) * kPi);
    return static_cast<float>(static_cast<double>(KernelBessel_Order1(xpi)) /
                              (2.0 * static_cast<double>(x)));
}

float CxImage::KernelGaussian(const float x) {
    const double d = static_cast<double>(x);
    const float exponent = static_cast<float>(-2.0 * d * d);
    const float e = static_cast<float>(elementary::Exp(static_cast<double>(exponent)));
    return static_cast<float>(static_cast<double>(e) * kGaussNorm);
}

float CxImage::KernelQuadratic(const float x) {
    const double d = static_cast<double>(x);
    if (x < -1.5f) return 0.0f;
    if (x < -0.5f) return static_cast<float>(0.5 * (d + 1.5) * (d + 1.5));
    if (x < 0.5f) return static_cast<float>(0.75 - d * d);
    if (x < 1.5f) return static_cast<float>(0.5 * (d - 1.5) * (d - 1.5));
    return 0.0f;
}

float CxImage::KernelMitchell(const float x) {
    const double d = static_cast<double>(x);
    if (x < -2.0f) return 0.0f;
    if (x < -1.0f)
        return static_cast<float>(kSixteenNinths -
                                  d * (-kTenThirds - d * (2.0 + kSevenEighteenths * d)));
    if (x < 0.0f) return static_cast<float>((-2.0 - kSevenSixths * d) * (d * d) + kEightNinths);
    if (x < 1.0f) return static_cast<float>((kSevenSixths * d - 2.0) * (d * d) + kEightNinths);
    if (x < 2.0f)
        return static_cast<float>(d * ((2.0 - kSevenEighteenths * d) * d - kTenThirds) +
                                  kSixteenNinths);
    return 0.0f;
}

float CxImage::KernelCatrom(const float x) {
    const double d = static_cast<double>(x);
    if (x < -2.0f) return 0.0f;
    if (x < -1.0f) return static_cast<float>(0.5 * (d * ((d + 5.0) * d + 8.0) + 4.0));
    if (x < 0.0f) return static_cast<float>(0.5 * ((-5.0 - 3.0 * d) * (d * d) + 2.0));
    if (x < 1.0f) return static_cast<float>(0.5 * ((3.0 * d - 5.0) * (d * d) + 2.0));
    if (x < 2.0f) return static_cast<float>(0.5 * (d * ((5.0 - d) * d - 8.0) + 4.0));
    return 0.0f;
}
