#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

// A fresh, empty folder in the system's temporary folder, removed with its
// contents when the object ends.
class TempDirectory {
public:
    explicit TempDirectory(const std::string& tag) {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        do {
            workingPath = base / (tag + "-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(workingPath));
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(workingPath, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    std::string Path() const { return workingPath.string(); }

private:
    std::filesystem::path workingPath;
};
