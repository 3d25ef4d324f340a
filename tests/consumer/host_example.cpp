// A host: loads the plug-in at run time, resolves its three entry points,
// grabs one frame from camera 0 and releases everything in order.
#include "grabber/GrabberEntryPoints.h"

#include <boost/thread.hpp>

#include <cstdio>
#include <string>
#include <vector>

// Run-time loading: LoadLibrary on Windows, dlopen elsewhere.
#if defined(_WIN32)
#include <windows.h>
typedef HMODULE Library;
Library Load(const char* path) {
    return LoadLibraryA(path);
}
template <typename F> F Resolve(Library library, const char* name) {
    // Through void (*)(), which converts to every function type.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}
std::string LoadError() {
    return "Windows error " + std::to_string(GetLastError());
}
void Unload(Library library) {
    FreeLibrary(library);
}
#else
#include <dlfcn.h>
typedef void* Library;
Library Load(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_GLOBAL);
}
template <typename F> F Resolve(Library library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}
std::string LoadError() {
    return dlerror();
}
void Unload(Library library) {
    dlclose(library);
}
#endif

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : PLUGIN_PATH;
    Library library = Load(path);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, LoadError().c_str());
        return 1;
    }
    auto make = Resolve<MakeGrabberFunction>(library, "MakeGrabber");
    auto destroy = Resolve<DeleteGrabberFunction>(library, "DeleteGrabber");
    auto version = Resolve<GrabberApiVersionFunction>(library, "GrabberApiVersion");
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
    Unload(library);
    return grabbed ? 0 : 1;
}
