// A library with the camera plug-in's entry point names but another
// interface: framegrab must refuse it.
#include "platform/Export.h"

#include <cstdint>
#include <string>

class FrameGrabber;

extern "C" {
UEYE_EXPORT_SYMBOL FrameGrabber* MakeGrabber(uint32_t, const std::string&) {
    return nullptr;
}
UEYE_EXPORT_SYMBOL int32_t DeleteGrabber(FrameGrabber*) {
    return 0;
}
UEYE_EXPORT_SYMBOL const char* GrabberApiVersion() {
    return "FrameGrabber $Revision: 0.1 $";
}
}
