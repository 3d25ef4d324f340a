// Random sequences of stream operations on a memory stream.

#include "fuzz/FuzzInput.h"
#include "stream/CxMemFile.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
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
            file.Seek(in.Take<int32_t>(), in.Take<int8_t>());
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
            std::free(file.GetBuffer(true));
            break;
        default:
            file.Write(nullptr, in.Below(3), in.Below(3));
            break;
        }
    }
    return 0;
}
