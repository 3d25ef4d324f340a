#pragma once

// The runtime library's working-directory query: fills the buffer with the
// current directory and returns it, or returns null when it does not fit or
// cannot be read.
#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>

inline char* _getcwd(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return nullptr;
    return getcwd(buffer, static_cast<size_t>(size));
}
#endif
