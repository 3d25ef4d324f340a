// Frames delivered as 8-bit grey images.
#include "grabber/IdsUeye.h"

void IdsUeye::BuildFrameImage(uint32_t camera, CxImage& target) {
    if (BitsPerPixel(camera) != 8) {
        GrabberMessage("Creating Bitmap Failed");
        return;
    }
    const int32_t width = ImageWidth(camera);
    const int32_t height = ImageHeight(camera);
    // The camera's first row is the top of the picture; the image stores
    // rows bottom-up, hence the flip.
    if (width <= 0 || height <= 0 ||
        !target.CreateFromArray(imageMemory, static_cast<unsigned long>(width),
                                static_cast<unsigned long>(height), 8,
                                static_cast<unsigned long>(width), true)) {
        GrabberMessage("Creating Bitmap Failed");
    }
    if (negativeFrames) target.Negative();
}

void IdsUeye::GrabImage(uint32_t camera, CxImage* image) {
    if (imageMemory == nullptr || image == nullptr) return;
    TestCameraIndex(camera);
    BuildFrameImage(camera, *image);
}

CxImage IdsUeye::GrabImage(uint32_t camera) {
    TestCameraIndex(camera);
    CxImage frame(0);
    if (imageMemory != nullptr) BuildFrameImage(camera, frame);
    return CxImage(frame, true, true, true);
}
