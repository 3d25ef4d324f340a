#pragma once

#include "platform/Export.h"
#include "stream/CxFile.h"

#include <cstdint>

// Byte stream over a growable memory buffer. The buffer always comes from
// malloc/realloc and goes back with free, so a buffer handed in by the caller
// must come from that allocator too: the stream may grow it (and then owns it).
//
// Positions, sizes and capacities are signed 32-bit; an operation that would
// carry one of them past INT32_MAX fails instead.
class UEYE_EXPORT CxMemFile : public CxFile {
public:
    explicit CxMemFile(uint8_t* buffer = nullptr, uint32_t size = 0);
    // Not copyable: two streams would both release the one buffer they share.
    CxMemFile(const CxMemFile&) = delete;
    CxMemFile& operator=(const CxMemFile&) = delete;
    ~CxMemFile() override;

    // Starts an empty owned stream; false when one is already open.
    bool Open();
    // Hands out the buffer; with detach the caller takes it over (and frees it).
    uint8_t* GetBuffer(bool detach = true);

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
    // Grows the buffer so that it holds at least `required` bytes. On failure
    // the buffer and capacity stay as they were; callers check the capacity.
    void Alloc(uint32_t required);
    void Free();

    uint8_t* buffer;
    int32_t size;     // valid bytes: the logical end of the stream
    bool freeOnClose; // the buffer belongs to this object
    bool detached;    // the buffer was handed to the caller, who frees it
    int32_t position; // may lie beyond size after a seek
    int32_t capacity; // bytes the buffer holds before it must grow
};
