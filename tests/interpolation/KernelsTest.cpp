#include "image/CxImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Closed forms written independently of the kernels' factored polynomials.
double BSplineRef(double x) {
    const double a = std::fabs(x);
    if (a < 1.0) return 2.0 / 3.0 - a * a + a * a * a / 2.0;
    if (a < 2.0) return (2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0;
    return 0.0;
}

double MitchellRef(double x) {
    const double B = 1.0 / 3.0, C = 1.0 / 3.0, a = std::fabs(x);
    if (a < 1.0)
        return ((12 - 9 * B - 6 * C) * a * a * a + (-18 + 12 * B + 6 * C) * a * a + (6 - 2 * B)) /
               6.0;
    if (a < 2.0)
        return ((-B - 6 * C) * a * a * a + (6 * B + 30 * C) * a * a + (-12 * B - 48 * C) * a +
                (8 * B + 24 * C)) /
               6.0;
    return 0.0;
}

double CatromRef(double x) {
    const double a = std::fabs(x);
    if (a < 1.0) return 1.5 * a * a * a - 2.5 * a * a + 1.0;
    if (a < 2.0) return -0.5 * a * a * a + 2.5 * a * a - 4.0 * a + 2.0;
    return 0.0;
}

} // namespace

TEST(Kernels, BoxLinearQuadraticIntervalEnds) {
    EXPECT_EQ(CxImage::KernelBox(-0.5f), 1.0f);
    EXPECT_EQ(CxImage::KernelBox(0.5f), 0.0f);
    EXPECT_EQ(CxImage::KernelBox(-0.50001f), 0.0f);

    EXPECT_EQ(CxImage::KernelLinear(-1.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelLinear(0.0f), 1.0f);
    EXPECT_EQ(CxImage::KernelLinear(0.25f), 0.75f);
    EXPECT_EQ(CxImage::KernelLinear(-0.25f), 0.75f);
    EXPECT_EQ(CxImage::KernelLinear(1.0f), 0.0f);

    EXPECT_EQ(CxImage::KernelQuadratic(-1.5f), 0.0f);
    EXPECT_EQ(CxImage::KernelQuadratic(0.0f), 0.75f);
    EXPECT_EQ(CxImage::KernelQuadratic(1.5f), 0.0f);
    EXPECT_EQ(CxImage::KernelQuadratic(-0.5f), 0.5f);
    EXPECT_EQ(CxImage::KernelQuadratic(0.5f), 0.5f);
    EXPECT_EQ(CxImage::KernelQuadratic(1.0f), 0.125f);
}

TEST(Kernels, HermiteAndHammingEnds) {
    EXPECT_EQ(CxImage::KernelHermite(0.0f), 1.0f);
    EXPECT_EQ(CxImage::KernelHermite(-1.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelHermite(1.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelHermite(0.5f), 0.5f);
    EXPECT_EQ(CxImage::KernelHermite(-0.5f), 0.5f);

    EXPECT_EQ(CxImage::KernelHamming(0.0f), 1.0f);
    EXPECT_EQ(CxImage::KernelHamming(1.0f), 0.0f);
    // The low end is inside the interval: 1 - 0.92 with the float constant.
    EXPECT_NEAR(CxImage::KernelHamming(-1.0f), 0.08f, 1e-6);
    EXPECT_EQ(CxImage::KernelHamming(-1.0001f), 0.0f);
}

TEST(Kernels, BSplineMatchesClosedFormAndKnots) {
    EXPECT_FLOAT_EQ(CxImage::KernelBSpline(0.0f), 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(CxImage::KernelBSpline(1.0f), 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(CxImage::KernelBSpline(-1.0f), 1.0f / 6.0f);
    EXPECT_EQ(CxImage::KernelBSpline(2.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelBSpline(-2.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelBSpline(2.5f), 0.0f);
    EXPECT_EQ(CxImage::KernelBSpline(-3.0f), 0.0f);
    for (float x = -2.5f; x <= 2.5f; x += 0.125f)
        EXPECT_NEAR(CxImage::KernelBSpline(x), BSplineRef(x), 2e-6) << x;
}

TEST(Kernels, CubicFamily) {
    EXPECT_EQ(CxImage::KernelCubic(0.0f), 1.0f);
    EXPECT_EQ(CxImage::KernelCubic(1.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelCubic(-1.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelCubic(1.5f), -0.125f);
    EXPECT_EQ(CxImage::KernelCubic(-1.5f), -0.125f);
    EXPECT_EQ(CxImage::KernelCubic(2.0f), 0.0f);

    EXPECT_EQ(CxImage::KernelGeneralizedCubic(0.5f, -0.5f), 0.5625f);
    EXPECT_EQ(CxImage::KernelGeneralizedCubic(1.5f, -0.5f), -0.0625f);
    EXPECT_EQ(CxImage::KernelGeneralizedCubic(-1.5f, -0.5f), -0.0625f);
    EXPECT_EQ(CxImage::KernelGeneralizedCubic(2.0f, -0.5f), 0.0f);
    // a = -0.5 is the Catmull-Rom spline.
    for (float x = -2.0f; x <= 2.0f; x += 0.125f)
        EXPECT_NEAR(CxImage::KernelGeneralizedCubic(x, -0.5f), CatromRef(x), 1e-6) << x;
}

TEST(Kernels, MitchellAndCatromAtKnots) {
    EXPECT_FLOAT_EQ(CxImage::KernelMitchell(0.0f), 0.8888889f);
    // The float constants leave about 1e-7 on the exact 1/18.
    EXPECT_NEAR(CxImage::KernelMitchell(1.0f), 1.0 / 18.0, 3e-7);
    EXPECT_NEAR(CxImage::KernelMitchell(-1.0f), 1.0 / 18.0, 3e-7);
    EXPECT_NEAR(CxImage::KernelMitchell(-2.0f), 0.0, 1e-6);
    EXPECT_EQ(CxImage::KernelMitchell(2.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelMitchell(-2.001f), 0.0f);
    for (float x = -2.0f; x < 2.0f; x += 0.125f)
        EXPECT_NEAR(CxImage::KernelMitchell(x), MitchellRef(x), 2e-6) << x;

    EXPECT_EQ(CxImage::KernelCatrom(0.0f), 1.0f);
    EXPECT_EQ(CxImage::KernelCatrom(1.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelCatrom(-1.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelCatrom(0.5f), 0.5625f);
    EXPECT_EQ(CxImage::KernelCatrom(-2.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelCatrom(2.0f), 0.0f);
    for (float x = -2.0f; x < 2.0f; x += 0.125f)
        EXPECT_NEAR(CxImage::KernelCatrom(x), CatromRef(x), 1e-6) << x;
}

TEST(Kernels, SincLanczosBlackman) {
    EXPECT_EQ(CxImage::KernelSinc(0.0f), 1.0f);
    EXPECT_EQ(CxImage::KernelSinc(-0.0f), 1.0f);
    EXPECT_NEAR(CxImage::KernelSinc(1.0f), 0.0, 1e-7);
    EXPECT_NEAR(CxImage::KernelSinc(0.5f), 2.0 / M_PI, 1e-7);

    EXPECT_EQ(CxImage::KernelLanczosSinc(0.0f, 6.0f), 1.0f);
    EXPECT_EQ(CxImage::KernelLanczosSinc(-0.0f, 6.0f), 1.0f);
    EXPECT_EQ(CxImage::KernelLanczosSinc(6.5f, 6.0f), 0.0f);
    EXPECT_EQ(CxImage::KernelLanczosSinc(-6.5f, 6.0f), 0.0f);
    // The radius itself is inside: computed, not cut, and close to 0.
    const float atRadius = CxImage::KernelLanczosSinc(6.0f, 6.0f);
    EXPECT_NEAR(atRadius, 0.0, 1e-7);
    EXPECT_NE(atRadius, 0.0f);
    // sinc(x) * sinc(x / r) against double-precision math.
    const double x = 1.25, r = 6.0;
    const double ref = std::sin(M_PI * x) / (M_PI * x) * std::sin(M_PI * x / r) / (M_PI * x / r);
    EXPECT_NEAR(CxImage::KernelLanczosSinc(1.25f, 6.0f), ref, 1e-6);
    // An unbounded radius leaves the plain sinc instead of 0/0.
    EXPECT_NEAR(CxImage::KernelLanczosSinc(0.5f, INFINITY), 2.0 / M_PI, 1e-6);

    EXPECT_NEAR(CxImage::KernelBlackman(0.0f), 1.0, 1e-7);
    EXPECT_NEAR(CxImage::KernelBlackman(1.0f), 0.0, 1e-7);
    EXPECT_NEAR(CxImage::KernelBlackman(0.5f), 0.34, 1e-7);
    // No range test: the window is periodic.
    EXPECT_NEAR(CxImage::KernelBlackman(2.0f), 1.0, 1e-6);
}

TEST(Kernels, BesselJ1OnBothSidesOfEight) {
    EXPECT_EQ(CxImage::KernelBessel_J1(0.0f), 0.5f);
    EXPECT_EQ(CxImage::KernelBessel_Order1(0.0f), 0.0f);
    // Tabulated J1 values.
    const struct {
        float x;
        double j1;
    } table[] = {{0.5f, 0.242268457674874},  {1.0f, 0.440050585744934},
                 {2.5f, 0.497094102464274},  {5.0f, -0.327579137591465},
                 {7.9f, 0.219179399921751},  {8.0f, 0.234636346853915},
                 {8.5f, 0.273121963674054},  {10.0f, 0.0434727461688614},
                 {15.0f, 0.205104038613523}, {30.0f, -0.118751062616623}};
    for (const auto& row : table) {
        EXPECT_NEAR(CxImage::KernelBessel_Order1(row.x), row.j1, 2e-6) << row.x;
        EXPECT_EQ(CxImage::KernelBessel_Order1(-row.x), -CxImage::KernelBessel_Order1(row.x))
            << row.x;
    }
    // Below 8 the rational form is J1(x)/x.
    EXPECT_NEAR(CxImage::KernelBessel_J1(5.0f), -0.327579137591465 / 5.0, 1e-7);
    // For large x the amplitudes tend to 1 and to 3/64 (3/8 once scaled by 8/x).
    EXPECT_NEAR(CxImage::KernelBessel_P1(1e6f), 1.0, 1e-6);
    EXPECT_NEAR(CxImage::KernelBessel_Q1(1e6f), 0.046875, 1e-6);
}

TEST(Kernels, BesselAndGaussian) {
    EXPECT_EQ(CxImage::KernelBessel(0.0f), 0.7853982f);
    EXPECT_NEAR(CxImage::KernelBessel(0.5f), 0.56682408890587388, 2e-6);
    EXPECT_NEAR(CxImage::KernelBessel(1.0f), 0.14230767158987639, 2e-6);
    EXPECT_NEAR(CxImage::KernelBessel(3.2f), 0.004713182414737031, 2e-6);
    EXPECT_EQ(CxImage::KernelBessel(-1.0f), CxImage::KernelBessel(1.0f));

    EXPECT_EQ(CxImage::KernelGaussian(0.0f), 0.7978846f);
    EXPECT_NEAR(CxImage::KernelGaussian(1.0f), std::exp(-2.0) * std::sqrt(2.0 / M_PI), 1e-7);
    EXPECT_GT(CxImage::KernelGaussian(4.0f), 0.0f); // no cut-off
}

TEST(Kernels, NaNArgumentsDoNotTrap) {
    const float nan = std::nanf("");
    EXPECT_EQ(CxImage::KernelBox(nan), 0.0f);
    EXPECT_EQ(CxImage::KernelLinear(nan), 0.0f);
    EXPECT_EQ(CxImage::KernelMitchell(nan), 0.0f);
    EXPECT_EQ(CxImage::KernelCatrom(nan), 0.0f);
    EXPECT_EQ(CxImage::KernelBSpline(nan), 0.0f);
    EXPECT_TRUE(std::isnan(CxImage::KernelBessel_Order1(nan)));
}

// Arguments where the arithmetic would make a NaN of its own (inf / inf,
// inf - inf, sin of infinity), whose sign bit differs between processors:
// each kernel gives its limit there, or where it has none the one NaN with
// a clear sign, bit for bit.
TEST(Kernels, NoNaNOfTheirOwnAtTheEdges) {
    const float inf = INFINITY, nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        float result, expected;
    } table[] = {
        {"J1(1e20)", CxImage::KernelBessel_J1(1e20f), 2701.1227108923235f},
        {"J1(-1.7e19)", CxImage::KernelBessel_J1(-1.7e19f), 2701.1227108923235f},
        {"J1(inf)", CxImage::KernelBessel_J1(inf), 2701.1227108923235f},
        {"P1(0)", CxImage::KernelBessel_P1(0.0f), 1.2571716929145342f},
        {"P1(-0)", CxImage::KernelBessel_P1(-0.0f), 1.2571716929145342f},
        {"P1(1e-30)", CxImage::KernelBessel_P1(1e-30f), 1.2571716929145342f},
        {"Q1(0)", CxImage::KernelBessel_Q1(0.0f), 0.03532840052740124f},
        {"Sinc(inf)", CxImage::KernelSinc(inf), 0.0f},
        {"Sinc(-inf)", CxImage::KernelSinc(-inf), 0.0f},
        {"Lanczos(inf, inf)", CxImage::KernelLanczosSinc(inf, inf), 0.0f},
        {"Order1(inf)", CxImage::KernelBessel_Order1(inf), 0.0f},
        {"Order1(-inf)", CxImage::KernelBessel_Order1(-inf), -0.0f},
        {"Bessel(-inf)", CxImage::KernelBessel(-inf), 0.0f},
        {"Bessel(3e38)", CxImage::KernelBessel(3e38f), 0.0f},
        {"Blackman(inf)", CxImage::KernelBlackman(inf), nan},
        {"GeneralizedCubic(0, inf)", CxImage::KernelGeneralizedCubic(0.0f, inf), nan},
        {"GeneralizedCubic(1.5, -inf)", CxImage::KernelGeneralizedCubic(1.5f, -inf), nan},
    };
    for (const auto& row : table) {
        uint32_t got = 0, want = 0;
        std::memcpy(&got, &row.result, sizeof got);
        std::memcpy(&want, &row.expected, sizeof want);
        EXPECT_EQ(got, want) << row.name;
    }
}
