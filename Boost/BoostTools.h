#pragma once

#include "platform/Export.h"

#include <cstdint>

// Small helpers over Boost.Thread shared by the grabber.
class UEYE_EXPORT BoostTools {
public:
    // Sleeps the calling thread until the current UTC time plus the given
    // number of milliseconds.
    static void delay(uint32_t milliseconds);
};
