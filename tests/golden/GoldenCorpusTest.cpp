// The golden corpus: deterministic images run through a broad set of image
// operations and samplers, each result hashed and compared with a table kept
// in the repository. The same table holds for every compiler, optimisation
// level, word size and operating system the library is built for.
//
// GOLDEN_PRINT=1 prints the table as computed, in the form of the checked-in
// file, for a deliberate change of results.

#include "image/CxImage.h"
#include "image/RecordView.h"
#include "image/RowBands.h"
#include "interpolation/CxRect2.h"
#include "interpolation/Elementary.h"
#include "tests/SimdLevels.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

struct Expected {
    const char* name;
    uint64_t hash;
};

const Expected kExpected[] = {
#include "tests/golden/GoldenTable.inc"
};

// Set to hash, with every image, what a call leaves in its record besides the
// pixels: progress, last error text and the one-colour nearest-index memory.
bool gWholeRecord = false;

// FNV-1a over the bytes fed to it.
class Hasher {
public:
    void Bytes(const void* data, size_t size) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) value = (value ^ p[i]) * 1099511628211ull;
    }
    void Int(int64_t v) { Bytes(&v, sizeof v); }
    void Float(float f) {
        // Every NaN hashes alike: its payload is not a result.
        uint32_t bits = 0x7FC00000u;
        if (!std::isnan(f)) std::memcpy(&bits, &f, sizeof bits);
        Bytes(&bits, sizeof bits);
    }
    void Colour(const RGBQUAD& c) {
        const uint8_t b[4] = {c.rgbBlue, c.rgbGreen, c.rgbRed, c.rgbReserved};
        Bytes(b, 4);
    }
    void Image(CxImage& image) {
        const long w = static_cast<long>(image.GetWidth()),
                   h = static_cast<long>(image.GetHeight());
        Int(image.IsValid());
        Int(w), Int(h), Int(image.GetBpp()), Int(image.GetTransIndex());
        if (gWholeRecord) {
            const CxImage::Info& info = RecordView(image).Attributes();
            Int(info.progress), Int(info.nearestValid);
            if (info.nearestValid) Colour(info.nearestColor), Int(info.nearestIndex);
            Bytes(info.lastError, std::strlen(info.lastError));
        }
        for (unsigned i = 0; i < image.GetNumColors(); ++i)
            Colour(image.GetPaletteColor(static_cast<unsigned char>(i)));
        const bool indexed = image.IsIndexed(), alpha = image.AlphaIsValid();
        const bool selection = image.SelectionIsValid();
        Int(alpha), Int(selection);
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x) {
                if (indexed)
                    Int(image.GetPixelIndex(x, y));
                else
                    Colour(image.GetPixelColor(x, y, false));
                if (alpha) Int(image.AlphaGet(x, y));
                if (selection) Int(image.SelectionIsInside(x, y));
            }
    }

    uint64_t value = 14695981039346656037ull;
};

uint32_t NextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

struct BaseImage {
    const char* name;
    long width, height;
    unsigned bpp;
    bool alpha;
    int32_t transIndex;
    bool greyPalette;
};

// Every depth, palettes of both kinds, alpha planes, a transparent index, a
// larger picture and a thin one, and a camera frame (grey ramp, no alpha).
const BaseImage kBases[] = {
    {"rgb_alpha", 23, 17, 24, true, -1, false}, {"rgb_big", 64, 48, 24, false, -1, false},
    {"rgb_thin", 1, 9, 24, false, -1, false},   {"pal8_trans", 19, 13, 8, false, 5, false},
    {"grey8", 21, 15, 8, true, -1, true},       {"pal4", 13, 11, 4, false, 2, false},
    {"mono1", 17, 9, 1, false, -1, false},      {"frame8", 40, 30, 8, false, -1, true},
};

CxImage MakeBase(const BaseImage& base) {
    CxImage image(static_cast<unsigned long>(base.width), static_cast<unsigned long>(base.height),
                  base.bpp);
    uint32_t state = static_cast<uint32_t>(base.width * 131 + base.height * 7 + base.bpp);
    if (base.greyPalette) {
        image.SetGrayPalette();
    } else {
        for (unsigned i = 0; i < image.GetNumColors(); ++i) {
            const uint32_t r = NextRandom(state);
            image.SetPaletteColor(static_cast<unsigned char>(i), static_cast<uint8_t>(r),
                                  static_cast<uint8_t>(r >> 8), static_cast<uint8_t>(r >> 16));
        }
    }
    // Smooth gradients with noise, so that interpolation has something to mix.
    for (long y = 0; y < base.height; ++y)
        for (long x = 0; x < base.width; ++x) {
            const uint32_t r = NextRandom(state);
            if (base.bpp == 24) {
                image.SetPixelColor(x, y,
                                    RGBQUAD{static_cast<uint8_t>(x * 11 + (r & 15)),
                                            static_cast<uint8_t>(y * 13 + ((r >> 4) & 31)),
                                            static_cast<uint8_t>((x + y) * 5 + (r >> 16)), 0});
            } else {
                image.SetPixelIndex(x, y, static_cast<uint8_t>(x * 3 + y * 5 + (r & 7)));
            }
        }
    if (base.alpha) {
        image.AlphaCreate();
        for (long y = 0; y < base.height; ++y)
            for (long x = 0; x < base.width; ++x)
                image.AlphaSet(x, y, static_cast<uint8_t>(NextRandom(state)));
    }
    image.SetTransIndex(base.transIndex);
    return image;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

class Corpus {
public:
    std::map<std::string, uint64_t> results;

    void Add(const std::string& name, const Hasher& h) { results[name] = h.value; }

    // An operation run on a copy of the base image; its result and the image
    // it leaves (or its destination) are hashed.
    void Operation(const std::string& name, const CxImage& base,
                   const std::function<bool(CxImage&, CxImage&)>& op) {
        CxImage image(base), destination;
        Hasher h;
        h.Int(op(image, destination));
        h.Image(image);
        h.Image(destination);
        Add(name, h);
    }
};

const CxImage::OverflowMethod kAllOverflows[] = {static_cast<CxImage::OverflowMethod>(0),
                                                 CxImage::OM_COLOR,
                                                 CxImage::OM_BACKGROUND,
                                                 CxImage::OM_TRANSPARENT,
                                                 CxImage::OM_WRAP,
                                                 CxImage::OM_REPEAT,
                                                 CxImage::OM_MIRROR,
                                                 static_cast<CxImage::OverflowMethod>(7)};

CxImage::InterpolationMethod Method(int m) {
    return static_cast<CxImage::InterpolationMethod>(m);
}

void WholeImageOperations(Corpus& corpus, const BaseImage& base, const CxImage& image) {
    const std::string p = std::string(base.name) + "/";
    const long w = base.width, h = base.height;
    const RGBQUAD canvas{10, 200, 30, 77};
    using Op = std::function<bool(CxImage&, CxImage&)>;
    const std::pair<const char*, Op> simple[] = {
        {"Flip", [](CxImage& i, CxImage&) { return i.Flip(); }},
        {"Mirror", [](CxImage& i, CxImage&) { return i.Mirror(); }},
        {"RotateLeft", [](CxImage& i, CxImage& d) { return i.RotateLeft(&d); }},
        {"RotateRight", [](CxImage& i, CxImage&) { return i.RotateRight(); }},
        {"Rotate180", [](CxImage& i, CxImage& d) { return i.Rotate180(&d); }},
        {"Negative", [](CxImage& i, CxImage&) { return i.Negative(); }},
        {"GrayScale", [](CxImage& i, CxImage&) { return i.GrayScale(); }},
        {"Crop", [](CxImage& i, CxImage& d) { return i.Crop(2, 7, 11, 1, &d); }},
        {"CropHostile",
         [](CxImage& i, CxImage&) { return i.Crop(INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN); }},
        {"Expand", [&](CxImage& i, CxImage& d) { return i.Expand(1, 2, 3, 4, canvas, &d); }},
        {"ExpandTo", [&](CxImage& i, CxImage&) { return i.Expand(w + 5, h + 2, canvas); }},
        {"Thumbnail", [&](CxImage& i, CxImage& d) { return i.Thumbnail(10, 7, canvas, &d); }},
        {"QIShrink", [&](CxImage& i, CxImage& d) { return i.QIShrink(w / 2 + 1, h / 3 + 1, &d); }},
        {"CropRotated",
         [](CxImage& i, CxImage& d) { return i.CropRotatedRectangle(2, 1, 8, 6, 0.3f, &d); }},
        {"CropRotatedHostile",
         [](CxImage& i, CxImage&) {
             return i.CropRotatedRectangle(INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, 1.0f);
         }},
        {"SkewNearest", [](CxImage& i, CxImage&) { return i.Skew(0.2f, -0.1f, 3, 4, false); }},
        {"SkewBilinear", [](CxImage& i, CxImage&) { return i.Skew(-0.3f, 0.15f, 5, 2, true); }},
        {"SkewHostilePivot",
         [](CxImage& i, CxImage&) { return i.Skew(1e-9f, -1e-9f, INT32_MIN, INT32_MAX, true); }},
        {"IncreaseBpp4", [](CxImage& i, CxImage&) { return i.IncreaseBpp(4); }},
        {"IncreaseBpp8", [](CxImage& i, CxImage&) { return i.IncreaseBpp(8); }},
        {"IncreaseBpp24", [](CxImage& i, CxImage&) { return i.IncreaseBpp(24); }},
    };
    for (const auto& op : simple) corpus.Operation(p + op.first, image, op.second);

    for (int mode = 0; mode <= 3; ++mode) {
        const long sizes[2][2] = {{w * 3 / 2 + 1, h + 3}, {w / 2 + 1, h / 3 + 1}};
        for (const auto& size : sizes)
            corpus.Operation(p + "Resample/" + std::to_string(mode) + "/" +
                                 std::to_string(size[0]) + "x" + std::to_string(size[1]),
                             image, [&](CxImage& i, CxImage& d) {
                                 return i.Resample(size[0], size[1], mode, &d);
                             });
    }

    const float angles[] = {0.0f, 12.5f, 90.0f, -135.0f, 400.25f};
    for (float angle : angles)
        corpus.Operation(p + "Rotate/" + std::to_string(angle), image,
                         [&](CxImage& i, CxImage& d) { return i.Rotate(angle, &d); });

    for (int type = 0; type <= 4; ++type)
        for (long radius : {0L, 5L})
            corpus.Operation(p + "Circle/" + std::to_string(type) + "/" + std::to_string(radius),
                             image, [&](CxImage& i, CxImage&) {
                                 return i.CircleTransform(type, radius, type == 2 ? 3.0f : 1.0f);
                             });

    for (unsigned long bpp : {1ul, 4ul, 8ul})
        for (bool diffusion : {false, true})
            corpus.Operation(
                p + "DecreaseBpp/" + std::to_string(bpp) + "/" + std::to_string(diffusion), image,
                [&](CxImage& i, CxImage&) { return i.DecreaseBpp(bpp, diffusion); });
    for (long method = 0; method <= 8; ++method)
        corpus.Operation(p + "Dither/" + std::to_string(method), image,
                         [&](CxImage& i, CxImage&) { return i.Dither(method); });
}

void InterpolatedTransforms(Corpus& corpus, const BaseImage& base, const CxImage& image,
                            bool allOverflows) {
    const std::string p = std::string(base.name) + "/";
    const long w = base.width, h = base.height;
    const CxImage::OverflowMethod someOverflows[] = {CxImage::OM_REPEAT, CxImage::OM_BACKGROUND};
    std::vector<CxImage::OverflowMethod> overflows(std::begin(someOverflows),
                                                   std::end(someOverflows));
    if (allOverflows) overflows.assign(std::begin(kAllOverflows), std::end(kAllOverflows));
    const long sizes[2][2] = {{w * 3 / 2 + 1, h + 2}, {w * 3 / 5 + 1, h / 2 + 1}};
    for (int m = 1; m <= 16; ++m)
        for (CxImage::OverflowMethod o : overflows)
            for (const auto& size : sizes)
                corpus.Operation(p + "Resample2/" + std::to_string(m) + "/" + std::to_string(o) +
                                     "/" + std::to_string(size[0]) + "x" + std::to_string(size[1]),
                                 image, [&](CxImage& i, CxImage& d) {
                                     return i.Resample2(size[0], size[1], Method(m), o, &d);
                                 });
    corpus.Operation(p + "Resample2/NoAveraging", image, [&](CxImage& i, CxImage&) {
        return i.Resample2(w / 2 + 1, h / 2 + 1, CxImage::IM_BICUBIC, CxImage::OM_MIRROR, nullptr,
                           true);
    });

    RGBQUAD replacement{1, 2, 3, 4};
    for (int m = 1; m <= 16; ++m)
        for (float angle : {30.0f, -17.5f})
            corpus.Operation(
                p + "Rotate2/" + std::to_string(m) + "/" + std::to_string(angle), image,
                [&](CxImage& i, CxImage& d) { return i.Rotate2(angle, &d, Method(m)); });
    for (CxImage::OverflowMethod o : kAllOverflows)
        for (bool keep : {false, true})
            corpus.Operation(p + "Rotate2/overflow/" + std::to_string(o) + "/" +
                                 std::to_string(keep),
                             image, [&](CxImage& i, CxImage&) {
                                 return i.Rotate2(-41.0f, nullptr, CxImage::IM_BICUBIC2, o,
                                                  &replacement, true, keep);
                             });
    for (float angle : {90.0f, 180.0f, -90.0f, 360.0f, kNaN})
        corpus.Operation(p + "Rotate2/right/" + std::to_string(angle), image,
                         [&](CxImage& i, CxImage& d) { return i.Rotate2(angle, &d); });
}

// Samplers at ordinary, awkward and hostile coordinates.
void Samplers(Corpus& corpus, const BaseImage& base, CxImage& image) {
    const std::string p = std::string(base.name) + "/";
    const float w = static_cast<float>(base.width), h = static_cast<float>(base.height);
    const float coordinates[] = {0.0f,   0.5f,  -0.5f,    w - 0.5f,  w - 1.0f, 3.25f,
                                 -1.75f, -7.3f, w + 2.5f, h - 0.25f, kNaN,     kInf,
                                 -kInf,  3e9f,  -3e9f,    -1e30f};
    const size_t count = sizeof coordinates / sizeof coordinates[0];
    RGBQUAD replacement{9, 8, 7, 6};
    for (int m = 0; m <= 17; ++m) {
        for (CxImage::OverflowMethod o : kAllOverflows) {
            Hasher hp;
            for (size_t i = 0; i < count; ++i)
                for (size_t j = 0; j < count; j += 3)
                    hp.Colour(image.GetPixelColorInterpolated(coordinates[i], coordinates[j],
                                                              Method(m), o,
                                                              j % 2 ? &replacement : nullptr));
            corpus.Add(p + "Point/" + std::to_string(m) + "/" + std::to_string(o), hp);
        }
        Hasher ha;
        for (size_t i = 0; i < count; i += 2)
            for (float size : {2.5f, 0.7f, 3.25f})
                ha.Colour(image.GetAreaColorInterpolated(
                    coordinates[i], coordinates[(i + 5) % count], size, 1.5f, Method(m),
                    kAllOverflows[i % 8], &replacement));
        corpus.Add(p + "Area/" + std::to_string(m), ha);
    }

    const long longs[] = {0,           -1,         1,         base.width,    base.width * 2,
                          -base.width, 1000000007, INT32_MIN, INT32_MIN + 1, INT32_MAX,
                          -INT32_MAX};
    for (CxImage::OverflowMethod o : kAllOverflows) {
        Hasher h;
        for (long x : longs)
            for (long y : longs) {
                h.Colour(image.GetPixelColorWithOverflow(x, y, o, nullptr));
                long fx = x, fy = y;
                image.OverflowCoordinates(fx, fy, o);
                h.Int(fx), h.Int(fy);
            }
        for (float x : coordinates)
            for (float y : coordinates) {
                float fx = x, fy = y;
                image.OverflowCoordinates(fx, fy, o);
                h.Float(fx), h.Float(fy);
            }
        corpus.Add(p + "Overflow/" + std::to_string(o), h);
    }
}

void Kernels(Corpus& corpus) {
    std::vector<float> arguments;
    for (int i = -512; i <= 512; ++i) arguments.push_back(static_cast<float>(i) / 64.0f);
    for (float extra : {1e-8f, -3e-5f, 0.33333334f, 2.9999998f, 6.0f, 1e20f, -1e20f, kInf, -kInf,
                        kNaN, 1e-38f, 123.456f})
        arguments.push_back(extra);
    const std::pair<const char*, float (*)(float)> kernels[] = {
        {"BSpline", CxImage::KernelBSpline},     {"Linear", CxImage::KernelLinear},
        {"Cubic", CxImage::KernelCubic},         {"Box", CxImage::KernelBox},
        {"Hermite", CxImage::KernelHermite},     {"Hamming", CxImage::KernelHamming},
        {"Sinc", CxImage::KernelSinc},           {"Blackman", CxImage::KernelBlackman},
        {"Bessel_J1", CxImage::KernelBessel_J1}, {"Bessel_P1", CxImage::KernelBessel_P1},
        {"Bessel_Q1", CxImage::KernelBessel_Q1}, {"Bessel_Order1", CxImage::KernelBessel_Order1},
        {"Bessel", CxImage::KernelBessel},       {"Gaussian", CxImage::KernelGaussian},
        {"Quadratic", CxImage::KernelQuadratic}, {"Mitchell", CxImage::KernelMitchell},
        {"Catrom", CxImage::KernelCatrom},
    };
    for (const auto& k : kernels) {
        Hasher h;
        for (float x : arguments) h.Float(k.second(x));
        corpus.Add(std::string("Kernel/") + k.first, h);
    }
    Hasher cubic, lanczos;
    for (float x : arguments)
        for (float a : {-0.5f, -1.0f, 0.75f}) cubic.Float(CxImage::KernelGeneralizedCubic(x, a));
    for (float x : arguments)
        for (float r : {3.0f, 6.0f, 0.5f}) lanczos.Float(CxImage::KernelLanczosSinc(x, r));
    corpus.Add("Kernel/GeneralizedCubic", cubic);
    corpus.Add("Kernel/LanczosSinc", lanczos);
}

// The library's own elementary functions, the same bits on every platform.
void ElementaryFunctions(Corpus& corpus) {
    Hasher h;
    for (int i = -20000; i <= 20000; ++i) {
        const double x = i * 0.00173;
        for (double v : {elementary::Sin(x), elementary::Cos(x), elementary::Exp(x * 20.0),
                         elementary::Atan2(x, 1.5), elementary::Atan2(-1.0, x)}) {
            uint64_t bits = 0;
            std::memcpy(&bits, &v, sizeof bits);
            h.Int(static_cast<int64_t>(bits));
        }
    }
    corpus.Add("Elementary", h);
}

void Geometry(Corpus& corpus) {
    const float values[] = {0.0f, 1.5f, -2.25f, 1e-7f, 3e9f, -7.75f, 0.1f, kInf, kNaN};
    Hasher h;
    for (float a : values)
        for (float b : values)
            for (float c : {0.3f, -4.5f, 2e5f}) {
                CxPoint2 point(a, b);
                h.Float(point.Distance(c, a));
                h.Float(point.Distance(CxPoint2(b, c)));
                CxRect2 r(a, b, c, a + c);
                CxRect2 s(c, -b, a * 2, c * 3);
                const CxRect2 x = r.CrossSection(s);
                h.Float(x.corner1.x), h.Float(x.corner1.y), h.Float(x.corner2.x),
                    h.Float(x.corner2.y);
                h.Float(r.Width()), h.Float(r.Height()), h.Float(r.Surface());
                const CxPoint2 centre = r.Center();
                h.Float(centre.x), h.Float(centre.y);
            }
    corpus.Add("Geometry", h);
}

Corpus BuildCorpus() {
    Corpus corpus;
    for (const BaseImage& base : kBases) {
        CxImage image = MakeBase(base);
        WholeImageOperations(corpus, base, image);
        InterpolatedTransforms(corpus, base, image, base.bpp == 24 && base.alpha);
        Samplers(corpus, base, image);
    }
    Kernels(corpus);
    ElementaryFunctions(corpus);
    Geometry(corpus);
    return corpus;
}

// The table holds at every instruction-set level the machine has.
class GoldenCorpus : public testing::TestWithParam<SimdLevel> {};

TEST_P(GoldenCorpus, EveryResultMatchesTheTable) {
    SKIP_UNLESS_SIMD_LEVEL(level, GetParam());
    const Corpus corpus = BuildCorpus();
    if (std::getenv("GOLDEN_PRINT") != nullptr) {
        for (const auto& entry : corpus.results)
            std::printf("{\"%s\", 0x%016" PRIx64 "ull},\n", entry.first.c_str(), entry.second);
    }
    std::map<std::string, uint64_t> expected;
    for (const Expected& e : kExpected) expected[e.name] = e.hash;
    size_t mismatches = 0;
    for (const auto& entry : corpus.results) {
        const auto found = expected.find(entry.first);
        if (found == expected.end() || found->second != entry.second) {
            ++mismatches;
            ADD_FAILURE() << entry.first << ": "
                          << (found == expected.end() ? "not in the table" : "hash differs");
        }
    }
    EXPECT_EQ(corpus.results.size(), expected.size()) << "table and corpus differ in size";
    EXPECT_EQ(mismatches, 0u);
}

// Rows split into bands give the same record at every thread count; the
// smallest images are split too, so that every operation with bands splits.
TEST_P(GoldenCorpus, SameRecordsAtOneAndFourThreads) {
    SKIP_UNLESS_SIMD_LEVEL(level, GetParam());
    gWholeRecord = true;
    const Corpus one = BuildCorpus();
    CxImage::SetThreadCount(4);
    RowBands::SetMinimumPixels(0);
    const Corpus four = BuildCorpus();
    CxImage::SetThreadCount(1);
    RowBands::SetMinimumPixels(RowBands::kDefaultMinimumPixels);
    gWholeRecord = false;
    for (const auto& entry : one.results) {
        const auto found = four.results.find(entry.first);
        EXPECT_TRUE(found != four.results.end() && found->second == entry.second) << entry.first;
    }
}

INSTANTIATE_TEST_SUITE_P(AtLevel, GoldenCorpus, testing::ValuesIn(kEverySimdLevel),
                         SimdLevelTestName);

} // namespace
