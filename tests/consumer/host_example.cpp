// A host: loads the plug-in at run time, resolves its three entry points,
// grabs one frame from camera 0 and releases everything in order.
#include "grabber/GrabberEntryPoints.h"

#include <boost/thread.hpp>
#include <dlfcn.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : PLUGIN_PATH;
    void* library = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    auto make = reinterpret_cast<MakeGrabberFunction>(dlsym(library, "MakeGrabber"));
    auto destroy = reinterpret_cast<DeleteGrabberFunction>(dlsym(library, "DeleteGrabber"));
    auto version = reinterpret_cast<GrabberApiVersionFunction>(dlsym(library, "GrabberApiVersion"));
    if (make == nullptr || destroy == nullptr || version == nullptr) {
        std::fprintf(stderr, "%s is not a grabber plug-in\n", path);
        return 1;
    }
    std::printf("%s\n", version());

    // The parameter file is ./consumer.ini; the camera reads and writes it.
    FrameGrabber* grabber = make(0, "consumer");
    if (grabber == nullptr) return 1;
    grabber->OpenCamera(0);
    boost::thread* acquisition = grabber->StartAcquisition(); // ours to join and delete
    grabber->StartLive();

    const int32_t width = grabber->ImageWidth(0), height = grabber->ImageHeight(0);
    std::vector<unsigned char> frame(static_cast<size_t>(width) * static_cast<size_t>(height));
    grabber->CopyImage(0, frame.data(), true); // waits for a frame counted after the call
    bool grabbed = false;
    {
        CxImage image; // released before the plug-in is
        grabber->GrabImage(0, &image);
        grabbed = image.IsValid() && image.GetBpp() == 8;
        std::printf("frame %lu x %lu, first byte %u\n", image.GetWidth(), image.GetHeight(),
                    static_cast<unsigned>(frame[0]));
    }

    grabber->StopLive();
    grabber->StopAcquisition();
    if (acquisition != nullptr) {
        acquisition->join();
        delete acquisition;
    }
    grabber->CloseCamera(0); // the camera stores its parameters
    destroy(grabber);
    dlclose(library);
    return grabbed ? 0 : 1;
}
