// Timings of the interpolated transforms on a 2048 x 1536 colour picture.

#include "image/CxImage.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

constexpr unsigned long kWidth = 2048;
constexpr unsigned long kHeight = 1536;

const CxImage& Source() {
    static const CxImage image = [] {
        CxImage made(kWidth, kHeight, 24);
        uint8_t* bits = made.GetBits(0);
        const size_t bytes = static_cast<size_t>(made.GetEffWidth()) * kHeight;
        uint32_t state = 987654321u;
        for (size_t i = 0; i < bytes; ++i) {
            state = state * 1664525u + 1013904223u;
            bits[i] = static_cast<uint8_t>(state >> 24);
        }
        return made;
    }();
    return image;
}

CxImage::InterpolationMethod Method(const benchmark::State& state) {
    return static_cast<CxImage::InterpolationMethod>(state.range(0));
}

void BM_Resample2Up(benchmark::State& state) {
    CxImage& source = const_cast<CxImage&>(Source());
    for (auto _ : state) {
        CxImage result;
        benchmark::DoNotOptimize(source.Resample2(kWidth * 3 / 2, kHeight * 3 / 2, Method(state),
                                                  CxImage::OM_REPEAT, &result));
    }
}

void BM_Resample2Down(benchmark::State& state) {
    CxImage& source = const_cast<CxImage&>(Source());
    for (auto _ : state) {
        CxImage result;
        benchmark::DoNotOptimize(
            source.Resample2(kWidth / 3, kHeight / 3, Method(state), CxImage::OM_REPEAT, &result));
    }
}

void BM_Rotate2(benchmark::State& state) {
    CxImage& source = const_cast<CxImage&>(Source());
    for (auto _ : state) {
        CxImage result;
        benchmark::DoNotOptimize(
            source.Rotate2(30.0f, &result, Method(state), CxImage::OM_BACKGROUND, nullptr));
    }
}

// Nearest, bilinear, a bicubic-family method and Lanczos.
void Methods(benchmark::internal::Benchmark* b) {
    for (int method : {CxImage::IM_NEAREST_NEIGHBOUR, CxImage::IM_BILINEAR, CxImage::IM_BICUBIC2,
                       CxImage::IM_LANCZOS})
        b->Arg(method);
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_Resample2Up)->Apply(Methods);
BENCHMARK(BM_Resample2Down)->Apply(Methods);
BENCHMARK(BM_Rotate2)->Apply(Methods);

BENCHMARK_MAIN();
