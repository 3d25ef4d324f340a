// The instruction-set levels: their names, the cap, and every kernel entry at
// every level the machine has against the portable copy, byte for byte, on
// random inputs of every length around the vector steps.

#include "image/BandThread.h"
#include "image/CxImage.h"
#include "interpolation/AreaKernels.h"
#include "interpolation/ColourBilinearKernels.h"
#include "interpolation/CubicWeightKernels.h"
#include "interpolation/GreyBilinearKernels.h"
#include "interpolation/RotatedRowKernels.h"
#include "interpolation/SampleWindow.h"
#include "interpolation/WalkKernels.h"
#include "tests/SimdLevels.h"
#include "transform/ResizeKernels.h"
#include "transform/ToneKernels.h"
#include "transform/TurnKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(SimdLevel, NamesAndTheCap) {
    for (SimdLevel level : kEverySimdLevel) {
        SimdLevel parsed = SimdLevel::None;
        ASSERT_TRUE(ParseSimdLevel(SimdLevelName(level), parsed));
        EXPECT_EQ(parsed, level);
    }
    SimdLevel untouched = SimdLevel::Avx2;
    for (const char* bad : {"", "AVX2", "avx", "sse4", "avx2 ", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(ParseSimdLevel(bad, untouched)) << (bad ? bad : "null");
    EXPECT_EQ(untouched, SimdLevel::Avx2);

    const SimdLevel initial = ActiveSimdLevel();
    // A level above what the machine has gives what it has.
    EXPECT_EQ(SetSimdLevel(SimdLevel::Avx512), SupportedSimdLevel());
    EXPECT_EQ(SetSimdLevel(SimdLevel::None), SimdLevel::None);
    EXPECT_STREQ(CxImage::GetSimdLevel(), "none");
    SetSimdLevel(initial);
}

// A cap written for another machine: on AArch64 the x86 names parse and
// give the best level there, neon; elsewhere "neon" is unknown, and an
// unknown cap is ignored.
TEST(SimdLevel, CapsOfOtherMachines) {
    const SimdLevel initial = ActiveSimdLevel();
#if defined(__aarch64__)
    EXPECT_EQ(SupportedSimdLevel(), SimdLevel::Neon);
    EXPECT_STREQ(SimdLevelName(SimdLevel::Neon), "neon");
    for (const char* x86 : {"sse2", "avx2", "avx512"}) {
        SimdLevel parsed = SimdLevel::None;
        ASSERT_TRUE(ParseSimdLevel(x86, parsed)) << x86;
        EXPECT_EQ(SetSimdLevel(parsed), SimdLevel::Neon) << x86;
    }
#else
    SimdLevel untouched = SimdLevel::Sse2;
    EXPECT_FALSE(ParseSimdLevel("neon", untouched));
    EXPECT_EQ(untouched, SimdLevel::Sse2);
#endif
    SetSimdLevel(initial);
}

// Two threads making the first call at once agree (ThreadSanitizer watches
// this one: each test runs in a process of its own).
TEST(SimdLevel, FirstCallsFromTwoThreadsAgree) {
    SimdLevel seen[2];
    BandThread first([&] { seen[0] = ActiveSimdLevel(); });
    BandThread second([&] { seen[1] = ActiveSimdLevel(); });
    first.join();
    second.join();
    EXPECT_EQ(seen[0], seen[1]);
}

// Byte for byte, an empty range (whose data may be null) included.
bool SameBytes(const void* a, const void* b, size_t size) {
    return size == 0 || std::memcmp(a, b, size) == 0;
}

class KernelLevels : public testing::TestWithParam<SimdLevel> {
protected:
    std::mt19937 random{12345};
    std::vector<uint8_t> Bytes(size_t n) {
        std::vector<uint8_t> v(n);
        for (uint8_t& b : v) b = static_cast<uint8_t>(random());
        return v;
    }
    float Unit() { return std::uniform_real_distribution<float>(0.0f, 1.0f)(random); }
};

template <typename Table>
const Table& At(const Table* const (&tables)[kSimdLevelCount], SimdLevel level) {
    return *tables[static_cast<int>(level)];
}

TEST_P(KernelLevels, ResizeBlends) {
    SKIP_UNLESS_SIMD_LEVEL(scope, GetParam());
    const ResizeKernels& plain = kResizeKernels_none;
    const ResizeKernels& wide = ResizeKernelsInUse();
    // Picked groups are prepared only for the level whose walks read them.
    EXPECT_EQ(wide.pickGroups != nullptr, ActiveSimdLevel() == SimdLevel::Avx512);
    EXPECT_EQ(wide.pickGroups != nullptr, GreyBilinearKernelsInUse().pickGroups != nullptr);
    for (long width = 1; width <= 70; ++width) {
        const std::vector<uint8_t> p0 = Bytes(static_cast<size_t>(width)),
                                   p1 = Bytes(static_cast<size_t>(width));
        const double dy = Unit();
        std::vector<double> a(size_t(width) + 1), b(size_t(width) + 1);
        plain.verticalGreyBlend(p0.data(), p1.data(), width, dy, a.data());
        wide.verticalGreyBlend(p0.data(), p1.data(), width, dy, b.data());
        ASSERT_TRUE(SameBytes(a.data(), b.data(), static_cast<size_t>(width) * sizeof(double)))
            << width;
        // Rows of one or three channels; source columns in order (a
        // widening, which takes the in-register path) or scattered.
        for (long step : {1L, 3L})
            for (bool ordered : {true, false}) {
                std::vector<double> blended(a.begin(), a.begin() + width);
                for (long c = 0; c < step; ++c) blended.push_back(blended[size_t(width - 1)]);
                // Whole pixels, each channel's column and fraction its pixel's.
                const long count = width / step * step;
                std::vector<int32_t> ix;
                std::vector<float> dx;
                for (long x = 0; x < count; x += step) {
                    const long cell = ordered ? x / step * 2 / 3 : random() % (width / step);
                    const float fraction = Unit();
                    for (long c = 0; c < step; ++c) {
                        ix.push_back(static_cast<int32_t>(step * cell + c));
                        dx.push_back(fraction);
                    }
                }
                std::vector<uint8_t> outA(static_cast<size_t>(count)), outB(outA.size());
                std::vector<uint8_t> picks(ix.size());
                std::vector<int32_t> runs(ix.size());
                PickGroups(ix.data(), nullptr, nullptr, ix.size(), step, blended.size(),
                           picks.data(), runs.data());
                const PickedGroups groups{picks.data(), runs.data()};
                plain.horizontalGreyBlend(blended.data(), step, ix.data(), dx.data(), groups, count,
                                          outA.data());
                wide.horizontalGreyBlend(blended.data(), step, ix.data(), dx.data(), groups, count,
                                         outB.data());
                ASSERT_EQ(outA, outB) << width << ", step " << step;
            }
    }
}

TEST_P(KernelLevels, TurnsRotationSourcesAndGrey) {
    SKIP_UNLESS_SIMD_LEVEL(scope, GetParam());
    for (long width : {1L, 15L, 16L, 17L, 33L, 70L})
        for (long height : {1L, 16L, 31L, 40L})
            for (bool left : {false, true})
                for (size_t bytes : {1, 3}) {
                    // Bytes or 24-bit pixels, the target rows padded.
                    const size_t stride = bytes * size_t(width) + 3;
                    const size_t targetStride = bytes * size_t(height) + 1;
                    const std::vector<uint8_t> source = Bytes(stride * size_t(height));
                    std::vector<uint8_t> a(targetStride * size_t(width)), b(a.size());
                    const TurnKernels& plain = kTurnKernels_none;
                    const TurnKernels& wide = TurnKernelsInUse();
                    (bytes == 1 ? plain.turnBytePlane : plain.turnPixelPlane)(
                        left, source.data(), stride, width, height, a.data(), targetStride);
                    (bytes == 1 ? wide.turnBytePlane : wide.turnPixelPlane)(
                        left, source.data(), stride, width, height, b.data(), targetStride);
                    ASSERT_EQ(a, b) << width << " x " << height << ", " << bytes << " bytes";
                }
    // Positions beyond 32 bits and NaN included.
    const double cases[][4] = {{0.866, 0.5, 12.25, -3.5},
                               {1e-300, 1.0, 3e9, -3e9},
                               {NAN, 0.25, 1.0, 2.0},
                               {-0.7071, 0.7071, 1e10, 5.5}};
    for (const auto& c : cases)
        for (long count = 0; count <= 40; ++count) {
            std::vector<int32_t> ax(size_t(count) + 1), ay(ax.size()), bx(ax.size()), by(ax.size());
            kRotatedRowKernels_none.rotationSources(c[0], c[1], c[2], c[3], -7, count, ax.data(),
                                                    ay.data());
            RotatedRowKernelsInUse().rotationSources(c[0], c[1], c[2], c[3], -7, count, bx.data(),
                                                     by.data());
            ASSERT_EQ(ax, bx) << count;
            ASSERT_EQ(ay, by) << count;
        }
    for (long width = 1; width <= 70; ++width) {
        const std::vector<uint8_t> row = Bytes(3 * size_t(width));
        std::vector<uint8_t> a(static_cast<size_t>(width)), b(a.size());
        kToneKernels_none.greyRow(row.data(), a.data(), width);
        ToneKernelsInUse().greyRow(row.data(), b.data(), width);
        ASSERT_EQ(a, b) << width;
    }
}

TEST_P(KernelLevels, Samples) {
    SKIP_UNLESS_SIMD_LEVEL(scope, GetParam());
    // Each family's portable table and the one of the level in use.
    const GreyBilinearKernels& plainGrey = kGreyBilinearKernels_none;
    const GreyBilinearKernels& wideGrey = GreyBilinearKernelsInUse();
    const RotatedRowKernels& plainRotated = kRotatedRowKernels_none;
    const RotatedRowKernels& wideRotated = RotatedRowKernelsInUse();
    const ColourBilinearKernels& plainColourBilinear = kColourBilinearKernels_none;
    const ColourBilinearKernels& wideColourBilinear = ColourBilinearKernelsInUse();
    const WalkKernels& plainWalks = kWalkKernels_none;
    const WalkKernels& wideWalks = WalkKernelsInUse();
    const long side = 40;
    const std::vector<uint8_t> image = Bytes(size_t(side) * side * 3);
    const std::vector<uint8_t> alpha = Bytes(size_t(side) * side);
    const std::vector<uint8_t> flat(3 * size_t(side), 255);
    for (long count = 0; count <= 70; ++count) {
        std::vector<int32_t> xi, yi, fx, fy;
        std::vector<float> t;
        for (long k = 0; k < count; ++k) {
            xi.push_back(static_cast<int32_t>(random() % (side - 1)));
            yi.push_back(static_cast<int32_t>(random() % (side - 1)));
            fx.push_back(static_cast<int32_t>(random() % 256));
            fy.push_back(static_cast<int32_t>(random() % 256));
            // Fractions of coordinates far from 0 have few bits; near 0, many.
            t.push_back(k % 7 == 0   ? 0.0f
                        : k % 3 == 0 ? Unit()
                                     : std::floor(Unit() * 4096.0f) / 4096.0f);
        }
        std::vector<uint8_t> a(static_cast<size_t>(count)), b(a.size());
        // Along one row, columns in order (as a widening reads them) or not.
        for (bool ordered : {true, false}) {
            std::vector<int32_t> columns(xi);
            if (ordered)
                for (long k = 0; k < count; ++k)
                    columns[size_t(k)] = static_cast<int32_t>(k * 4 / 7);
            // Flat rows: whether the weights sum to 1 decides each result.
            const uint8_t* row = count % 2 == 1
                                     ? flat.data()
                                     : image.data() + size_t(count % (side - 1)) * size_t(side);
            const float rowU = count % 3 == 0 ? 0.99999994f : Unit();
            plainGrey.greyBilinearRow(row, size_t(side), columns.data(), t.data(), nullptr, rowU,
                                      count, a.data());
            wideGrey.greyBilinearRow(row, size_t(side), columns.data(), t.data(), nullptr, rowU,
                                     count, b.data());
            ASSERT_EQ(a, b) << count << (ordered ? " in order" : " scattered");
            // The same over the two rows widened, from column 1 on.
            std::vector<double> widened(3 * size_t(side)), complement; // a column past the row too
            wideGrey.widenBytes(row, widened.size(), widened.data());
            for (size_t i = 0; i < widened.size(); ++i) ASSERT_EQ(widened[i], row[i]);
            std::vector<char> pickable; // 1 − t a float
            for (float f : t) {
                complement.push_back(1.0 - f);
                pickable.push_back(static_cast<float>(complement.back()) == complement.back());
            }
            std::vector<uint8_t> picks(columns.size());
            std::vector<int32_t> runs(columns.size());
            // The samples from column 1 on are the run taken below.
            std::vector<char> inside(columns.size(), 1);
            if (!inside.empty()) inside[0] = 0;
            PickGroups(columns.data(), inside.data(), pickable.data(), picks.size(), 1,
                       size_t(side), picks.data(), runs.data());
            const GreyColumns greyColumns{columns.data(), t.data(), complement.data(),
                                          PickedGroups{picks.data(), runs.data()}, pickable.data()};
            const long from = std::min(count, 1L);
            std::vector<uint8_t> c(a.size() - size_t(from));
            wideGrey.greyBilinearWidened(widened.data(), widened.data() + side, size_t(side),
                                         greyColumns, from, count - from, rowU, c.data());
            ASSERT_TRUE(std::equal(c.begin(), c.end(), a.begin() + from)) << count;
            // The same over the two rows spread into their corners.
            if (wideGrey.spreadCorners == nullptr) continue;
            const size_t planeStride = columns.size() + 3;
            std::vector<double> upper(2 * planeStride), lower(upper.size());
            wideGrey.spreadCorners(row, size_t(side), columns.data(), count, planeStride,
                                   upper.data());
            wideGrey.spreadCorners(row + side, size_t(side), columns.data(), count, planeStride,
                                   lower.data());
            const double* const spread[2] = {upper.data(), lower.data()};
            wideGrey.greyBilinearSpread(spread, planeStride, greyColumns, from, count - from, rowU,
                                        c.data());
            ASSERT_TRUE(std::equal(c.begin(), c.end(), a.begin() + from)) << count;
        }
        // Rotated rows that run into the image and out of it again.
        std::vector<double> columnCos, columnSin;
        const double co = std::cos(0.3 + count), si = std::sin(0.3 + count);
        for (long x = 0; x < count; ++x) {
            const float position = -20.5f + static_cast<float>(x);
            columnCos.push_back(static_cast<double>(position) * co);
            columnSin.push_back(static_cast<double>(position) * si);
        }
        for (bool shift : {false, true}) {
            const RotatedRow rotated{
                image.data(),     size_t(side), nullptr,    side,  side, columnCos.data(),
                columnSin.data(), 17.25 * si,   17.25 * co, shift, 19.5, 20.0};
            // The same points over a 24-bit image, with and without alpha.
            RotatedRow colour = rotated;
            colour.stride = 3 * size_t(side);
            for (const uint8_t* plane : {static_cast<const uint8_t*>(nullptr), alpha.data()}) {
                colour.alpha = plane;
                std::vector<uint8_t> pixelsA(3 * size_t(count)), pixelsB(pixelsA.size());
                std::vector<uint8_t> alphaA(static_cast<size_t>(count)), alphaB(alphaA.size());
                for (long x = 0; x < count; x += 5) {
                    const long doneA = plainRotated.colourRotatedRow(colour, x, count - x,
                                                                     pixelsA.data(), alphaA.data());
                    const long doneB = wideRotated.colourRotatedRow(colour, x, count - x,
                                                                    pixelsB.data(), alphaB.data());
                    ASSERT_EQ(doneA, doneB) << count << ", from " << x;
                    ASSERT_EQ(pixelsA, pixelsB) << count << ", from " << x;
                    ASSERT_EQ(alphaA, alphaB) << count << ", from " << x;
                }
            }
            for (long x = 0; x < count; ++x) {
                const long doneA = plainRotated.greyRotatedRow(rotated, x, count - x, a.data());
                const long doneB = wideRotated.greyRotatedRow(rotated, x, count - x, b.data());
                ASSERT_EQ(doneA, doneB) << count << ", from " << x;
                ASSERT_TRUE(SameBytes(a.data(), b.data(), size_t(doneA))) << count;
                EXPECT_EQ(plainRotated.rotatedOutside(rotated, x, count - x),
                          wideRotated.rotatedOutside(rotated, x, count - x))
                    << count << ", from " << x;
            }
        }

        CxImage colour;
        ASSERT_NE(colour.Create(side, side, 24), nullptr);
        std::memcpy(colour.GetBits(), image.data(), size_t(colour.GetEffWidth()) * side);
        for (bool withAlpha : {false, true}) {
            if (withAlpha) {
                colour.AlphaCreate();
                ASSERT_TRUE(colour.AlphaIsValid());
                std::memcpy(colour.AlphaGetPointer(), alpha.data(), alpha.size());
            }
            const BilinearSource source(colour);
            // Resample2's rows: columns in order (a widening, a narrowing) or
            // scattered, into rows with and without alpha.
            for (int spacing : {4, 10, 0}) {
                const bool ordered = spacing != 0;
                std::vector<int32_t> cells(xi), byteIndex, byteFraction;
                for (long k = 0; k < count; ++k) {
                    if (ordered)
                        cells[size_t(k)] = static_cast<int32_t>(k * spacing / 7 % (side - 1));
                    for (int32_t c = 0; c < 3; ++c) {
                        byteIndex.push_back(3 * cells[size_t(k)] + c);
                        byteFraction.push_back(fx[size_t(k)]);
                    }
                }
                const ColourColumns columns{cells.data(), fx.data(), byteIndex.data(),
                                            byteFraction.data()};
                std::vector<uint8_t> pixelsA(3 * size_t(count)), pixelsB(pixelsA.size());
                std::vector<uint8_t> alphaA(static_cast<size_t>(count) + 1, 7), alphaB(alphaA);
                const int32_t row = static_cast<int32_t>(count % (side - 1));
                for (bool withAlphaOut : {false, true}) {
                    plainColourBilinear.colourBilinearRow(source, row, fx.empty() ? 9 : fy[0],
                                                          columns, 0, count, pixelsA.data(),
                                                          withAlphaOut ? alphaA.data() : nullptr);
                    wideColourBilinear.colourBilinearRow(source, row, fx.empty() ? 9 : fy[0],
                                                         columns, 0, count, pixelsB.data(),
                                                         withAlphaOut ? alphaB.data() : nullptr);
                    ASSERT_EQ(pixelsA, pixelsB) << count << (ordered ? " in order" : " scattered");
                    ASSERT_EQ(alphaA, alphaB) << count;
                }
            }
            std::vector<RGBQUAD> ca(static_cast<size_t>(count)), cb(ca.size());
            plainColourBilinear.colourBilinearSamples(source, xi.data(), yi.data(), fx.data(),
                                                      fy.data(), count, ca.data());
            wideColourBilinear.colourBilinearSamples(source, xi.data(), yi.data(), fx.data(),
                                                     fy.data(), count, cb.data());
            ASSERT_TRUE(SameBytes(ca.data(), cb.data(), ca.size() * sizeof(RGBQUAD))) << count;
        }
    }
    // Kernel walks of every method, windows inside a grey image and a colour
    // one 120 wide:
    // columns scattered, or in order at several spacings (a widening reads
    // them so, and they take the in-register path).
    const long wideSide = 120;
    const std::vector<uint8_t> wideImage = Bytes(size_t(wideSide) * size_t(side));
    const std::vector<uint8_t> wideColour = Bytes(3 * wideImage.size());
    const std::vector<uint8_t> wideAlpha = Bytes(wideImage.size());
    for (int m = CxImage::IM_BSPLINE; m <= CxImage::IM_CATROM; ++m) {
        const SampleWindow window(static_cast<CxImage::InterpolationMethod>(m));
        for (float spacing : {0.0f, 0.4f, 0.8f, 1.3f}) {
            std::vector<SampleAxis> columns;
            for (int k = 0; k < 70; ++k)
                columns.emplace_back(window, spacing == 0.0f ? 6.0f + 100.0f * Unit()
                                                             : 6.0f + spacing * k + Unit() * 0.3f);
            const SampleAxis row(window, 6.0f + 27.0f * Unit());
            // And rows of their own, as rotations read them.
            std::vector<SampleAxis> rows;
            for (int k = 0; k < 70; ++k) rows.emplace_back(window, 6.0f + 27.0f * Unit());
            std::vector<int32_t> starts[2];
            std::vector<float> weights[2];
            auto taps = [&](const std::vector<SampleAxis>& axes, int t) {
                weights[t].resize(size_t(window.size) * axes.size());
                for (size_t k = 0; k < axes.size(); ++k) {
                    starts[t].push_back(static_cast<int32_t>(axes[k].cell - window.before));
                    for (int i = 0; i < window.size; ++i)
                        weights[t][size_t(i) * axes.size() + k] = axes[k].weights[i];
                }
                return KernelTaps{starts[t].data(), weights[t].data(), axes.size()};
            };
            const KernelTaps run = taps(columns, 0), ownRows = taps(rows, 1);
            for (int count = 0; count <= 70; count += 1) {
                std::vector<uint8_t> a(static_cast<size_t>(count)), b(a.size());
                // The window's rows in an order of their own, as folds
                // give them, as bytes and widened (the image is 120 values
                // wide: its rows end where the walks' loads would).
                std::vector<const uint8_t*> byteRows;
                std::vector<double> widened(window.size * size_t(wideSide));
                std::vector<const double*> widenedRows;
                for (int j = 0; j < window.size; ++j) {
                    const size_t at =
                        size_t(row.cell - window.before + (j * 7) % window.size) * size_t(wideSide);
                    byteRows.push_back(wideImage.data() + at);
                    widenedRows.push_back(widened.data() + size_t(j) * size_t(wideSide));
                    wideGrey.widenBytes(byteRows.back(), size_t(wideSide),
                                        widened.data() + size_t(j) * size_t(wideSide));
                }
                plainWalks.greyWindowsInside(byteRows.data(), size_t(wideSide), window, run, count,
                                             row, a.data());
                wideWalks.greyWindowsInside(byteRows.data(), size_t(wideSide), window, run, count,
                                            row, b.data());
                ASSERT_EQ(a, b) << "method " << m << ", spacing " << spacing << ", " << count
                                << " samples";
                wideWalks.greyWindowsWidened(widenedRows.data(), size_t(wideSide), window, run,
                                             count, row, b.data());
                ASSERT_EQ(a, b) << "method " << m << ", " << count << " samples, widened";
                if (wideWalks.spreadTaps != nullptr) {
                    // The rows spread into their taps, zeros in the slack.
                    const size_t planeStride = size_t(count) + kTapSlack;
                    const size_t rowValues = size_t(window.size) * planeStride;
                    std::vector<int32_t> spread(size_t(window.size) * rowValues);
                    std::vector<const int32_t*> spreadRows;
                    for (int j = 0; j < window.size; ++j) {
                        int32_t* planes = spread.data() + size_t(j) * rowValues;
                        wideWalks.spreadTaps(byteRows[size_t(j)], window, run, count, planeStride,
                                             planes);
                        spreadRows.push_back(planes);
                    }
                    wideWalks.greyWindowsSpread(spreadRows.data(), planeStride, window, run, count,
                                                row, b.data());
                    ASSERT_EQ(a, b) << "method " << m << ", " << count << " samples, spread";
                }
                plainWalks.greyPointsInside(wideImage.data(), size_t(wideSide), window, run,
                                            ownRows, count, a.data());
                wideWalks.greyPointsInside(wideImage.data(), size_t(wideSide), window, run, ownRows,
                                           count, b.data());
                ASSERT_EQ(a, b) << "method " << m << ", " << count << " samples, own rows";
                for (const uint8_t* plane :
                     {static_cast<const uint8_t*>(nullptr), wideAlpha.data()}) {
                    const ColourPlanes planes{wideColour.data(), 3 * size_t(wideSide), plane,
                                              size_t(wideSide)};
                    std::vector<RGBQUAD> ca(static_cast<size_t>(count)), cb(ca.size());
                    plainWalks.colourWindowsInside(planes, window, run, count, row, ca.data());
                    wideWalks.colourWindowsInside(planes, window, run, count, row, cb.data());
                    ASSERT_TRUE(SameBytes(ca.data(), cb.data(), ca.size() * sizeof(RGBQUAD)))
                        << "method " << m << ", spacing " << spacing << ", " << count
                        << " colour samples" << (plane != nullptr ? " with alpha" : "");
                    plainWalks.colourPointsInside(planes, window, run, ownRows, count, ca.data());
                    wideWalks.colourPointsInside(planes, window, run, ownRows, count, cb.data());
                    ASSERT_TRUE(SameBytes(ca.data(), cb.data(), ca.size() * sizeof(RGBQUAD)))
                        << "method " << m << ", " << count << " colour samples, own rows";
                }
            }
        }
    }
}

// Cubic weights of samples at every distance from their first cell that the
// kernel's pieces meet (inside, the outer piece, beyond it), NaN included.
// Resample2's 24-bit rows whose last windows reach the row's end, on the
// image's first and last row pairs, rows padded by 0 to 3 bytes: a vector
// form that reads past a pixel pair must leave those pixels to the plain way
// (the sanitizer build sees a read past the block).
TEST_P(KernelLevels, ColourRowsAtTheRowsEnd) {
    SKIP_UNLESS_SIMD_LEVEL(scope, GetParam());
    const long height = 3;
    for (long width : {40L, 41L, 42L, 43L}) {
        CxImage colour;
        ASSERT_NE(colour.Create(width, height, 24), nullptr);
        const std::vector<uint8_t> image = Bytes(size_t(colour.GetEffWidth()) * height);
        std::memcpy(colour.GetBits(), image.data(), image.size());
        const BilinearSource source(colour);
        // Three columns skipped (first = 3), then 24 targets (three steps of
        // eight) ending on the last window, width − 2, two targets a cell.
        const long first = 3, count = 24;
        std::vector<int32_t> cells, fx, byteIndex, byteFraction;
        for (long k = 0; k < first + count; ++k) {
            cells.push_back(static_cast<int32_t>(width - 2 - (first + count - 1 - k) / 2));
            fx.push_back(static_cast<int32_t>(random() % 256));
            for (int32_t c = 0; c < 3; ++c) {
                byteIndex.push_back(3 * cells.back() + c);
                byteFraction.push_back(fx.back());
            }
        }
        const ColourColumns columns{cells.data(), fx.data(), byteIndex.data(), byteFraction.data()};
        for (int32_t row : {0, static_cast<int32_t>(height - 2)})
            for (int32_t fy : {0, 77, 255}) {
                std::vector<uint8_t> a(3 * size_t(count)), b(a.size());
                kColourBilinearKernels_none.colourBilinearRow(source, row, fy, columns, first,
                                                              count, a.data(), nullptr);
                ColourBilinearKernelsInUse().colourBilinearRow(source, row, fy, columns, first,
                                                               count, b.data(), nullptr);
                ASSERT_EQ(a, b) << width << " wide, row " << row << ", fy " << fy;
            }
    }
}

// Resample2's grey kernel samples whose windows leave the image, under each
// folding overflow, against the plain level: where spread rows hold the
// folded taps of every column and row, the bits stay the plain walk's. A
// wrapped window at the top reaches the bottom rows, whose slots in the
// spread rows' ring (row mod window size) meet those of the top rows at 30
// and 31 rows; those rows must take another way.
TEST_P(KernelLevels, FoldedKernelWindows) {
    SKIP_UNLESS_SIMD_LEVEL(scope, GetParam());
    for (CxImage::InterpolationMethod method : {CxImage::IM_BICUBIC2, CxImage::IM_LANCZOS})
        for (CxImage::OverflowMethod overflow :
             {CxImage::OM_WRAP, CxImage::OM_REPEAT, CxImage::OM_MIRROR})
            for (long height : {30L, 31L}) {
                CxImage grey, plain, wide;
                ASSERT_NE(grey.Create(37, height, 8), nullptr);
                grey.SetGrayPalette();
                const std::vector<uint8_t> bytes = Bytes(size_t(grey.GetEffWidth()) * height);
                std::memcpy(grey.GetBits(), bytes.data(), bytes.size());
                {
                    ScopedSimdLevel none(SimdLevel::None);
                    ASSERT_TRUE(grey.Resample2(46, height * 5 / 4, method, overflow, &plain));
                }
                ASSERT_TRUE(grey.Resample2(46, height * 5 / 4, method, overflow, &wide));
                ASSERT_TRUE(SameBytes(plain.GetBits(), wide.GetBits(),
                                      size_t(plain.GetEffWidth()) * plain.GetHeight()))
                    << method << ", overflow " << overflow << ", " << height << " rows";
            }
}

TEST_P(KernelLevels, CubicWeights) {
    SKIP_UNLESS_SIMD_LEVEL(scope, GetParam());
    const CubicWeightKernels& plain = kCubicWeightKernels_none;
    const CubicWeightKernels& wide = CubicWeightKernelsInUse();
    constexpr size_t kStride = 80;
    for (int count = 0; count <= 70; ++count) {
        std::vector<float> v;
        std::vector<int32_t> first;
        for (int k = 0; k < count; ++k) {
            const float at = std::uniform_real_distribution<float>(-3000.0f, 3000.0f)(random);
            v.push_back(k % 11 == 5 ? std::nanf("") : at);
            first.push_back(static_cast<int32_t>(std::floor(at)) - 3 + int32_t(random() % 5));
        }
        std::vector<float> a(4 * kStride), b(a.size());
        for (float parameter : {-0.5f, -1.0f}) {
            plain.cubicWeights(v.data(), first.data(), count, parameter, a.data(), kStride);
            wide.cubicWeights(v.data(), first.data(), count, parameter, b.data(), kStride);
            ASSERT_TRUE(SameBytes(a.data(), b.data(), a.size() * sizeof(float)))
                << count << " samples, a = " << parameter;
        }
    }
}

// Area grid walks of runs of target columns whose spans differ by a column
// or more, over grey and 24-bit rows with and without alpha.
TEST_P(KernelLevels, AreaGrids) {
    SKIP_UNLESS_SIMD_LEVEL(scope, GetParam());
    const AreaKernels& plain = kAreaKernels_none;
    const AreaKernels& wide = AreaKernelsInUse();
    const long side = 60, rows = 8;
    const std::vector<uint8_t> image = Bytes(size_t(side) * rows * 3),
                               alpha = Bytes(size_t(side) * rows);
    for (long count = 0; count <= 70; ++count)
        for (int span = 1; span <= 5; ++span) {
            std::vector<int32_t> first, last;
            std::vector<float> wFirst, wLast, width;
            // Columns scattered, or in order as a shrinking reads them.
            const bool ordered = span % 2 == 0;
            for (long k = 0; k < count; ++k) {
                first.push_back(static_cast<int32_t>(ordered ? k * 2 / 3 : random() % (side - 7)));
                last.push_back(first.back() + span - 1 + static_cast<int32_t>(random() % 3));
                wFirst.push_back(k % 5 == 0 ? 0.0f : Unit());
                wLast.push_back(Unit());
                width.push_back(1.0f + 5.0f * Unit());
            }
            const AreaGridColumns columns{first.data(), last.data(), wFirst.data(), wLast.data(),
                                          width.data()};
            AreaGridRow row{image.data(), size_t(side), nullptr, size_t(side),
                            span % 4,     Unit(),       Unit(),  1.0f + 4.0f * Unit()};
            std::vector<uint8_t> a(size_t(count) + 1, 7), b(a);
            plain.greyGridRow(row, columns, 0, count, a.data());
            wide.greyGridRow(row, columns, 0, count, b.data());
            ASSERT_EQ(a, b) << count << " columns, span " << span;
            row.stride = 3 * size_t(side);
            for (const uint8_t* plane : {static_cast<const uint8_t*>(nullptr), alpha.data()}) {
                row.alphaTop = plane;
                std::vector<RGBQUAD> ca(static_cast<size_t>(count)), cb(ca.size());
                plain.colourGridRow(row, columns, 0, count, ca.data());
                wide.colourGridRow(row, columns, 0, count, cb.data());
                ASSERT_TRUE(SameBytes(ca.data(), cb.data(), ca.size() * sizeof(RGBQUAD)))
                    << count << " columns, span " << span << (plane ? ", alpha" : "");
            }
        }
}

INSTANTIATE_TEST_SUITE_P(AtLevel, KernelLevels, testing::ValuesIn(kEverySimdLevel),
                         SimdLevelTestName);

} // namespace
