// The instruction-set level in use, read from the processor and capped by
// UEYE_IMAGE_SIMD, and the one point where each kernel family's table is
// chosen.

#include "image/SimdLevel.h"

#include "image/CxImage.h"
#include "interpolation/AreaKernels.h"
#include "interpolation/ColourBilinearKernels.h"
#include "interpolation/CubicWeightKernels.h"
#include "interpolation/GreyBilinearKernels.h"
#include "interpolation/RotatedRowKernels.h"
#include "interpolation/WalkKernels.h"
#include "transform/ResizeKernels.h"
#include "transform/ToneKernels.h"
#include "transform/TurnKernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

// UEYE_SIMD_X86: the build has every level's kernels (an x86 processor).
#if defined(UEYE_SIMD_X86)
#include <cpuid.h>
#endif

namespace {

#if defined(UEYE_SIMD_X86)
// The processor's CPUID leaves, read once.
struct CpuFeatures {
    unsigned leaf1Ecx = 0, leaf1Edx = 0, leaf7Ebx = 0;
    unsigned long long enabledState = 0; // XCR0: state the OS saves on switches
};

CpuFeatures ReadCpuFeatures() {
    CpuFeatures features;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return features;
    features.leaf1Ecx = ecx;
    features.leaf1Edx = edx;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0) features.leaf7Ebx = ebx;
    // XGETBV exists only where the OS has turned on OSXSAVE (bit 27).
    if ((features.leaf1Ecx & (1u << 27)) != 0) {
        unsigned low = 0, high = 0;
        __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        features.enabledState = (static_cast<unsigned long long>(high) << 32) | low;
    }
    return features;
}

SimdLevel DetectSimdLevel() {
    const CpuFeatures f = ReadCpuFeatures();
    auto all = [](unsigned bits, unsigned mask) { return (bits & mask) == mask; };
    if (!all(f.leaf1Edx, 1u << 26)) return SimdLevel::None;
    // AVX2 with FMA and AVX, and the OS saving XMM and YMM state.
    const bool ymmSaved = (f.enabledState & 0x6) == 0x6;
    const bool avx2 =
        ymmSaved && all(f.leaf1Ecx, (1u << 12) | (1u << 28)) && all(f.leaf7Ebx, 1u << 5);
    if (!avx2) return SimdLevel::Sse2;
    // AVX-512 F, DQ, BW and VL, and the OS saving the opmask and ZMM state.
    const bool zmmSaved = (f.enabledState & 0xE6) == 0xE6;
    const bool avx512 =
        zmmSaved && all(f.leaf7Ebx, (1u << 16) | (1u << 17) | (1u << 30) | (1u << 31));
    return avx512 ? SimdLevel::Avx512 : SimdLevel::Avx2;
}
#elif defined(UEYE_SIMD_NEON)
// Every AArch64 processor has NEON (Advanced SIMD).
SimdLevel DetectSimdLevel() {
    return SimdLevel::Neon;
}
#else
SimdLevel DetectSimdLevel() {
    return SimdLevel::None;
}
#endif

SimdLevel Lower(SimdLevel a, SimdLevel b) {
    return static_cast<int>(a) < static_cast<int>(b) ? a : b;
}

// The level at the first call: what the machine supports, capped by the
// environment. A function-local static, so two threads making the first call
// at once both see one complete initialisation.
SimdLevel InitialLevel() {
    static const SimdLevel initial = [] {
        SimdLevel level = SupportedSimdLevel();
        SimdLevel cap = SimdLevel::None;
        if (ParseSimdLevel(std::getenv("UEYE_IMAGE_SIMD"), cap)) level = Lower(level, cap);
        return level;
    }();
    return initial;
}

// -1 until the first call, then the level in use; the tests' setter stores
// into it too.
std::atomic<int> g_level{-1};

const char* const kNames[kSimdLevelCount] = {"none", "sse2", "avx2", "avx512"};
#if defined(UEYE_SIMD_NEON)
// The sse2 slot's name on AArch64; the x86 names still parse there.
const char* const kNeonName = "neon";
#endif

} // namespace

SimdLevel SupportedSimdLevel() {
    static const SimdLevel supported = DetectSimdLevel();
    return supported;
}

SimdLevel ActiveSimdLevel() {
    const int level = g_level.load(std::memory_order_acquire);
    if (level >= 0) return static_cast<SimdLevel>(level);
    int expected = -1;
    g_level.compare_exchange_strong(expected, static_cast<int>(InitialLevel()),
                                    std::memory_order_acq_rel);
    return static_cast<SimdLevel>(g_level.load(std::memory_order_acquire));
}

SimdLevel SetSimdLevel(SimdLevel requested) {
    const SimdLevel level = Lower(requested, SupportedSimdLevel());
    g_level.store(static_cast<int>(level), std::memory_order_release);
    return level;
}

const char* SimdLevelName(SimdLevel level) {
    const int index = static_cast<int>(level);
#if defined(UEYE_SIMD_NEON)
    if (level == SimdLevel::Neon) return kNeonName;
#endif
    return index >= 0 && index < kSimdLevelCount ? kNames[index] : "none";
}

bool ParseSimdLevel(const char* name, SimdLevel& level) {
    if (name == nullptr) return false;
#if defined(UEYE_SIMD_NEON)
    if (std::strcmp(name, kNeonName) == 0) {
        level = SimdLevel::Neon;
        return true;
    }
#endif
    for (int i = 0; i < kSimdLevelCount; ++i)
        if (std::strcmp(name, kNames[i]) == 0) {
            level = static_cast<SimdLevel>(i);
            return true;
        }
    return false;
}

const char* CxImage::GetSimdLevel() {
    return SimdLevelName(ActiveSimdLevel());
}

// The one point where each family's kernels are chosen: the table of the
// level in use. On AArch64 the levels above none name the neon copy;
// elsewhere off x86 only the portable copy is built, and every level names
// it.
#if defined(UEYE_SIMD_X86)
#define UEYE_KERNEL_TABLES(name)                                                                   \
    { &name##_none, &name##_sse2, &name##_avx2, &name##_avx512 }
#elif defined(UEYE_SIMD_NEON)
#define UEYE_KERNEL_TABLES(name)                                                                   \
    { &name##_none, &name##_neon, &name##_neon, &name##_neon }
#else
#define UEYE_KERNEL_TABLES(name)                                                                   \
    { &name##_none, &name##_none, &name##_none, &name##_none }
#endif

// Each family's table for the level in use.
#define UEYE_KERNELS_IN_USE(Type, name)                                                            \
    const Type& Type##InUse() {                                                                    \
        static const Type* const tables[] = UEYE_KERNEL_TABLES(name);                              \
        return ForActiveLevel(tables);                                                             \
    }

UEYE_KERNELS_IN_USE(AreaKernels, kAreaKernels)
UEYE_KERNELS_IN_USE(ColourBilinearKernels, kColourBilinearKernels)
UEYE_KERNELS_IN_USE(CubicWeightKernels, kCubicWeightKernels)
UEYE_KERNELS_IN_USE(GreyBilinearKernels, kGreyBilinearKernels)
UEYE_KERNELS_IN_USE(ResizeKernels, kResizeKernels)
UEYE_KERNELS_IN_USE(RotatedRowKernels, kRotatedRowKernels)
UEYE_KERNELS_IN_USE(ToneKernels, kToneKernels)
UEYE_KERNELS_IN_USE(TurnKernels, kTurnKernels)
UEYE_KERNELS_IN_USE(WalkKernels, kWalkKernels)
