// Random sequences of stream operations on a memory stream.

#include "fuzz/FuzzInput.h"
#include "stream/CxMemFile.h"

#include <cstdlib>
#include <set>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    // Blocks detached from the stream belong to the caller until handed back.
    std::set<uint8_t*> detached;
    CxMemFile file;
    file.Open();
    std::vector<uint8_t> scratch(256);
    for (int i = 0; i < 64 && !in.Empty(); ++i) {
        switch (in.Below(8)) {
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
        case 6:
            if (in.Below(2))
                detached.insert(file.GetBuffer(true));
            else
                detached.erase(file.GetBuffer(false));
            break;
        default:
            file.Write(nullptr, in.Below(3), in.Below(3));
            break;
        }
    }
    file.Close();
    for (uint8_t* block : detached) std::free(block);
    return 0;
}
