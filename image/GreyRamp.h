#pragma once

#include "image/CxImage.h"

// An 8-bit image without alpha plane whose palette is the identity grey ramp
// (entry i is red, green and blue i with a fourth byte of 0), as every camera
// frame is. Its pixel colours are (v, v, v, 0) for index v: the three channels
// of a sampler go through identical arithmetic, so one computed channel gives
// all three, and the nearest ramp entry of (v, v, v) is v itself.
inline bool IsGreyRampImage(CxImage& image) {
    const RGBQUAD* palette = image.GetPalette();
    if (image.GetBpp() != 8 || image.GetNumColors() != 256 || palette == nullptr ||
        image.AlphaIsValid())
        return false;
    for (unsigned i = 0; i < 256; ++i)
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i ||
            palette[i].rgbReserved != 0)
            return false;
    return true;
}

// The colour a grey-ramp pixel of value v stands for.
inline RGBQUAD GreyColour(uint8_t v) {
    return RGBQUAD{v, v, v, 0};
}
