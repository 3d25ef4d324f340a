#pragma once

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// The camera parameter file as the cameras behind the SDK table keep it: a
// small text of "name=value" lines (other lines are ignored). Backslashes in
// its path are directory separators.
namespace parameter_file {

// Parameter files are small: a larger one is refused, not read whole.
const size_t kLargest = size_t(1) << 20;

typedef std::vector<std::pair<std::string, std::string>> Lines;

inline std::string NativePath(const char* path) {
    std::string native(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

// The file's "name=value" lines in order; false when it cannot be read or is
// too large.
inline bool Read(const char* path, Lines& lines) {
    std::ifstream file(NativePath(path), std::ios::binary);
    if (!file) return false;
    std::string contents(kLargest + 1, '\0');
    file.read(&contents[0], std::streamsize(contents.size()));
    if (file.bad() || size_t(file.gcount()) > kLargest) return false;
    contents.resize(size_t(file.gcount()));
    std::istringstream text(contents);
    std::string line;
    while (std::getline(text, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        lines.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    return true;
}

// Replaces the file with the text; false when it cannot be written whole.
inline bool Write(const char* path, const std::string& text) {
    std::ofstream file(NativePath(path), std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file << text;
    file.close();
    return bool(file);
}

} // namespace parameter_file
