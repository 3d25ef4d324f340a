// What this machine gives more threads, nothing of the library involved:
// independent multiply-add chains held in registers (one chain: each step
// waits for the last; sixteen: the arithmetic units are the limit) and a copy
// of a 24 bpp frame's bytes through memory, each at all cores against one.
// These are the ceilings of the two-thread rows of bench_peer: arithmetic
// rows cannot gain more than the chains, rows that mostly move bytes
// (GrayScale, RotateLeft, the flips) not more than the copy.
// Argument: repetitions (7).

#include "BenchTiming.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr size_t kFrameBytes = 4096u * 3072u * 3u;

// Values the compiler cannot know, so that it keeps every step.
volatile double gChainStart = 1.0;

template <int kChains> double Chains(long steps) {
    double a[kChains];
    for (int i = 0; i < kChains; ++i) a[i] = gChainStart + i * 1e-9;
    for (long n = 0; n < steps; ++n)
        for (double& v : a) v = v * 0.999999999 + 1e-9;
    double sum = 0;
    for (double v : a) sum += v;
    return sum;
}

// How much faster `threads` threads do `work` than one, each doing
// work(share, threads), against work(0, 1) alone.
double Speedup(const std::function<void(int, int)>& work, int threads, int repetitions) {
    std::vector<double> one, many;
    for (int r = 0; r < repetitions; ++r) {
        one.push_back(Milliseconds([&] { work(0, 1); }));
        many.push_back(Milliseconds([&] {
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t) workers.emplace_back([&, t] { work(t, threads); });
            for (std::thread& worker : workers) worker.join();
        }));
    }
    return Median(one) / Median(many);
}

// The steps of `chains`, shared out: where the processors share their
// arithmetic units (two hardware threads of one core), the throughput form
// gains nothing.
double ArithmeticSpeedup(double (*chains)(long), long steps, int threads, int repetitions) {
    return Speedup(
        [&](int, int shares) {
            volatile double sink = chains(steps / shares);
            (void)sink;
        },
        threads, repetitions);
}

double MemorySpeedup(int threads, int repetitions) {
    std::vector<uint8_t> from(kFrameBytes, 7), to(kFrameBytes, 0);
    return Speedup(
        [&](int share, int shares) {
            const size_t begin = kFrameBytes * share / shares;
            const size_t end = kFrameBytes * (share + 1) / shares;
            std::memcpy(to.data() + begin, from.data() + begin, end - begin);
        },
        threads, repetitions);
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (cores < 2) {
        std::printf("One processor: nothing to compare.\n");
        return 0;
    }
    std::printf("Arithmetic alone (registers only), %d threads against 1: %.2fx faster with one "
                "chain (latency), %.2fx with sixteen (throughput)\n",
                cores, ArithmeticSpeedup(Chains<1>, 200000000, cores, repetitions),
                ArithmeticSpeedup(Chains<16>, 40000000, cores, repetitions));
    std::printf("Memory alone (a copy of a 24 bpp frame's %.1f MB), %d threads against 1: %.2fx "
                "faster\n",
                kFrameBytes / 1e6, cores, MemorySpeedup(cores, repetitions * 3));
    return 0;
}
