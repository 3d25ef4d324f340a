// Our image operations against OpenCV's on the same data, 8-bit grey and
// 24 bpp, at one thread and at all cores (both libraries at the same count):
// each pair runs alternately, and the table gives the median times and the
// median ratio of each of our runs to the peer's run of the same round
// (below 1: we are faster), ours at every instruction-set level the machine
// has. The frame path is measured against memcpy. After the table: the
// arithmetic of the grey Lanczos row alone, against our walk and OpenCV's.
// What the machine gives a second thread is machine_probe's to measure.
// Arguments: repetitions (7), and a text that names the operations to run.

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
// operation changes its image). Ours runs at each level in turn, the peer
// between them.
void Compare(const char* name, int threads, int repetitions, const std::function<void()>& prepare,
             const std::function<void()>& ours, const std::function<void()>& theirs,
             const char* peer = "OpenCV") {
    if (std::strstr(name, gFilter) == nullptr) return;
    const int levels = static_cast<int>(SupportedSimdLevel()) + 1;
    std::vector<double> a[kSimdLevelCount], b;
    const SimdLevel initial = ActiveSimdLevel();
    for (int i = 0; i < repetitions; ++i) {
        for (int level = 0; level < levels; ++level) {
            SetSimdLevel(static_cast<SimdLevel>(level));
            prepare();
            a[level].push_back(Milliseconds(ours));
        }
        b.push_back(Milliseconds(theirs));
    }
    SetSimdLevel(initial);
    const double mb = Median(b);
    std::printf("| %-44s | %7d | %-6s | %8.1f |", name, threads, peer, mb);
    for (int level = 0; level < kSimdLevelCount; ++level) {
        if (level >= levels) {
            std::printf(" %-15s |", "-");
            continue;
        }
        // The ratio of each of our runs to the peer's run beside it, whose
        // median is steadier on a shared machine than that of either time.
        std::vector<double> ratios;
        for (size_t i = 0; i < b.size(); ++i) ratios.push_back(a[level][i] / b[i]);
        std::printf(" %6.1f (%6.2f) |", Median(a[level]), Median(ratios));
    }
    std::printf("\n");
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
// grey and nothing else: for each of its 144 taps of eight samples, the
// float product of the two weights, widened, the exact product of weight
// and value added in double precision and the sum rounded to float, in
// twelve independent chains held in registers (no pixel is read, no lane
// picked). Our walk does all of this and more, so its time bounds ours
// from below, at the widest level. The row weight is read again for each
// tap, so that the products are not taken out of the loop. The conversions
// take their zero-masked forms with every lane set, as the kernel units do:
// the plain ones trip GCC 12's uninitialised-value warnings in its header.
volatile float gRowWeight = 0.5f;

__attribute__((target("avx512f,avx512dq,fma"))) double LanczosArithmetic() {
    constexpr int kChains = 12;
    constexpr long kTaps = 1280L * 960 * 144 / 8;
    __m512d sums[kChains], values[kChains];
    __m256 columnWeights[kChains];
    for (int c = 0; c < kChains; ++c) {
        sums[c] = _mm512_set1_pd(0.0);
        values[c] = _mm512_set1_pd(17.0 + c);
        const float w = 0.01f * static_cast<float>(c + 1);
        columnWeights[c] = _mm256_setr_ps(w, 2 * w, 3 * w, 4 * w, 5 * w, 6 * w, 7 * w, 8 * w);
    }
    for (long tap = 0; tap < kTaps; tap += kChains) {
        const __m256 rowWeight = _mm256_set1_ps(gRowWeight);
#pragma GCC unroll 12
        for (int c = 0; c < kChains; ++c) {
            const __m512d w =
                _mm512_maskz_cvtps_pd(0xFF, _mm256_mul_ps(columnWeights[c], rowWeight));
            sums[c] = _mm512_maskz_cvtps_pd(
                0xFF, _mm512_maskz_cvtpd_ps(0xFF, _mm512_fmadd_pd(w, values[c], sums[c])));
        }
    }
    alignas(64) double lanes[8];
    double total = 0.0;
    for (const __m512d& sum : sums) {
        _mm512_store_pd(lanes, sum);
        for (double lane : lanes) total += lane;
    }
    return total;
}

// That arithmetic, our Lanczos Resample2 of the same size and OpenCV's, one
// thread, in turns: the lowest ratio our Lanczos row can reach here, and how
// far our walk is above its own arithmetic (medians of paired ratios).
void LanczosFloor(int repetitions) {
    if (SupportedSimdLevel() != SimdLevel::Avx512 || std::strstr("Lanczos", gFilter) == nullptr)
        return;
    SetThreads(1);
    CxImage source = MakeSource(8, 1024, 768), result;
    const cv::Mat mat = View(source).clone();
    cv::Mat out;
    std::vector<double> arithmetic, peer, toPeer, walkToArithmetic;
    for (int r = 0; r < repetitions; ++r) {
        arithmetic.push_back(Milliseconds([] {
            volatile double sink = LanczosArithmetic();
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
                "avx512) takes %.1f ms, %.2f times OpenCV's %.1f ms; our walk %.2f times "
                "that arithmetic\n",
                Median(arithmetic), Median(toPeer), Median(peer), Median(walkToArithmetic));
}
#else
void LanczosFloor(int) {}
#endif

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    if (argc > 2) gFilter = argv[2];
    const int cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("| operation (4096 x 3072 unless named) | threads | peer | peer ms | "
                "ours ms (ratio): none | sse2 | avx2 | avx512 |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    RunTable(repetitions, cores);
    LanczosFloor(repetitions);
    return 0;
}
