// CxMemFile: the byte stream over a growable memory buffer.

#include "stream/CxMemFile.h"

#include <cstdlib>
#include <cstring>

namespace {

// Buffers grow in steps of this many bytes.
constexpr uint32_t kGrowStep = 4096;

} // namespace

CxMemFile::CxMemFile(uint8_t* buffer_, uint32_t size_)
    : buffer(buffer_), size(0), freeOnClose(buffer_ == nullptr), detached(false), position(0),
      capacity(0) {
    // A length beyond what a signed 32-bit size can hold is cut to the largest one.
    const int32_t length =
        size_ > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(size_);
    size = length;
    capacity = length;
}

CxMemFile::~CxMemFile() {
    Close();
}

bool CxMemFile::Open() {
    if (buffer != nullptr) return false;
    capacity = 0;
    size = 0;
    position = 0;
    buffer = static_cast<uint8_t*>(std::malloc(1));
    freeOnClose = true;
    return buffer != nullptr;
}

uint8_t* CxMemFile::GetBuffer(bool detach) {
    freeOnClose = !detach;
    detached = detach;
    return buffer;
}

bool CxMemFile::Close() {
    if (buffer != nullptr && freeOnClose) {
        std::free(buffer);
        buffer = nullptr;
        size = 0;
    }
    return true;
}

void CxMemFile::Free() {
    Close();
}

void CxMemFile::Alloc(uint32_t required) {
    if (required <= static_cast<uint32_t>(capacity)) return;
    // The next multiple of the step above `required`: a whole step more when
    // `required` is itself a multiple (4096 gives 8192).
    const uint64_t grown = (static_cast<uint64_t>(required) / kGrowStep) * kGrowStep + kGrowStep;
    if (grown > static_cast<uint64_t>(INT32_MAX)) return;
    const size_t bytes = static_cast<size_t>(grown);
    uint8_t* block;
    if (detached) {
        // The caller owns the detached block: growing moves the contents into
        // a new block of the stream's own and leaves the caller's untouched.
        block = static_cast<uint8_t*>(std::malloc(bytes));
        if (block == nullptr) return;
        std::memcpy(block, buffer, static_cast<size_t>(size));
        detached = false;
    } else {
        block = buffer == nullptr ? static_cast<uint8_t*>(std::malloc(bytes))
                                  : static_cast<uint8_t*>(std::realloc(buffer, bytes));
        if (block == nullptr) return; // realloc keeps the old block on failure
    }
    buffer = block;
    capacity = static_cast<int32_t>(grown);
    freeOnClose = true;
}

size_t CxMemFile::Read(void* destination, size_t itemSize, size_t count) {
    if (destination == nullptr || buffer == nullptr || position >= size) return 0;
    // size * count must stay within 32 bits; a larger request fails.
    if (itemSize == 0 || count == 0) return 0;
    if (count > UINT32_MAX / itemSize) return 0;
    int64_t n = static_cast<int64_t>(itemSize) * static_cast<int64_t>(count);
    const int64_t remaining = static_cast<int64_t>(size) - position;
    if (n > remaining) n = remaining;
    std::memcpy(destination, buffer + position, static_cast<size_t>(n));
    position += static_cast<int32_t>(n);
    // Whole items only: a trailing partial item is consumed but not counted.
    return static_cast<size_t>(n) / itemSize;
}

size_t CxMemFile::Write(const void* source, size_t itemSize, size_t count) {
    if (buffer == nullptr || source == nullptr) return 0;
    if (itemSize == 0 || count == 0) return 0;
    if (count > UINT32_MAX / itemSize) return 0;
    const int64_t n = static_cast<int64_t>(itemSize) * static_cast<int64_t>(count);
    const int64_t end = static_cast<int64_t>(position) + n;
    if (end > INT32_MAX) return 0;
    if (end > capacity) {
        Alloc(static_cast<uint32_t>(end));
        if (end > capacity) return 0; // growth failed: nothing is written
    }
    // A write after a seek past the end zero-fills the gap, so that the bytes
    // between the old size and the position never hand out stale heap content.
    if (position > size)
        std::memset(buffer + size, 0, static_cast<size_t>(position) - static_cast<size_t>(size));
    std::memcpy(buffer + position, source, static_cast<size_t>(n));
    position = static_cast<int32_t>(end);
    if (position > size) size = position;
    return count;
}

bool CxMemFile::Seek(int32_t offset, int32_t origin) {
    if (buffer == nullptr) return false;
    int64_t target;
    switch (origin) {
    case 0:
        target = offset;
        break;
    case 1:
        target = static_cast<int64_t>(position) + offset;
        break;
    case 2:
        target = static_cast<int64_t>(size) + offset;
        break;
    default:
        return false;
    }
    if (target < 0) target = 0;
    if (target > INT32_MAX) return false;
    position = static_cast<int32_t>(target);
    return true;
}

int32_t CxMemFile::Tell() {
    return buffer == nullptr ? -1 : position;
}

int32_t CxMemFile::Size() {
    return buffer == nullptr ? -1 : size;
}

bool CxMemFile::Flush() {
    return buffer != nullptr;
}

bool CxMemFile::Eof() {
    return buffer == nullptr || position >= size;
}

int32_t CxMemFile::Error() {
    if (buffer == nullptr) return -1;
    return position > size ? 1 : 0;
}

bool CxMemFile::PutC(unsigned char c) {
    // One byte written as by Write, never through an override of it.
    return CxMemFile::Write(&c, 1, 1) == 1;
}

int32_t CxMemFile::GetC() {
    if (Eof()) return -1;
    return static_cast<int32_t>(buffer[position++]);
}
