// A library with the camera plug-in's entry point names but another
// interface: framegrab must refuse it.
#include <cstdint>
#include <string>

class FrameGrabber;

extern "C" {
__attribute__((visibility("default"))) FrameGrabber* MakeGrabber(uint32_t, const std::string&) {
    return nullptr;
}
__attribute__((visibility("default"))) int32_t DeleteGrabber(FrameGrabber*) {
    return 0;
}
__attribute__((visibility("default"))) const char* GrabberApiVersion() {
    return "FrameGrabber $Revision: 0.1 $";
}
}
