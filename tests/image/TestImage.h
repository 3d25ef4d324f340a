#pragma once

#include "image/CxImage.h"
#include "image/RecordView.h"

#include <cstring>

// The protected members of the image, called as a host's subclass calls
// them. The tests read the record itself through RecordView.
class TestImage : public CxImage {
public:
    using CxImage::Bitfield2RGB;
    using CxImage::BlindAlphaGet;
    using CxImage::BlindGetPixelColor;
    using CxImage::BlindGetPixelIndex;
    using CxImage::BlindGetPixelPointer;
    using CxImage::CompareColors;
    using CxImage::CopyInfo;
    using CxImage::CxImage;
    using CxImage::Ghost;
    using CxImage::RGBtoBGR;
};

inline RGBQUAD Rgb(uint8_t red, uint8_t green, uint8_t blue, uint8_t fourth = 0) {
    return RGBQUAD{blue, green, red, fourth};
}

inline bool SameColour(const RGBQUAD& a, const RGBQUAD& b) {
    return std::memcmp(&a, &b, sizeof(RGBQUAD)) == 0;
}
