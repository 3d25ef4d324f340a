// Our image operations against OpenCV's on the same data, 8-bit grey and
// 24 bpp, at one thread and at all cores (both libraries at the same count):
// each pair runs alternately, and the table gives the median times and the
// median ratio of each of our runs to the peer's run of the same round
// (below 1: we are faster), ours at the active instruction-set level (one
// process per level: scripts/bench-levels.sh). The frame path is measured against memcpy. After the
// table: the arithmetic of the grey Lanczos row alone, against our walk and OpenCV's. What the
// machine gives a second thread is machine_probe's to measure. Arguments: repetitions (7), and a
// text that names the operations to run.

#include "BenchTiming.h"
#include "image/CxImage.h"
#include "image/SimdLevel.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr unsigned long kWidth = 4096, kHeight = 3072;

CxImage MakeSource(unsigned bpp, unsigned long width = kWidth, unsigned long height = kHeight) {
    CxImage image(width, height, bpp);
    if (bpp == 8) image.SetGrayPalette();
    uint32_t state = 12345;
    for (unsigned long y = 0; y < height; ++y) {
        uint8_t* row = image.GetBits(y);
        for (unsigned long i = 0; i < width * bpp / 8; ++i) {
            state = state * 1664525u + 1013904223u;
            // Smooth content with some noise, like a picture.
            row[i] = static_cast<uint8_t>((i / 7 + y / 5) + (state >> 29));
        }
    }
    return image;
}

cv::Mat View(CxImage& image) {
    return cv::Mat(static_cast<int>(image.GetHeight()), static_cast<int>(image.GetWidth()),
                   image.GetBpp() == 24 ? CV_8UC3 : CV_8UC1, image.GetBits(0), image.GetEffWidth());
}

// Only operations whose name contains this text run (all when empty).
const char* gFilter = "";

// `prepare` runs untimed before each of our runs (a fresh copy where the
// operation changes its image); ours and the peer's run in turns.
void Compare(const char* name, int threads, int repetitions, const std::function<void()>& prepare,
             const std::function<void()>& ours, const std::function<void()>& theirs,
             const char* peer = "OpenCV") {
    if (std::strstr(name, gFilter) == nullptr) return;
    std::vector<double> a, b, ratios;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        a.push_back(Milliseconds(ours));
        b.push_back(Milliseconds(theirs));
        // The ratio of each of our runs to the peer's run beside it, whose
        // median is steadier on a shared machine than that of either time.
        ratios.push_back(a.back() / b.back());
    }
    std::printf("| %-44s | %7d | %-6s | %8.1f | %6.1f (%6.2f) |\n", name, threads, peer, Median(b),
                Median(a), Median(ratios));
    std::fflush(stdout);
}

// One operation at both depths: 8-bit grey (every camera frame) and 24 bpp.
struct Operation {
    const char* name;
    std::function<void(CxImage&, CxImage&)> ours; // source, destination
    std::function<void(const cv::Mat&, cv::Mat&)> theirs;
    bool inPlace = false; // ours changes its source: runs on a fresh copy
    bool small = false;   // from 1024 x 768 sources, the size Lanczos is measured at
};

// Both libraries at `threads` threads.
void SetThreads(int threads) {
    cv::setNumThreads(threads);
    CxImage::SetThreadCount(threads);
}

void RunTable(int repetitions, int cores) {
    CxImage sources[2] = {MakeSource(8), MakeSource(24)};
    CxImage smallSources[2] = {MakeSource(8, 1024, 768), MakeSource(24, 1024, 768)};
    const char* depthNames[2] = {"8 bpp grey", "24 bpp"};
    CxImage work, result;
    cv::Mat out;
    auto turned = [](const cv::Mat& in, cv::Mat& to, double degrees, int interpolation) {
        const cv::Point2f centre(in.cols / 2.0f, in.rows / 2.0f);
        cv::Mat turn = cv::getRotationMatrix2D(centre, degrees, 1.0);
        const cv::Rect box =
            cv::RotatedRect(centre, in.size(), static_cast<float>(degrees)).boundingRect();
        turn.at<double>(0, 2) += box.width / 2.0 - centre.x;
        turn.at<double>(1, 2) += box.height / 2.0 - centre.y;
        cv::warpAffine(in, to, turn, box.size(), interpolation);
    };
    const std::vector<Operation> operations = {
        {"Flip", [](CxImage& s, CxImage&) { s.Flip(); },
         [](const cv::Mat& in, cv::Mat& to) { cv::flip(in, to, 0); }, true},
        {"Mirror", [](CxImage& s, CxImage&) { s.Mirror(); },
         [](const cv::Mat& in, cv::Mat& to) { cv::flip(in, to, 1); }, true},
        {"Negative", [](CxImage& s, CxImage&) { s.Negative(); },
         [](const cv::Mat& in, cv::Mat& to) { cv::bitwise_not(in, to); }, true},
        {"RotateLeft", [](CxImage& s, CxImage& d) { s.RotateLeft(&d); },
         [](const cv::Mat& in, cv::Mat& to) {
             cv::rotate(in, to, cv::ROTATE_90_COUNTERCLOCKWISE);
         }},
        {"GrayScale", [](CxImage& s, CxImage&) { s.GrayScale(); },
         [](const cv::Mat& in, cv::Mat& to) {
             if (in.channels() == 3)
                 cv::cvtColor(in, to, cv::COLOR_BGR2GRAY);
             else
                 in.copyTo(to);
         },
         true},
        {"Crop, 100-pixel margins",
         [](CxImage& s, CxImage& d) { s.Crop(100, 100, 3996, 2972, &d); },
         [](const cv::Mat& in, cv::Mat& to) { in(cv::Rect(100, 100, 3896, 2872)).copyTo(to); }},
        {"Resample nearest ~/2", [](CxImage& s, CxImage& d) { s.Resample(2047, 1535, 1, &d); },
         [](const cv::Mat& in, cv::Mat& to) {
             cv::resize(in, to, cv::Size(2047, 1535), 0, 0, cv::INTER_NEAREST);
         }},
        {"Resample bilinear x1.5", [](CxImage& s, CxImage& d) { s.Resample(6144, 4608, 0, &d); },
         [](const cv::Mat& in, cv::Mat& to) {
             cv::resize(in, to, cv::Size(6144, 4608), 0, 0, cv::INTER_LINEAR);
         }},
        {"Resample /3 (vs area)", [](CxImage& s, CxImage& d) { s.Resample(1365, 1024, 0, &d); },
         [](const cv::Mat& in, cv::Mat& to) {
             cv::resize(in, to, cv::Size(1365, 1024), 0, 0, cv::INTER_AREA);
         }},
        {"Resample2 bilinear x1.25",
         [](CxImage& s, CxImage& d) {
             s.Resample2(5120, 3840, CxImage::IM_BILINEAR, CxImage::OM_REPEAT, &d);
         },
         [](const cv::Mat& in, cv::Mat& to) {
             cv::resize(in, to, cv::Size(5120, 3840), 0, 0, cv::INTER_LINEAR);
         }},
        {"Resample2 bicubic x1.25",
         [](CxImage& s, CxImage& d) {
             s.Resample2(5120, 3840, CxImage::IM_BICUBIC2, CxImage::OM_REPEAT, &d);
         },
         [](const cv::Mat& in, cv::Mat& to) {
             cv::resize(in, to, cv::Size(5120, 3840), 0, 0, cv::INTER_CUBIC);
         }},
        {"Resample2 /3 area, bilinear",
         [](CxImage& s, CxImage& d) {
             s.Resample2(1365, 1024, CxImage::IM_BILINEAR, CxImage::OM_REPEAT, &d);
         },
         [](const cv::Mat& in, cv::Mat& to) {
             cv::resize(in, to, cv::Size(1365, 1024), 0, 0, cv::INTER_AREA);
         }},
        {"Resample2 Lanczos x1.25 (1024 x 768)",
         [](CxImage& s, CxImage& d) {
             s.Resample2(1280, 960, CxImage::IM_LANCZOS, CxImage::OM_REPEAT, &d);
         },
         [](const cv::Mat& in, cv::Mat& to) {
             cv::resize(in, to, cv::Size(1280, 960), 0, 0, cv::INTER_LANCZOS4);
         },
         false, true},
        {"Rotate2 30 degrees bilinear",
         [](CxImage& s, CxImage& d) { s.Rotate2(30.0f, &d, CxImage::IM_BILINEAR); },
         [&](const cv::Mat& in, cv::Mat& to) { turned(in, to, 30.0, cv::INTER_LINEAR); }},
        {"Rotate 30 degrees (vs nearest)", [](CxImage& s, CxImage& d) { s.Rotate(30.0f, &d); },
         [&](const cv::Mat& in, cv::Mat& to) { turned(in, to, 30.0, cv::INTER_NEAREST); }},
    };
    // Each row at one thread and at every core right after, so that the two
    // are timed in the same phase of a shared machine.
    std::vector<int> threadCounts{1};
    if (cores > 1) threadCounts.push_back(cores);
    for (const Operation& operation : operations)
        for (int depth = 0; depth < 2; ++depth) {
            CxImage& source = operation.small ? smallSources[depth] : sources[depth];
            const cv::Mat mat = View(source).clone();
            char name[128];
            std::snprintf(name, sizeof name, "%s, %s", operation.name, depthNames[depth]);
            for (int threads : threadCounts) {
                SetThreads(threads);
                Compare(
                    name, threads, repetitions,
                    [&] {
                        if (operation.inPlace) work.Copy(source);
                    },
                    [&] { operation.ours(operation.inPlace ? work : source, result); },
                    [&] { operation.theirs(mat, out); });
            }
        }

    SetThreads(1);
    // The frame path: a camera frame copied into a reused image, flipped.
    std::vector<uint8_t> frame(2048u * 2048u, 7), copy(frame.size());
    CxImage reused(2048, 2048, 8);
    Compare(
        "CreateFromArray flipped, reused 2048^2 8 bpp", 1, repetitions * 3, [] {},
        [&] { reused.CreateFromArray(frame.data(), 2048, 2048, 8, 2048, true); },
        [&] { std::memcpy(copy.data(), frame.data(), frame.size()); }, "memcpy");

    // Within our own library: error diffusion of 8 bpp against 24 bpp.
    CxImage greyResult, colourResult;
    Compare(
        "DecreaseBpp 1 diffused: 8 bpp vs 24 bpp (1024^2)", 1, repetitions, [] {},
        [&] {
            greyResult = MakeSource(8, 1024, 1024);
            greyResult.DecreaseBpp(1, true);
        },
        [&] {
            colourResult = MakeSource(24, 1024, 1024);
            colourResult.DecreaseBpp(1, true);
        },
        "24 bpp");
}

#if defined(__x86_64__) || defined(__i386__)
// The arithmetic of a Lanczos Resample2 from 1024 x 768 to 1280 x 960 on
// grey and nothing else, at one instruction-set level: for each of its 144
// taps of every sample, the float product of the two weights, widened, the
// exact product of weight and value added in double precision and the sum
// rounded to float, in twelve independent chains of lanes held in registers
// (no pixel is read, no lane picked). Our walk at that level does all of
// this and more, so its time bounds ours from below. The row weight is read
// again for each tap, so that the products are not taken out of the loop.
// A double FMA only where the level has one (the product of a float and a
// byte value is exact); the avx512 conversions take their zero-masked forms
// with every lane set, as the kernel units do.
volatile float gRowWeight = 0.5f;
constexpr int kChains = 12;
constexpr long kTapSamples = 1280L * 960 * 144;

float ChainWeight(int chain, int lane) {
    return 0.01f * static_cast<float>(chain + 1) * static_cast<float>(lane + 1);
}

// The chains' lanes summed, so that no step can be dropped.
double TotalOf(const double* lanes, int count) {
    double total = 0.0;
    for (int i = 0; i < count; ++i) total += lanes[i];
    return total;
}

__attribute__((target("avx512f,avx512dq,fma"))) double LanczosArithmeticAvx512() {
    __m512d sums[kChains], values[kChains];
    __m256 columnWeights[kChains];
    for (int c = 0; c < kChains; ++c) {
        sums[c] = _mm512_set1_pd(0.0);
        values[c] = _mm512_set1_pd(17.0 + c);
        columnWeights[c] = _mm256_setr_ps(ChainWeight(c, 0), ChainWeight(c, 1), ChainWeight(c, 2),
                                          ChainWeight(c, 3), ChainWeight(c, 4), ChainWeight(c, 5),
                                          ChainWeight(c, 6), ChainWeight(c, 7));
    }
    for (long tap = 0; tap < kTapSamples / 8; tap += kChains) {
        const __m256 rowWeight = _mm256_set1_ps(gRowWeight);
#pragma GCC unroll 12
        for (int c = 0; c < kChains; ++c) {
            const __m512d w =
                _mm512_maskz_cvtps_pd(0xFF, _mm256_mul_ps(columnWeights[c], rowWeight));
            sums[c] = _mm512_maskz_cvtps_pd(
                0xFF, _mm512_maskz_cvtpd_ps(0xFF, _mm512_fmadd_pd(w, values[c], sums[c])));
        }
    }
    double lanes[8 * kChains];
    for (int c = 0; c < kChains; ++c) _mm512_storeu_pd(lanes + 8 * c, sums[c]);
    return TotalOf(lanes, 8 * kChains);
}

__attribute__((target("avx2,fma"))) double LanczosArithmeticAvx2() {
    __m256d sums[kChains], values[kChains];
    __m128 columnWeights[kChains];
    for (int c = 0; c < kChains; ++c) {
        sums[c] = _mm256_set1_pd(0.0);
        values[c] = _mm256_set1_pd(17.0 + c);
        columnWeights[c] =
            _mm_setr_ps(ChainWeight(c, 0), ChainWeight(c, 1), ChainWeight(c, 2), ChainWeight(c, 3));
    }
    for (long tap = 0; tap < kTapSamples / 4; tap += kChains) {
        const __m128 rowWeight = _mm_set1_ps(gRowWeight);
#pragma GCC unroll 12
        for (int c = 0; c < kChains; ++c) {
            const __m256d w = _mm256_cvtps_pd(_mm_mul_ps(columnWeights[c], rowWeight));
            sums[c] = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_fmadd_pd(w, values[c], sums[c])));
        }
    }
    double lanes[4 * kChains];
    for (int c = 0; c < kChains; ++c) _mm256_storeu_pd(lanes + 4 * c, sums[c]);
    return TotalOf(lanes, 4 * kChains);
}

__attribute__((target("sse2"))) double LanczosArithmeticSse2() {
    __m128d sums[kChains], values[kChains];
    __m128 columnWeights[kChains];
    for (int c = 0; c < kChains; ++c) {
        sums[c] = _mm_set1_pd(0.0);
        values[c] = _mm_set1_pd(17.0 + c);
        columnWeights[c] = _mm_setr_ps(ChainWeight(c, 0), ChainWeight(c, 1), 0.0f, 0.0f);
    }
    for (long tap = 0; tap < kTapSamples / 2; tap += kChains) {
        const __m128 rowWeight = _mm_set1_ps(gRowWeight);
#pragma GCC unroll 12
        for (int c = 0; c < kChains; ++c) {
            const __m128d w = _mm_cvtps_pd(_mm_mul_ps(columnWeights[c], rowWeight));
            sums[c] = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(w, values[c]), sums[c])));
        }
    }
    double lanes[2 * kChains];
    for (int c = 0; c < kChains; ++c) _mm_storeu_pd(lanes + 2 * c, sums[c]);
    return TotalOf(lanes, 2 * kChains);
}

// The Lanczos arithmetic of the active level, or null where no form of it
// is written (the portable level).
double (*LanczosArithmetic())() {
    switch (ActiveSimdLevel()) {
    case SimdLevel::Avx512:
        return LanczosArithmeticAvx512;
    case SimdLevel::Avx2:
        return LanczosArithmeticAvx2;
    case SimdLevel::Sse2:
        return LanczosArithmeticSse2;
    default:
        return nullptr;
    }
}

// That arithmetic, our Lanczos Resample2 of the same size and OpenCV's, one
// thread, in turns: the lowest ratio our Lanczos row can reach at this
// level, and how far our walk is above its own arithmetic (medians of
// paired ratios).
void LanczosFloor(int repetitions) {
    double (*const arithmeticAlone)() = LanczosArithmetic();
    if (arithmeticAlone == nullptr || std::strstr("Lanczos", gFilter) == nullptr) return;
    SetThreads(1);
    CxImage source = MakeSource(8, 1024, 768), result;
    const cv::Mat mat = View(source).clone();
    cv::Mat out;
    std::vector<double> arithmetic, peer, toPeer, walkToArithmetic;
    for (int r = 0; r < repetitions; ++r) {
        arithmetic.push_back(Milliseconds([&] {
            volatile double sink = arithmeticAlone();
            (void)sink;
        }));
        const double walk = Milliseconds(
            [&] { source.Resample2(1280, 960, CxImage::IM_LANCZOS, CxImage::OM_REPEAT, &result); });
        peer.push_back(Milliseconds(
            [&] { cv::resize(mat, out, cv::Size(1280, 960), 0, 0, cv::INTER_LANCZOS4); }));
        toPeer.push_back(arithmetic.back() / peer.back());
        walkToArithmetic.push_back(walk / arithmetic.back());
    }
    std::printf("\nLanczos x1.25 from 1024 x 768, grey: its arithmetic alone (registers only, "
                "%s) takes %.1f ms, %.2f times OpenCV's %.1f ms; our walk %.2f times "
                "that arithmetic\n",
                SimdLevelName(ActiveSimdLevel()), Median(arithmetic), Median(toPeer), Median(peer),
                Median(walkToArithmetic));
}
#else
void LanczosFloor(int) {}
#endif

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    if (argc > 2) gFilter = argv[2];
    const int cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("Ours at %s (UEYE_IMAGE_SIMD caps it); OpenCV's instruction sets: %s "
                "(OPENCV_CPU_DISABLE holds it to ours)\n\n",
                SimdLevelName(ActiveSimdLevel()), cv::getCPUFeaturesLine().c_str());
    std::printf("| operation (4096 x 3072 unless named) | threads | peer | peer ms | "
                "ours ms (ratio) |\n");
    std::printf("|---|---|---|---|---|\n");
    RunTable(repetitions, cores);
    LanczosFloor(repetitions);
    return 0;
}
