#pragma once

#include "image/SimdLevel.h"

#include <gtest/gtest.h>

#include <string>

// Every instruction-set level, for suites that run at each of them.
inline const SimdLevel kEverySimdLevel[] = {SimdLevel::None, SimdLevel::Sse2, SimdLevel::Avx2,
                                            SimdLevel::Avx512};

inline std::string SimdLevelTestName(const testing::TestParamInfo<SimdLevel>& info) {
    return SimdLevelName(info.param);
}

// Switches to a level for a scope and back to the one in use before; false
// from Taken() when the machine lacks the level (the test then skips).
class ScopedSimdLevel {
public:
    explicit ScopedSimdLevel(SimdLevel level)
        : previous(ActiveSimdLevel()), taken(SetSimdLevel(level) == level) {}
    ~ScopedSimdLevel() { SetSimdLevel(previous); }
    bool Taken() const { return taken; }

private:
    SimdLevel previous;
    bool taken;
};

#define SKIP_UNLESS_SIMD_LEVEL(scope, level)                                                       \
    ScopedSimdLevel scope(level);                                                                  \
    if (!scope.Taken()) GTEST_SKIP() << SimdLevelName(level) << " is not supported by this machine"
