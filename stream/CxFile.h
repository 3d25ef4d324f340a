#pragma once

#include "platform/Export.h"

#include <cstddef>
#include <cstdint>

// Abstract byte stream. The operations follow the standard I/O functions in
// their arguments and results: item counts, true/false, or -1 on failure.
class UEYE_EXPORT CxFile {
public:
    CxFile() = default;
    CxFile(const CxFile&) = default;
    CxFile& operator=(const CxFile&) = default;
    virtual ~CxFile() = default;

    virtual bool Close() = 0;
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    virtual bool Seek(int32_t offset, int32_t origin) = 0;
    virtual int32_t Tell() = 0;
    virtual int32_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual int32_t Error() = 0;

    // Writes one byte through Write; true when it was written.
    virtual bool PutC(unsigned char c) { return Write(&c, 1, 1) == 1; }

    // Next byte as 0..255, or -1 at the end or on failure.
    virtual int32_t GetC() = 0;
};
