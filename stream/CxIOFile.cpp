// CxIOFile: the byte stream over a standard I/O stream.

#include "stream/CxIOFile.h"

#include <climits>

CxIOFile::CxIOFile(FILE* file) : fp(file), closeFile(file == nullptr) {}

CxIOFile::~CxIOFile() {
    Close();
}

bool CxIOFile::Open(const char* filename, const char* mode) {
    if (fp != nullptr) return false;
    if (filename == nullptr || mode == nullptr) return false;
    fp = std::fopen(filename, mode);
    if (fp == nullptr) return false;
    closeFile = true;
    return true;
}

bool CxIOFile::Close() {
    if (fp == nullptr || !closeFile) return true;
    const int result = std::fclose(fp);
    fp = nullptr;
    return result == 0;
}

size_t CxIOFile::Read(void* buffer, size_t size, size_t count) {
    if (fp == nullptr || buffer == nullptr) return 0;
    return std::fread(buffer, size, count, fp);
}

size_t CxIOFile::Write(const void* buffer, size_t size, size_t count) {
    if (fp == nullptr || buffer == nullptr) return 0;
    return std::fwrite(buffer, size, count, fp);
}

bool CxIOFile::Seek(int32_t offset, int32_t origin) {
    if (fp == nullptr) return false;
    return std::fseek(fp, static_cast<long>(offset), origin) == 0;
}

int32_t CxIOFile::Tell() {
    if (fp == nullptr) return 0;
    const long position = std::ftell(fp);
    // A position that a signed 32-bit result cannot hold is reported as a failure.
    if (position < 0 || position > INT32_MAX) return -1;
    return static_cast<int32_t>(position);
}

int32_t CxIOFile::Size() {
    if (fp == nullptr) return -1;
    const long position = std::ftell(fp);
    if (position < 0) return -1;
    if (std::fseek(fp, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(fp);
    std::fseek(fp, position, SEEK_SET);
    if (size < 0 || size > INT32_MAX) return -1;
    return static_cast<int32_t>(size);
}

bool CxIOFile::Flush() {
    if (fp == nullptr) return false;
    return std::fflush(fp) == 0;
}

bool CxIOFile::Eof() {
    if (fp == nullptr) return true;
    return std::feof(fp) != 0;
}

int32_t CxIOFile::Error() {
    if (fp == nullptr) return -1;
    return static_cast<int32_t>(std::ferror(fp));
}

bool CxIOFile::PutC(unsigned char c) {
    if (fp == nullptr) return false;
    return std::fputc(c, fp) == static_cast<int>(c);
}

int32_t CxIOFile::GetC() {
    if (fp == nullptr) return -1;
    const int c = std::getc(fp);
    return c == EOF ? -1 : static_cast<int32_t>(c);
}
