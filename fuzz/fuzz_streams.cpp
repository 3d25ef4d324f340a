// Random sequences of stream operations on the memory stream (its own buffer
// or a caller's, with detach) and on the file stream over real temporary
// files (opened by the stream or handed in by the caller).

#include "fuzz/FuzzInput.h"
#include "stream/CxIOFile.h"
#include "stream/CxMemFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Reads the memory stream's state to know which blocks the caller owns.
struct MemFile : CxMemFile {
    using CxMemFile::buffer;
    using CxMemFile::CxMemFile;
    using CxMemFile::detached;
    using CxMemFile::freeOnClose;
};

// Blocks that belong to the caller: a caller's initial buffer and detached
// blocks, until the stream takes one over (hands it back or grows it).
struct CallerBlocks {
    std::set<uint8_t*> blocks;

    void After(const MemFile& file, uint8_t* before, bool wasDetached) {
        // Growing a buffer that was not detached reallocates it: the old
        // block is gone.
        if (file.buffer != before && !wasDetached) blocks.erase(before);
        if (file.freeOnClose) blocks.erase(file.buffer);
        if (file.detached && file.buffer != nullptr) blocks.insert(file.buffer);
    }
    ~CallerBlocks() {
        for (uint8_t* block : blocks) std::free(block);
    }
};

const std::string& TempPath() {
    static const std::string path = "/tmp/fuzz_streams_" + std::to_string(getpid());
    static const int removeAtExit = std::atexit([] { std::remove(TempPath().c_str()); });
    (void)removeAtExit;
    return path;
}

void RunOperation(CxFile& file, FuzzInput& in, std::vector<uint8_t>& scratch) {
    switch (in.Below(7)) {
    case 0:
        file.Write(scratch.data(), in.Below(17), in.Below(17));
        break;
    case 1:
        file.Read(scratch.data(), in.Below(17), in.Below(16));
        break;
    case 2:
        file.Seek(in.Take<int16_t>(), in.Take<int8_t>()); // small: far seeks allocate gigabytes
        break;
    case 3:
        file.PutC(in.Take<uint8_t>());
        break;
    case 4:
        file.GetC();
        break;
    case 5:
        file.Tell();
        file.Size();
        file.Eof();
        file.Error();
        file.Flush();
        break;
    default:
        file.Write(nullptr, in.Below(3), in.Below(3));
        break;
    }
}

void FuzzMemory(FuzzInput& in, std::vector<uint8_t>& scratch) {
    CallerBlocks caller;
    std::unique_ptr<MemFile> file;
    if (in.Below(2)) {
        file.reset(new MemFile);
        file->Open();
    } else {
        const uint32_t size = in.Below(64);
        uint8_t* block = static_cast<uint8_t*>(std::malloc(size + 1));
        caller.blocks.insert(block);
        file.reset(new MemFile(block, size));
    }
    for (int i = 0; i < 64 && !in.Empty(); ++i) {
        uint8_t* before = file->buffer;
        const bool wasDetached = file->detached;
        const unsigned kind = in.Below(10);
        if (kind == 0) {
            file->GetBuffer(in.Below(2));
        } else if (kind == 1) {
            file->Close();
        } else {
            RunOperation(*file, in, scratch);
        }
        caller.After(*file, before, wasDetached);
    }
    file.reset();
}

void FuzzFile(FuzzInput& in, std::vector<uint8_t>& scratch) {
    static const char* const kModes[] = {"rb", "wb", "ab", "r+b", "w+b", "a+b", "", "q"};
    std::FILE* own = nullptr;
    CxIOFile file(in.Below(2) ? (own = std::fopen(TempPath().c_str(), "w+b")) : nullptr);
    if (own == nullptr) file.Open(TempPath().c_str(), kModes[in.Below(8)]);
    for (int i = 0; i < 64 && !in.Empty(); ++i) {
        if (in.Below(16) == 0) {
            file.Close();
        } else {
            RunOperation(file, in, scratch);
        }
    }
    file.Close();
    if (own != nullptr) std::fclose(own); // the caller's file stays open until here
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::vector<uint8_t> scratch(256);
    if (in.Below(2)) {
        FuzzMemory(in, scratch);
    } else {
        FuzzFile(in, scratch);
    }
    return 0;
}
