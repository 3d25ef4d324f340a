#pragma once

// Instruction-set levels of the vector kernels, in rising order. Each kernel
// family is compiled once per level; the level in use picks its entries.
// On AArch64 the neon level takes the sse2 slot, and the two x86 levels
// above it give neon.
enum class SimdLevel : int { None = 0, Sse2 = 1, Neon = 1, Avx2 = 2, Avx512 = 3 };

constexpr int kSimdLevelCount = 4;

// The level in use: at the first call, the highest one that the processor
// and the operating system support, capped by UEYE_IMAGE_SIMD when that names
// a level (an unknown value is ignored). Safe to call from several threads.
SimdLevel ActiveSimdLevel();

// The highest level that this build, the processor and the operating system
// support together.
SimdLevel SupportedSimdLevel();

// For tests: use `requested`, or the highest supported level below it, from
// now on; returns the level taken.
SimdLevel SetSimdLevel(SimdLevel requested);

// "none", "sse2", "avx2", "avx512"; on AArch64 "neon" in the sse2 slot.
const char* SimdLevelName(SimdLevel level);

// The level a name gives, or false for an unknown name (null included). On
// AArch64 the x86 names are known too, so that a cap written for x86 gives
// the best level there.
bool ParseSimdLevel(const char* name, SimdLevel& level);

// The entry of a per-level table for the level in use: table[level].
template <typename Table>
const Table& ForActiveLevel(const Table* const (&tables)[kSimdLevelCount]) {
    return *tables[static_cast<int>(ActiveSimdLevel())];
}

// A family's tables, one per level, defined by its kernel unit's copies.
#define UEYE_DECLARE_KERNEL_TABLES(Type, name)                                                     \
    extern const Type name##_none, name##_sse2, name##_avx2, name##_avx512, name##_neon
