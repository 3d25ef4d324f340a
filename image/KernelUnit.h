#pragma once

// Included first by every kernel unit. The build compiles each kernel unit
// once per instruction-set level, defining UEYE_SIMD_LEVEL (0 none, 1 sse2,
// 2 avx2, 3 avx512) and UEYE_SIMD_NAME, with that level's target flags on
// that copy alone.
//
// Everything a kernel unit defines stays in an anonymous namespace except its
// table, named with UEYE_KERNEL_TABLE, so that no function compiled with
// wider instructions can be taken for a baseline copy at link time. For the
// same reason a kernel unit reads the plain records of shared headers but
// calls none of their inline functions.

#if !defined(UEYE_SIMD_LEVEL) || !defined(UEYE_SIMD_NAME)
#error "a kernel unit is compiled through its per-level copies"
#endif

#define UEYE_KERNEL_PASTE2(a, b) a##_##b
#define UEYE_KERNEL_PASTE(a, b) UEYE_KERNEL_PASTE2(a, b)
// The table of this level's copy: name_none, name_sse2, ...
#define UEYE_KERNEL_TABLE(name) UEYE_KERNEL_PASTE(name, UEYE_SIMD_NAME)

namespace {

// The lesser and the greater of two values, as std::min and std::max give
// them. A kernel unit calls no inline function of a shared header, these two
// included: an unoptimised build keeps them out of line, and the linker may
// then take one level's copy for every caller.
template <typename T> constexpr T Lesser(T a, T b) {
    return b < a ? b : a;
}
template <typename T> constexpr T Greater(T a, T b) {
    return a < b ? b : a;
}

} // namespace
