// Runs a fuzz target's entry point once over every file in the directories
// (or files) named on the command line, as libFuzzer does when it replays a
// corpus, so the suite checks the corpus and past findings without libFuzzer.
// A finding that is not fixed crashes, aborts or trips a sanitizer here.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

// The regular files under `path`, sorted, or `path` itself when it is one.
void Collect(const std::string& path, std::vector<std::string>& files) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return; // no findings yet: no directory
    if (!S_ISDIR(info.st_mode)) {
        files.push_back(path);
        return;
    }
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) Collect(path + "/" + name, files);
}

} // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) Collect(argv[i], files);
    for (const std::string& file : files) {
        std::ifstream stream(file, std::ios::binary);
        // The bytes in a block of their own size, so a read past them is caught.
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(stream)),
                                        std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return files.empty() ? 1 : 0;
}
