#pragma once

// The folder that holds the running program, without a trailing separator;
// "." when it cannot be found.
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

inline std::string ProgramDirectory() {
    std::vector<char> path(4096);
#if defined(_WIN32)
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), DWORD(path.size()));
    const char* separators = "\\/";
#else
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    const char* separators = "/";
#endif
    if (length <= 0 || size_t(length) >= path.size()) return ".";
    const std::string self(path.data(), size_t(length));
    const size_t slash = self.find_last_of(separators);
    return slash == std::string::npos ? "." : self.substr(0, slash);
}
