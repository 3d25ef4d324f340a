// FrameGrabber's own members: construction, copying and destruction of the
// state every grabber shares.

#include "grabber/FrameGrabber.h"

FrameGrabber::FrameGrabber()
    : spare1(0), live(false), cameraOpen(false), spare2(2), spareFlag(false) {}

FrameGrabber::FrameGrabber(const FrameGrabber& other)
    : spare1(other.spare1), live(other.live), cameraOpen(other.cameraOpen.load()),
      parameterFileName(other.parameterFileName), spare2(other.spare2), spareFlag(other.spareFlag) {
}

FrameGrabber& FrameGrabber::operator=(const FrameGrabber& other) {
    spare1 = other.spare1;
    live = other.live;
    cameraOpen = other.cameraOpen.load();
    parameterFileName = other.parameterFileName;
    spare2 = other.spare2;
    spareFlag = other.spareFlag;
    return *this;
}

FrameGrabber::~FrameGrabber() {
    live = false;
    cameraOpen = false;
}
