// An image's life: creation within the memory limit, copying, destruction, the
// work images and reused destination blocks of the operations, and moving the
// contents between images.

#include "image/CxImage.h"
#include "platform/LargePages.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const char kErrorZeroSize[] = "CxImage::Create : width and height must be greater than zero";
const char kErrorMaxMemory[] = "CXIMAGE_MAX_MEMORY exceeded";
const char kErrorNoMemory[] = "CxImage::Create can't allocate memory";

// Width × height × bpp / 256 may not exceed this many bytes.
const uint64_t kMaxMemory = 256000000;

void StoreError(char (&text)[256], const char* message) {
    std::strncpy(text, message, sizeof(text) - 1);
    text[sizeof(text) - 1] = '\0';
}

unsigned long CoerceBpp(unsigned long bpp) {
    if (bpp <= 1) return 1;
    if (bpp <= 4) return 4;
    if (bpp <= 8) return 8;
    return 24;
}

// width × height × bpp / 256 > limit, formed without overflow: width and
// height are at most 2^31 - 1 here, so their product fits in 64 bits, and a
// product beyond the threshold already exceeds the limit at any depth.
bool ExceedsMemoryLimit(uint64_t width, uint64_t height, uint64_t bpp) {
    const uint64_t threshold = (kMaxMemory + 1) * 256; // smallest exceeding w×h×bpp
    const uint64_t pixels = width * height;
    if (pixels >= threshold) return true;
    return pixels * bpp >= threshold;
}

} // namespace

CxImage::CxImage(unsigned long type) {
    Startup(type);
}

CxImage::CxImage(unsigned long width, unsigned long height, unsigned long bpp, unsigned long type) {
    Startup(type);
    Create(width, height, bpp, type);
}

CxImage::CxImage(const CxImage& source, bool copypixels, bool copyselection, bool copyalpha) {
    Startup(source.info.imageType);
    Copy(source, copypixels, copyselection, copyalpha);
}

CxImage& CxImage::operator=(const CxImage& source) {
    if (this != &source) Copy(source, true, true, true);
    return *this;
}

CxImage::~CxImage() {
    Destroy();
}

void CxImage::Startup(unsigned long type) {
    pixelBuffer = nullptr;
    selection = nullptr;
    alpha = nullptr;
    std::memset(&head, 0, sizeof(head));
    std::memset(&info, 0, sizeof(info));
    info.imageType = static_cast<uint32_t>(type);
    info.jpegQuality = 90;
    info.alphaMax = 255;
    info.transIndex = -1;
    info.enabled = true;
    SetXDPI(96);
    SetYDPI(96);
}

void* CxImage::Create(unsigned long width, unsigned long height, unsigned long bpp,
                      unsigned long type) {
    return CreateBlock(width, height, bpp, type, true);
}

void* CxImage::CreateBlock(unsigned long width, unsigned long height, unsigned long bpp,
                           unsigned long type, bool clearRows) {
    if (!Destroy()) return nullptr;

    if (width == 0 || height == 0) {
        StoreError(info.lastError, kErrorZeroSize);
        return nullptr;
    }

    bpp = CoerceBpp(bpp);

    // Sizes that do not fit the signed 32-bit header fields are out of bounds
    // just like an image beyond the memory limit.
    if (width > INT32_MAX || height > INT32_MAX || ExceedsMemoryLimit(width, height, bpp)) {
        StoreError(info.lastError, kErrorMaxMemory);
        return nullptr;
    }

    const uint32_t colours = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
    const uint64_t effWidth = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4;
    const uint64_t rowBytes = effWidth * height;
    const uint64_t blockBytes = sizeof(BITMAPINFOHEADER) + 4ull * colours + rowBytes;
    // The block size and the row bytes travel in unsigned 32-bit header fields.
    if (effWidth > UINT32_MAX || blockBytes > UINT32_MAX) {
        StoreError(info.lastError, kErrorNoMemory);
        return nullptr;
    }

    info.effWidth = static_cast<uint32_t>(effWidth);
    info.imageType = static_cast<uint32_t>(type);
    SetCreatedHeader(head, static_cast<int32_t>(width), static_cast<int32_t>(height),
                     static_cast<uint16_t>(bpp), colours, static_cast<uint32_t>(rowBytes));

    // Zero-filled: an all-zero palette, and rows (padding included) that hold
    // the same bytes on every run until they are written.
    const size_t headBytes = sizeof(BITMAPINFOHEADER) + 4u * colours;
    pixelBuffer = clearRows ? std::calloc(static_cast<size_t>(GetSize()), 1)
                            : std::malloc(static_cast<size_t>(GetSize()));
    AdviseLargePages(pixelBuffer, static_cast<size_t>(GetSize()));
    if (pixelBuffer == nullptr) {
        StoreError(info.lastError, kErrorNoMemory);
        return nullptr;
    }
    if (!clearRows) std::memset(pixelBuffer, 0, headBytes);

    uint8_t* block = static_cast<uint8_t*>(pixelBuffer);
    info.nearestValid = false;
    std::memcpy(block, &head, sizeof(BITMAPINFOHEADER));
    info.firstRow = block + sizeof(BITMAPINFOHEADER) + 4u * colours;
    return pixelBuffer;
}

bool CxImage::Destroy() {
    if (info.ghostOwner != nullptr) return false;
    std::free(selection);
    selection = nullptr;
    std::free(alpha);
    alpha = nullptr;
    std::free(pixelBuffer);
    pixelBuffer = nullptr;
    return true;
}

// Copies planes of width × height bytes. A ghost never replaces a plane it
// borrows (that would free its owner's memory) nor takes one it could never
// release: it only overwrites planes it already shares.
static void CopyPlane(uint8_t*& plane, const uint8_t* source, size_t bytes, bool ghost) {
    if (ghost) {
        if (plane != nullptr) std::memcpy(plane, source, bytes);
        return;
    }
    std::free(plane);
    plane = static_cast<uint8_t*>(std::malloc(bytes));
    if (plane != nullptr) std::memcpy(plane, source, bytes);
}

void CxImage::Copy(const CxImage& source, bool copypixels, bool copyselection, bool copyalpha) {
    if (this == &source) return;
    const bool ghost = info.ghostOwner != nullptr;

    if (source.head.biWidth != head.biWidth || source.head.biHeight != head.biHeight ||
        source.head.biBitCount != head.biBitCount || source.info.imageType != info.imageType) {
        // A ghost cannot be re-created without releasing its owner's buffers.
        if (ghost) return;
        // The ghost owner describes who owns this image's buffers, so it is
        // not an attribute to take from the source.
        info = source.info;
        info.ghostOwner = nullptr;
        Create(source.GetWidth(), source.GetHeight(), source.GetBpp(), source.info.imageType);
    }

    if (copypixels && pixelBuffer != nullptr && source.pixelBuffer != nullptr) {
        std::memcpy(pixelBuffer, source.pixelBuffer, static_cast<size_t>(GetSize()));
        info.nearestValid = false;
    } else {
        SetPalette(source.GetPalette(), 256);
    }

    const size_t planeBytes = static_cast<size_t>(GetWidth()) * GetHeight();
    if (copyselection && source.selection != nullptr) {
        CopyPlane(selection, source.selection, planeBytes, ghost);
    }
    if (copyalpha && source.alpha != nullptr) {
        CopyPlane(alpha, source.alpha, planeBytes, ghost);
    }
}

void CxImage::CopyInfo(const CxImage& source) {
    if (pixelBuffer != nullptr) return;
    // The ghost owner says who owns this image's buffers: a work image that
    // took a ghost's owner would refuse to be created.
    CxImage* const ghostOwner = info.ghostOwner;
    info = source.info;
    info.ghostOwner = ghostOwner;
}

bool CxImage::CreateWorkBlock(CxImage& work, unsigned long width, unsigned long height,
                              unsigned long bpp, CxImage* destination) {
    // The rows of a block that goes to the destination in exchange for its
    // own are never read: they are left uncleared, which saves writing
    // them (and, for a block the heap reuses, the clearing calloc does).
    if (work.CreateBlock(width, height, bpp, GetType(), destination == nullptr) == nullptr)
        return false;
    if (destination != nullptr && !TakesBlockOf(work, destination)) {
        const size_t rows =
            static_cast<size_t>(work.info.firstRow - static_cast<uint8_t*>(work.pixelBuffer));
        std::memset(work.info.firstRow, 0, static_cast<size_t>(work.GetSize()) - rows);
    }
    return true;
}

bool CxImage::CreateWorkImage(CxImage& work, unsigned long width, unsigned long height,
                              CxImage* destination) {
    work.CopyInfo(*this);
    if (!CreateWorkBlock(work, width, height, GetBpp(), destination)) return false;
    work.SetPalette(GetPalette(), 256);
    if (alpha != nullptr) {
        work.AlphaCreate();
        if (!work.AlphaIsValid()) return false;
    }
    return true;
}

bool CxImage::TakesBlockOf(CxImage& work, CxImage* destination) {
    // A ghost's block, or one this image reads, stays where it is.
    return destination != nullptr && destination != this &&
           destination->info.ghostOwner == nullptr && destination->pixelBuffer != nullptr &&
           destination->pixelBuffer != pixelBuffer && destination->GetSize() == work.GetSize();
}

void CxImage::ReuseDestinationBlock(CxImage& work, CxImage* destination, bool pixelsWritten) {
    // The pages of a block in use are mapped already; those of a fresh one
    // fault one by one as the operation writes them.
    if (!TakesBlockOf(work, destination)) return;
    uint8_t* block = static_cast<uint8_t*>(destination->pixelBuffer);
    uint8_t* fresh = static_cast<uint8_t*>(work.pixelBuffer);
    const size_t size = static_cast<size_t>(work.GetSize());
    const size_t rows = static_cast<size_t>(work.info.firstRow - fresh);
    // Header and palette as made; rows zero as calloc left them.
    std::memcpy(block, fresh, rows);
    if (!pixelsWritten) {
        std::memset(block + rows, 0, size - rows);
    } else {
        const size_t stride = work.info.effWidth;
        const size_t pixelBytes = static_cast<size_t>(work.GetWidth()) * work.GetBpp() / 8;
        if (pixelBytes < stride)
            for (size_t y = 0; y < work.GetHeight(); ++y)
                std::memset(block + rows + y * stride + pixelBytes, 0, stride - pixelBytes);
    }
    destination->info.firstRow = fresh + (destination->info.firstRow - block);
    destination->pixelBuffer = fresh;
    work.pixelBuffer = block;
    work.info.firstRow = block + rows;
}

bool CxImage::PlaneToGreyImage(const uint8_t* plane, CxImage& destination) {
    CxImage work(GetWidth(), GetHeight(), 8, 0);
    if (!work.IsValid()) return false;
    const size_t width = GetWidth(), height = GetHeight();
    for (size_t y = 0; y < height; ++y) std::memcpy(work.GetBits(y), plane + y * width, width);
    work.SetGrayPalette();
    destination.Transfer(work);
    return true;
}

// The fields Create writes into a header; the others keep what they hold.
void CxImage::SetCreatedHeader(BITMAPINFOHEADER& header, int32_t width, int32_t height,
                               uint16_t bpp, uint32_t colours, uint32_t rowBytes) {
    header.biClrUsed = colours;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = bpp;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biPlanes = 1;
    header.biCompression = BI_RGB;
    header.biSizeImage = rowBytes;
    header.biClrImportant = 0;
}

void CxImage::RecreateInPlace() {
    // A new image's header (its resolution fields as Startup sets them) with
    // this image's shape, also in the copy that heads the pixel buffer.
    const CxImage fresh;
    BITMAPINFOHEADER created = fresh.head;
    SetCreatedHeader(created, head.biWidth, head.biHeight, head.biBitCount, head.biClrUsed,
                     head.biSizeImage);
    head = created;
    std::memcpy(pixelBuffer, &head, sizeof(BITMAPINFOHEADER));
    info.nearestValid = false;
    std::free(selection);
    selection = nullptr;
}

bool CxImage::Transfer(CxImage& from) {
    if (this == &from) return true;
    if (!Destroy()) return false;

    head = from.head;
    info = from.info;
    pixelBuffer = from.pixelBuffer;
    selection = from.selection;
    alpha = from.alpha;

    std::memset(&from.head, 0, sizeof(from.head));
    std::memset(&from.info, 0, sizeof(from.info));
    from.pixelBuffer = nullptr;
    from.selection = nullptr;
    from.alpha = nullptr;
    return true;
}

void CxImage::Ghost(CxImage* from) {
    if (from == nullptr || from == this) return;
    // Buffers this image owned would otherwise be lost.
    Destroy();
    head = from->head;
    info = from->info;
    pixelBuffer = from->pixelBuffer;
    selection = from->selection;
    alpha = from->alpha;
    info.ghostOwner = from;
}

uint8_t* CxImage::GetBits(unsigned long row) {
    if (pixelBuffer == nullptr) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(pixelBuffer);
    uint32_t storedHeaderSize;
    std::memcpy(&storedHeaderSize, block, sizeof(storedHeaderSize));
    uint8_t* rowZero = block + storedHeaderSize + 4u * head.biClrUsed;
    if (row == 0) return rowZero;
    if (row >= GetHeight()) return nullptr;
    return rowZero + row * static_cast<size_t>(info.effWidth);
}

long CxImage::GetSize() {
    return static_cast<long>(static_cast<int64_t>(head.biSize) + head.biSizeImage +
                             4ll * head.biClrUsed);
}

bool CxImage::IsInside(long x, long y) {
    return 0 <= y && y < static_cast<long>(head.biHeight) && 0 <= x &&
           x < static_cast<long>(head.biWidth);
}

void CxImage::Clear(unsigned char value) {
    if (pixelBuffer == nullptr || info.firstRow == nullptr) return;
    if (head.biBitCount == 1 && value != 0) value = 255;
    if (head.biBitCount == 4) value = static_cast<unsigned char>((value & 15) * 17);
    std::memset(info.firstRow, value, head.biSizeImage);
}

void CxImage::FreeMemory(void* memblock) {
    std::free(memblock);
}

int CxImage::CompareColors(const void* first, const void* second) {
    const RGBQUAD* a = static_cast<const RGBQUAD*>(first);
    const RGBQUAD* b = static_cast<const RGBQUAD*>(second);
    const int lumA = (601 * a->rgbGreen + 306 * a->rgbRed + 117 * a->rgbBlue) >> 10;
    const int lumB = (601 * b->rgbGreen + 306 * b->rgbRed + 117 * b->rgbBlue) >> 10;
    return lumA - lumB;
}
