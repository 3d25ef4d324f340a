// The image's attributes: size, depth, type, transparency, resolution, the
// attribute block (flags, frames, codec options, progress and escape), the
// last error text and the version.

#include "image/CxImage.h"

#include <cmath>
#include <cstdint>
#include <cstring>

unsigned long CxImage::GetWidth() const {
    return static_cast<uint32_t>(head.biWidth);
}
unsigned long CxImage::GetHeight() const {
    return static_cast<uint32_t>(head.biHeight);
}
unsigned short CxImage::GetBpp() const {
    return head.biBitCount;
}
unsigned long CxImage::GetNumColors() const {
    return head.biClrUsed;
}
unsigned long CxImage::GetEffWidth() const {
    return info.effWidth;
}
unsigned long CxImage::GetType() const {
    return info.imageType;
}
void* CxImage::GetDIB() const {
    return pixelBuffer;
}
bool CxImage::IsValid() const {
    return pixelBuffer != nullptr;
}
bool CxImage::IsIndexed() const {
    return head.biClrUsed != 0;
}
bool CxImage::IsTransparent() const {
    return info.transIndex >= 0;
}

unsigned char CxImage::GetColorType() {
    if (AlphaIsValid()) return 4;
    return head.biBitCount > 8 ? 2 : 1;
}

long CxImage::GetTransIndex() const {
    return info.transIndex;
}
void CxImage::SetTransIndex(long index) {
    info.transIndex = static_cast<int32_t>(index);
}

RGBQUAD CxImage::GetTransColor() {
    if (head.biBitCount < 24 && info.transIndex != -1) {
        return GetPaletteColor(static_cast<unsigned char>(info.transIndex & 0xFF));
    }
    return info.transColor;
}

void CxImage::SetTransColor(RGBQUAD colour) {
    colour.rgbReserved = 0;
    info.transColor = colour;
}

// Pixels per metre for a resolution in dots per inch, rounded half up; held
// at the largest 32-bit value for resolutions beyond 54 million dpi.
static int32_t PixelsPerMetre(int32_t dpi) {
    const double perMetre = std::floor(static_cast<double>(dpi) * 10000.0 / 254.0 + 0.5);
    return perMetre > INT32_MAX ? INT32_MAX : static_cast<int32_t>(perMetre);
}

// Resolutions that cannot be stored in the 32-bit fields or that are not
// positive fall back to the default of 96 dpi.
static int32_t SanitizeDpi(long dpi) {
    return (dpi <= 0 || dpi > INT32_MAX) ? 96 : static_cast<int32_t>(dpi);
}

long CxImage::GetXDPI() const {
    return info.xDpi;
}
long CxImage::GetYDPI() const {
    return info.yDpi;
}

void CxImage::SetXDPI(long dpi) {
    info.xDpi = SanitizeDpi(dpi);
    head.biXPelsPerMeter = PixelsPerMetre(info.xDpi);
}

void CxImage::SetYDPI(long dpi) {
    info.yDpi = SanitizeDpi(dpi);
    head.biYPelsPerMeter = PixelsPerMetre(info.yDpi);
}

unsigned long CxImage::GetFlags() const {
    return info.flags;
}

void CxImage::SetFlags(unsigned long flags, bool lowHalfOnly) {
    info.flags = lowHalfOnly ? static_cast<uint32_t>(flags & 0xFFFF) : static_cast<uint32_t>(flags);
}

unsigned long CxImage::GetFrameDelay() const {
    return info.frameDelay;
}
void CxImage::SetFrameDelay(unsigned long delay) {
    info.frameDelay = static_cast<uint32_t>(delay);
}

void CxImage::GetOffset(long* x, long* y) {
    if (x != nullptr) *x = info.xOffset;
    if (y != nullptr) *y = info.yOffset;
}

void CxImage::SetOffset(long x, long y) {
    info.xOffset = static_cast<int32_t>(x);
    info.yOffset = static_cast<int32_t>(y);
}

unsigned char CxImage::GetJpegQuality() const {
    return info.jpegQuality;
}
void CxImage::SetJpegQuality(unsigned char quality) {
    info.jpegQuality = quality;
}
unsigned char CxImage::GetJpegScale() const {
    return info.jpegScale;
}
void CxImage::SetJpegScale(unsigned char scale) {
    info.jpegScale = scale;
}
long CxImage::GetProgress() const {
    return info.progress;
}
void CxImage::SetProgress(long progress) {
    info.progress = static_cast<int32_t>(progress);
}
long CxImage::GetEscape() const {
    return info.escape;
}
void CxImage::SetEscape(long escape) {
    info.escape = static_cast<int32_t>(escape);
}
bool CxImage::IsEnabled() const {
    return info.enabled;
}
void CxImage::Enable(bool enable) {
    info.enabled = enable;
}
long CxImage::GetNumFrames() const {
    return info.numFrames;
}
long CxImage::GetFrame() const {
    return info.frame;
}
void CxImage::SetFrame(long frame) {
    info.frame = static_cast<int32_t>(frame);
}
unsigned long CxImage::GetClrImportant() const {
    return head.biClrImportant;
}

void CxImage::SetClrImportant(unsigned long count) {
    uint32_t important = head.biClrImportant;
    if (count == 0 || count > 256) {
        important = 0;
    } else if (head.biBitCount == 1) {
        important = static_cast<uint32_t>(count < 2 ? count : 2);
    } else if (head.biBitCount == 4) {
        important = static_cast<uint32_t>(count < 16 ? count : 16);
    } else if (head.biBitCount == 8) {
        important = static_cast<uint32_t>(count);
    }
    // The count bounds the entries the nearest-colour search visits.
    if (important != head.biClrImportant) info.nearestValid = false;
    head.biClrImportant = important;
}

unsigned long CxImage::GetCodecOption(unsigned long index) {
    if (index >= 16) return 0;
    if (index == 0) index = info.imageType;
    if (index >= 16) return 0;
    return info.codecOptions[index];
}

bool CxImage::SetCodecOption(unsigned long value, unsigned long index) {
    if (index >= 16) return false;
    if (index == 0) index = info.imageType;
    if (index >= 16) return false;
    info.codecOptions[index] = static_cast<uint32_t>(value);
    return true;
}

const char* CxImage::GetLastError() {
    return info.lastError;
}

const char* CxImage::GetVersion() {
    return "CxImage 5.99c";
}

float CxImage::GetVersionNumber() {
    // 5.99003 as the exact single-precision pattern the library has always
    // reported, not the float nearest to 5.99.
    const uint32_t bits = 0x40BFAE53u;
    float version;
    std::memcpy(&version, &bits, sizeof(version));
    return version;
}
