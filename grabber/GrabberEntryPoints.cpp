// The plug-in's entry points and the revision texts of its units.

#include "grabber/GrabberEntryPoints.h"
#include "grabber/IdsUeye.h"
#include "platform/WorkingDirectory.h"

#include <new>

namespace {

// Revision texts of the plug-in's units, built when the module is loaded.
const std::string kVersionText(GRABBER_API_VERSION);
const std::string kUeyeRevision("$Revision: 1.32 $");
const std::string kInterfaceRevision("FrameGrabber $Revision: 1.26 $");
const std::string kEntryPointsRevision("$Revision: 1.22 $");

const int kWorkingDirectorySize = 256;

} // namespace

FrameGrabber* MakeGrabber(uint32_t camera, const std::string& name) {
    if (name.empty() && camera != 0) GrabberMessage("Only One Camera Supported");

    char directory[kWorkingDirectorySize];
    if (_getcwd(directory, kWorkingDirectorySize) == nullptr) return nullptr;

    std::string path = std::string(directory) + '\\' + name;
    if (path.find(".ini", 0) == std::string::npos) path += ".ini";

    return new (std::nothrow) IdsUeye(path);
}

int32_t DeleteGrabber(FrameGrabber* grabber) {
    delete grabber;
    return 0;
}

const char* GrabberApiVersion() {
    return kVersionText.c_str();
}
