// Timings of the whole-image transformations on a 4096 x 3072 picture.

#include "image/CxImage.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

constexpr unsigned long kWidth = 4096;
constexpr unsigned long kHeight = 3072;

CxImage MakeSource(unsigned bpp) {
    CxImage image(kWidth, kHeight, bpp);
    if (bpp == 8) image.SetGrayPalette();
    uint8_t* bits = image.GetBits(0);
    const size_t bytes = static_cast<size_t>(image.GetEffWidth()) * kHeight;
    uint32_t state = 12345;
    for (size_t i = 0; i < bytes; ++i) {
        state = state * 1664525u + 1013904223u;
        bits[i] = static_cast<uint8_t>(state >> 24);
    }
    return image;
}

const CxImage& Source(unsigned bpp) {
    static const CxImage grey = MakeSource(8);
    static const CxImage colour = MakeSource(24);
    return bpp == 8 ? grey : colour;
}

// Runs `op` on a fresh copy of the source each iteration; the copy is untimed.
template <typename Op> void Run(benchmark::State& state, Op op) {
    const unsigned bpp = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        CxImage image(Source(bpp));
        state.ResumeTiming();
        benchmark::DoNotOptimize(op(image));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth * kHeight));
}

void BM_Flip(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.Flip(); });
}
void BM_Mirror(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.Mirror(); });
}
void BM_RotateLeft(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.RotateLeft(); });
}
void BM_RotateRight(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.RotateRight(); });
}
void BM_Rotate180(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.Rotate180(); });
}
void BM_Negative(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.Negative(); });
}
void BM_GrayScale(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.GrayScale(); });
}
void BM_ResampleNearest(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.Resample(1366, 1024, 1); });
}
void BM_ResampleBilinear(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.Resample(5000, 3500, 0); });
}
void BM_ResampleBox(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.Resample(1366, 1024, 0); });
}
void BM_ResampleBSpline(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.Resample(1024, 768, 2); });
}
void BM_QIShrink(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.QIShrink(1366, 1024); });
}
void BM_DecreaseBpp4(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.DecreaseBpp(4, false); });
}
void BM_DecreaseBpp1Diffused(benchmark::State& s) {
    Run(s, [](CxImage& i) { return i.DecreaseBpp(1, true); });
}
// The method number comes second; the depth stays first for Run.
void BM_Dither(benchmark::State& s) {
    const long method = static_cast<long>(s.range(1));
    Run(s, [method](CxImage& i) { return i.Dither(method); });
}

} // namespace

#define DEPTHS ->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Flip) DEPTHS;
BENCHMARK(BM_Mirror) DEPTHS;
BENCHMARK(BM_RotateLeft) DEPTHS;
BENCHMARK(BM_RotateRight) DEPTHS;
BENCHMARK(BM_Rotate180) DEPTHS;
BENCHMARK(BM_Negative) DEPTHS;
BENCHMARK(BM_GrayScale) DEPTHS;
BENCHMARK(BM_ResampleNearest) DEPTHS;
BENCHMARK(BM_ResampleBilinear) DEPTHS;
BENCHMARK(BM_ResampleBox)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleBSpline) DEPTHS;
BENCHMARK(BM_QIShrink) DEPTHS;
BENCHMARK(BM_DecreaseBpp4) DEPTHS;
BENCHMARK(BM_DecreaseBpp1Diffused) DEPTHS;
BENCHMARK(BM_Dither)
    ->ArgsProduct({{8, 24}, {0, 1, 2, 3, 4, 5, 6, 7}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
