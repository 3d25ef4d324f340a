#pragma once

#include "image/SimdLevel.h"

#include <cstddef>
#include <cstdint>

// Quarter turn of a plane of one byte per pixel (8-bit pixels, an alpha
// plane): W x H source bytes, rows `stride` apart, into H x W target bytes,
// rows `targetStride` apart. A left turn makes target (x, y) the source byte
// (y, H - 1 - x), a right turn the source byte (W - 1 - y, x). At the vector
// levels, blocks of 16 x 16 bytes are transposed in registers; the bytes
// moved are the same.
struct TurnKernels {
    void (*turnBytePlane)(bool left, const uint8_t* source, size_t stride, long width, long height,
                          uint8_t* target, size_t targetStride);
    // The same for 24-bit pixels (3 bytes each, strides in bytes); at avx2,
    // blocks of 4 x 4 pixels are transposed in registers.
    void (*turnPixelPlane)(bool left, const uint8_t* source, size_t stride, long width, long height,
                           uint8_t* target, size_t targetStride);
};

UEYE_DECLARE_KERNEL_TABLES(TurnKernels, kTurnKernels);
const TurnKernels& TurnKernelsInUse();
