#pragma once

#include "platform/Export.h"
#include "stream/CxFile.h"

#include <cstdio>

// Byte stream over a standard I/O stream. A stream handed to the constructor
// stays the caller's: it is never closed here. A stream opened by Open is
// owned and closed by Close and by the destructor.
class UEYE_EXPORT CxIOFile : public CxFile {
public:
    explicit CxIOFile(FILE* file = nullptr);
    // Not copyable: two streams would both release the one file they share.
    CxIOFile(const CxIOFile&) = delete;
    CxIOFile& operator=(const CxIOFile&) = delete;
    ~CxIOFile() override;

    bool Open(const char* filename, const char* mode);

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int32_t offset, int32_t origin) override;
    int32_t Tell() override;
    int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int32_t Error() override;
    bool PutC(unsigned char c) override;
    int32_t GetC() override;

protected:
    FILE* fp;
    bool closeFile; // the stream belongs to this object
};
