// Unchecked pixel accessors, inline so that the inner loops of the
// transformations pay no call. Callers guarantee a pixel buffer and
// 0 <= x < width, 0 <= y < height.

inline unsigned char CxImage::BlindGetPixelIndex(long x, long y) {
    const uint8_t* row = info.firstRow + static_cast<size_t>(y) * info.effWidth;
    switch (head.biBitCount) {
    case 8:
        return row[x];
    case 4:
        return static_cast<unsigned char>((row[x >> 1] >> (4 * (1 - (x & 1)))) & 0x0F);
    case 1:
        return static_cast<unsigned char>((row[x >> 3] >> (7 - (x & 7))) & 0x01);
    default:
        return 0;
    }
}

inline void CxImage::BlindSetPixelIndex(long x, long y, unsigned char index) {
    uint8_t* row = info.firstRow + static_cast<size_t>(y) * info.effWidth;
    switch (head.biBitCount) {
    case 8:
        row[x] = index;
        break;
    case 4: {
        const int shift = 4 * (1 - static_cast<int>(x & 1));
        uint8_t& byte = row[x >> 1];
        byte = static_cast<uint8_t>((byte & ~(0x0F << shift)) | ((index & 0x0F) << shift));
        break;
    }
    case 1: {
        const int shift = 7 - static_cast<int>(x & 7);
        uint8_t& byte = row[x >> 3];
        byte = static_cast<uint8_t>((byte & ~(1 << shift)) | ((index & 1) << shift));
        break;
    }
    default:
        break;
    }
}

inline unsigned char CxImage::BlindAlphaGet(long x, long y) {
    return alpha[static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth()];
}

inline RGBQUAD CxImage::BlindGetPixelColor(long x, long y) {
    if (head.biClrUsed != 0) {
        return reinterpret_cast<const RGBQUAD*>(static_cast<const uint8_t*>(pixelBuffer) +
                                                sizeof(BITMAPINFOHEADER))[BlindGetPixelIndex(x, y)];
    }
    const uint8_t* pixel = info.firstRow + static_cast<size_t>(y) * info.effWidth + 3 * x;
    RGBQUAD colour{pixel[0], pixel[1], pixel[2], 0};
    if (alpha != nullptr) colour.rgbReserved = BlindAlphaGet(x, y);
    return colour;
}

inline void CxImage::BlindSetPixelColor(long x, long y, RGBQUAD colour, bool setalpha) {
    if (head.biClrUsed != 0) {
        BlindSetPixelIndex(x, y, GetNearestIndex(colour));
        return;
    }
    uint8_t* pixel = info.firstRow + static_cast<size_t>(y) * info.effWidth + 3 * x;
    pixel[0] = colour.rgbBlue;
    pixel[1] = colour.rgbGreen;
    pixel[2] = colour.rgbRed;
    if (setalpha && alpha != nullptr)
        alpha[static_cast<size_t>(x) + static_cast<size_t>(y) * GetWidth()] = colour.rgbReserved;
}

inline void* CxImage::BlindGetPixelPointer(long x, long y) {
    if (head.biClrUsed != 0) return nullptr;
    return info.firstRow + static_cast<size_t>(y) * info.effWidth + 3 * x;
}
