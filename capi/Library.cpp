// The library-wide calls of the C interface and the shared error handling.
#include "capi/Handles.h"
#include "grabber/GrabberEntryPoints.h"
#include "image/CxImage.h"

#include <atomic>
#include <cstdio>

namespace {

// Fixed-size and trivially destructible, so that it needs no clean-up when a
// thread ends, on every platform.
thread_local char t_lastError[512];

const int32_t kMostThreads = 256;

} // namespace

namespace capi {

int32_t Fail(int32_t status, const char* what, const char* detail) noexcept {
    std::snprintf(t_lastError, sizeof t_lastError, "%s%s", what ? what : "", detail ? detail : "");
    return status;
}

uintptr_t NextHandleValue() {
    static std::atomic<uintptr_t> next{0};
    uintptr_t value = ++next;
    if (value == 0) value = ++next; // 0 is the null handle
    return value;
}

int32_t BadHandle(const char* kind) noexcept {
    return Fail(UEYE_E_HANDLE, kind, " handle is null, unknown or already freed");
}

bool BufferFits(size_t rowBytes, uint64_t rows, size_t stride, size_t size) {
    if (stride < rowBytes) {
        Fail(UEYE_E_ARGUMENT, "the stride is smaller than a row of pixels");
        return false;
    }
    // stride * (rows - 1) + rowBytes, refused when it would not fit size_t.
    const uint64_t before = rows - 1;
    if (stride != 0 && before > (SIZE_MAX - rowBytes) / stride) {
        Fail(UEYE_E_ARGUMENT, "the buffer's extent exceeds the address space");
        return false;
    }
    if (size < stride * before + rowBytes) {
        Fail(UEYE_E_ARGUMENT, "the buffer is too small for the pixels");
        return false;
    }
    return true;
}

} // namespace capi

using capi::Fail;

extern "C" {

const char* ueye_last_error(void) {
    return t_lastError;
}

int32_t ueye_api_version(void) {
    return UEYE_C_API_VERSION;
}

const char* ueye_plugin_version(void) {
    return GrabberApiVersion();
}

const char* ueye_simd_level(void) {
    try {
        const char* level = CxImage::GetSimdLevel();
        return level ? level : "none";
    } catch (...) {
        return "none";
    }
}

int32_t ueye_set_thread_count(int32_t threads) {
    if (threads < 1 || threads > kMostThreads) {
        return Fail(UEYE_E_ARGUMENT, "the thread count must be from 1 to 256");
    }
    return capi::Guard([&] {
        CxImage::SetThreadCount(threads);
        return UEYE_OK;
    });
}

int32_t ueye_get_thread_count(void) {
    return CxImage::GetThreadCount();
}
}
