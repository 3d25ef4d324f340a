// The grabber calls of the C interface: a camera opened through the
// plug-in's entry points and driven through its FrameGrabber interface.
#include "Boost/BoostTools.h"
#include "capi/Images.h"
#include "grabber/CameraDevice.h"
#include "grabber/GrabberEntryPoints.h"
#include "grabber/IdsUeye.h"

#include <boost/thread/thread.hpp>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

using capi::Fail;
using capi::Guard;

namespace {

// Sleep between looks at the frame count while waiting for a frame.
const uint32_t kFramePollMs = 1;

struct GrabberObject {
    boost::mutex lock; // one call at a time on the grabber
    FrameGrabber* grabber = nullptr;
    IdsUeye* camera = nullptr; // the same object, for its frame count
    boost::thread* acquisition = nullptr;
    bool live = false;
    bool negative = false;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t countSeen = 0;   // the frame count at the last frame handed out
    uint64_t droppedSeen = 0; // the camera's dropped frames at that frame
    uint64_t frameNumber = 0;
    std::vector<unsigned char> rows; // a frame on its way into a strided buffer

    ~GrabberObject() {
        try {
            StopLive();
            if (grabber != nullptr) grabber->CloseCamera(0); // stores the parameters
        } catch (...) {
            // The grabber is released below all the same.
        }
        if (grabber != nullptr) DeleteGrabber(grabber);
    }

    CameraDeviceCounters Counters() const { return CameraDevice::Counters(camera->SdkHandle()); }

    void StopLive() {
        if (!live) return;
        grabber->StopLive();
        grabber->StopAcquisition();
        if (acquisition != nullptr) {
            acquisition->join();
            delete acquisition;
            acquisition = nullptr;
        }
        live = false;
    }
};

capi::Registry<GrabberObject>& Grabbers() {
    return capi::Registry<GrabberObject>::Instance();
}

// Runs `call` on the grabber behind `handle` while holding its lock.
template <typename Call> int32_t WithGrabber(ueye_grabber handle, Call&& call) noexcept {
    return Guard([&] {
        std::shared_ptr<GrabberObject> object = Grabbers().Find(handle);
        if (!object) return capi::BadHandle("the grabber");
        boost::lock_guard<boost::mutex> hold(object->lock);
        return call(*object);
    });
}

int32_t NullArgument(const char* name) noexcept {
    return Fail(UEYE_E_ARGUMENT, name, " is null");
}

// The uEye grabber's gain operations only throw, with the text `unsupported`.
// On 32-bit Windows an exception cannot pass from the plug-in's DLL into this
// one: each links its own static unwinder, which does not know the other's
// frames, and the process would end. There the answer is given without the
// call.
template <typename Call>
int32_t GainCall(ueye_grabber handle, const char* unsupported, Call&& call) noexcept {
    return WithGrabber(handle, [&](GrabberObject& object) {
#if defined(_WIN32) && !defined(_WIN64)
        (void)object;
        (void)call;
        return Fail(UEYE_E_UNSUPPORTED, unsupported);
#else
        (void)unsupported;
        try {
            call(*object.grabber);
        } catch (const std::exception& error) {
            return Fail(UEYE_E_UNSUPPORTED, error.what());
        }
        return UEYE_OK;
#endif
    });
}

int32_t CameraLost() noexcept {
    return Fail(UEYE_E_CAMERA, "the camera no longer answers");
}

// Opens camera 0 on the device chosen for the calling thread.
int32_t OpenGrabber(uint32_t camera, const char* params, ueye_grabber* grabber) {
    if (grabber == nullptr) return NullArgument("the grabber output");
    if (params == nullptr) return NullArgument("the parameter file name");
    if (camera != 0) {
        return Fail(UEYE_E_ARGUMENT, "no such camera: only camera 0 is served");
    }
    return Guard([&] {
        auto object = std::make_shared<GrabberObject>();
        object->grabber = MakeGrabber(camera, std::string(params));
        if (object->grabber == nullptr) {
            return Fail(UEYE_E_CAMERA,
                        "the plug-in could not create a grabber (working directory unreadable)");
        }
        object->camera = dynamic_cast<IdsUeye*>(object->grabber);
        if (object->camera == nullptr) {
            return Fail(UEYE_E_INTERNAL, "the plug-in's grabber is not a uEye grabber");
        }
        object->grabber->OpenCamera(0);
        object->width = object->grabber->ImageWidth(0);
        object->height = object->grabber->ImageHeight(0);
        if (object->width <= 0 || object->height <= 0 || object->grabber->BitsPerPixel(0) != 8) {
            return Fail(UEYE_E_CAMERA, "camera 0 could not be opened");
        }
        *grabber = reinterpret_cast<ueye_grabber>(Grabbers().Add(std::move(object)));
        return UEYE_OK;
    });
}

// The thread's device choice for one open, given back afterwards.
class DeviceChoiceScope {
public:
    explicit DeviceChoiceScope(const std::string& text) : previous(CameraDevice::Choice()) {
        CameraDevice::ChooseForThread(text);
    }
    ~DeviceChoiceScope() { CameraDevice::ChooseForThread(previous); }

private:
    std::string previous;
};

const char kNoGain[] = "IdsUeye::CameraGain()  -- Not implemented yet";
const char kNoAutoGain[] = "IdsUeye::AdjustCameraGain()  -- Not implemented yet";

} // namespace

extern "C" {

int32_t ueye_grabber_open(uint32_t camera, const char* params, ueye_grabber* grabber) {
    return OpenGrabber(camera, params, grabber);
}

int32_t ueye_grabber_open_device(uint32_t camera, const char* params, const char* device,
                                 ueye_grabber* grabber) {
    if (device == nullptr || *device == '\0') return OpenGrabber(camera, params, grabber);
    return Guard([&] {
        const std::string refusal = CameraDevice::CheckChoice(device);
        if (!refusal.empty()) return Fail(UEYE_E_ARGUMENT, refusal.c_str());
        DeviceChoiceScope choice(device);
        return OpenGrabber(camera, params, grabber);
    });
}

int32_t ueye_list_devices(char* text, size_t size, size_t* needed) {
    if (text == nullptr) return NullArgument("the text buffer");
    if (size == 0) return Fail(UEYE_E_ARGUMENT, "the text buffer has no room");
    return Guard([&] {
        std::string lines;
        for (const CameraDeviceEntry& entry : CameraDevice::List()) {
            lines += entry.choice + "\t" + entry.description + "\n";
        }
        if (needed != nullptr) *needed = lines.size() + 1;
        const size_t kept = lines.size() < size - 1 ? lines.size() : size - 1;
        std::memcpy(text, lines.data(), kept);
        text[kept] = '\0';
        return UEYE_OK;
    });
}

int32_t ueye_grabber_close(ueye_grabber grabber) {
    return Guard([&] {
        std::shared_ptr<GrabberObject> object = Grabbers().Remove(grabber);
        if (!object) return capi::BadHandle("the grabber");
        // A call still running on another thread ends first; the camera is
        // closed when the last hold on the object goes.
        boost::lock_guard<boost::mutex> hold(object->lock);
        object->StopLive();
        return UEYE_OK;
    });
}

int32_t ueye_grabber_status(ueye_grabber grabber, int32_t* ready) {
    if (ready == nullptr) return NullArgument("the status output");
    return WithGrabber(grabber, [&](GrabberObject& object) {
        *ready = object.grabber->QueryCameraStatus() ? 1 : 0;
        return UEYE_OK;
    });
}

int32_t ueye_grabber_description(ueye_grabber grabber, char* text, size_t size) {
    if (text == nullptr) return NullArgument("the text buffer");
    if (size == 0) return Fail(UEYE_E_ARGUMENT, "the text buffer has no room");
    return WithGrabber(grabber, [&](GrabberObject& object) {
        const GrabberText description = object.grabber->CameraDescription();
        const void* end = std::memchr(description.text, '\0', sizeof description.text);
        const size_t length = end ? size_t(static_cast<const char*>(end) - description.text)
                                  : sizeof description.text;
        const size_t kept = length < size - 1 ? length : size - 1;
        std::memcpy(text, description.text, kept);
        text[kept] = '\0';
        return UEYE_OK;
    });
}

int32_t ueye_grabber_size(ueye_grabber grabber, int32_t* width, int32_t* height,
                          int32_t* bits_per_pixel) {
    if (width == nullptr || height == nullptr || bits_per_pixel == nullptr) {
        return NullArgument("a size output");
    }
    return WithGrabber(grabber, [&](GrabberObject& object) {
        *width = object.width;
        *height = object.height;
        *bits_per_pixel = object.grabber->BitsPerPixel(0);
        return UEYE_OK;
    });
}

int32_t ueye_grabber_exposure_range(ueye_grabber grabber, int32_t* minimum, int32_t* maximum) {
    if (minimum == nullptr || maximum == nullptr) return NullArgument("a range output");
    return WithGrabber(grabber, [&](GrabberObject& object) {
        *minimum = object.grabber->MinExposure();
        *maximum = object.grabber->MaxExposure();
        return UEYE_OK;
    });
}

int32_t ueye_grabber_get_exposure(ueye_grabber grabber, uint32_t* microseconds) {
    if (microseconds == nullptr) return NullArgument("the exposure output");
    return WithGrabber(grabber, [&](GrabberObject& object) {
        uint32_t value = 0; // 0 reads the exposure without setting it
        object.grabber->Exposure(0, &value);
        *microseconds = value;
        return UEYE_OK;
    });
}

int32_t ueye_grabber_set_exposure(ueye_grabber grabber, uint32_t microseconds, uint32_t* taken) {
    return WithGrabber(grabber, [&](GrabberObject& object) {
        // The grabber waits five exposures for a new one to settle: a request
        // far beyond the camera's range would block for hours.
        const int32_t lowest = object.grabber->MinExposure();
        const int32_t highest = object.grabber->MaxExposure();
        const bool known = highest > 0 && lowest <= highest;
        if (microseconds == 0 ||
            (known && (int64_t(microseconds) < lowest || int64_t(microseconds) > highest))) {
            char range[96];
            std::snprintf(range, sizeof range, " (%ld to %ld microseconds)", long(lowest),
                          long(highest));
            return Fail(UEYE_E_ARGUMENT, "the exposure lies outside the camera's range",
                        known ? range : nullptr);
        }
        uint32_t value = microseconds;
        object.grabber->Exposure(0, &value);
        if (taken != nullptr) *taken = value;
        return UEYE_OK;
    });
}

int32_t ueye_grabber_get_gain(ueye_grabber grabber, int32_t* gain) {
    if (gain == nullptr) return NullArgument("the gain output");
    return GainCall(grabber, kNoGain, [&](FrameGrabber& camera) { *gain = camera.CameraGain(0); });
}

int32_t ueye_grabber_set_gain(ueye_grabber grabber, int32_t gain) {
    return GainCall(grabber, kNoGain, [&](FrameGrabber& camera) { camera.CameraGain(0, gain); });
}

int32_t ueye_grabber_auto_gain(ueye_grabber grabber) {
    return GainCall(grabber, kNoAutoGain,
                    [&](FrameGrabber& camera) { camera.AdjustCameraGain(0); });
}

int32_t ueye_grabber_set_negative(ueye_grabber grabber, int32_t negative) {
    if (negative != 0 && negative != 1) return Fail(UEYE_E_ARGUMENT, "negative must be 0 or 1");
    return WithGrabber(grabber, [&](GrabberObject& object) {
        object.grabber->SetNegative(negative == 1);
        object.negative = negative == 1;
        return UEYE_OK;
    });
}

int32_t ueye_grabber_get_negative(ueye_grabber grabber, int32_t* negative) {
    if (negative == nullptr) return NullArgument("the negative output");
    return WithGrabber(grabber, [&](GrabberObject& object) {
        *negative = object.negative ? 1 : 0;
        return UEYE_OK;
    });
}

int32_t ueye_grabber_start_live(ueye_grabber grabber) {
    return WithGrabber(grabber, [&](GrabberObject& object) {
        if (object.live) return UEYE_OK;
        object.acquisition = object.grabber->StartAcquisition();
        if (object.acquisition == nullptr) {
            return Fail(UEYE_E_NO_MEMORY, "no memory for the acquisition thread");
        }
        object.grabber->StartLive();
        object.live = true;
        // Only frames counted from now on are new.
        object.countSeen = object.camera->FramesCounted();
        object.droppedSeen = object.Counters().dropped;
        return UEYE_OK;
    });
}

int32_t ueye_grabber_stop_live(ueye_grabber grabber) {
    return WithGrabber(grabber, [&](GrabberObject& object) {
        object.StopLive();
        return UEYE_OK;
    });
}

int32_t ueye_grabber_wait_frame(ueye_grabber grabber, uint32_t timeout_ms, uint64_t* frame,
                                uint64_t* missed) {
    if (frame == nullptr || missed == nullptr) return NullArgument("a frame output");
    return WithGrabber(grabber, [&](GrabberObject& object) {
        if (!object.live) return Fail(UEYE_E_STATE, "live video is off");
        // The acquisition thread counts frame events; the count only grows,
        // since nothing here makes the grabber wait (which would reset it).
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const uint32_t count = object.camera->FramesCounted();
            const uint32_t arrived = count - object.countSeen; // modulo 2^32
            if (arrived != 0) {
                const uint64_t dropped = object.Counters().dropped;
                object.countSeen = count;
                object.frameNumber += arrived;
                *frame = object.frameNumber;
                *missed = arrived - 1 + (dropped - object.droppedSeen);
                object.droppedSeen = dropped;
                return UEYE_OK;
            }
            if (object.Counters().lost) return CameraLost();
            if (std::chrono::steady_clock::now() >= deadline) {
                return Fail(UEYE_E_TIMEOUT, "no frame arrived in time");
            }
            BoostTools::delay(kFramePollMs);
        }
    });
}

int32_t ueye_grabber_counters(ueye_grabber grabber, uint64_t* delivered, uint64_t* dropped,
                              int32_t* lost) {
    if (delivered == nullptr || dropped == nullptr || lost == nullptr) {
        return NullArgument("a counter output");
    }
    return WithGrabber(grabber, [&](GrabberObject& object) {
        const CameraDeviceCounters counters = object.Counters();
        *delivered = counters.delivered;
        *dropped = counters.dropped;
        *lost = counters.lost ? 1 : 0;
        return UEYE_OK;
    });
}

int32_t ueye_grabber_copy_frame(ueye_grabber grabber, void* buffer, size_t stride, size_t size) {
    if (buffer == nullptr) return NullArgument("the frame buffer");
    return WithGrabber(grabber, [&](GrabberObject& object) {
        const size_t width = size_t(object.width);
        const size_t height = size_t(object.height);
        if (!capi::BufferFits(width, height, stride, size)) return UEYE_E_ARGUMENT;
        if (object.Counters().lost) return CameraLost();
        unsigned char* out = static_cast<unsigned char*>(buffer);
        if (stride == width) {
            object.grabber->CopyImage(0, out, false); // straight into the caller's rows
            return UEYE_OK;
        }
        object.rows.resize(width * height);
        object.grabber->CopyImage(0, object.rows.data(), false);
        for (size_t y = 0; y < height; ++y) {
            std::memcpy(out + y * stride, object.rows.data() + y * width, width);
        }
        return UEYE_OK;
    });
}

int32_t ueye_grabber_grab_image(ueye_grabber grabber, ueye_image image) {
    return WithGrabber(grabber, [&](GrabberObject& object) {
        std::shared_ptr<capi::ImageObject> target = capi::Images().Find(image);
        if (!target) return capi::BadHandle("the image");
        if (object.Counters().lost) return CameraLost();
        boost::lock_guard<boost::mutex> hold(target->lock);
        object.grabber->GrabImage(0, &target->image);
        if (!target->image.IsValid()) return Fail(UEYE_E_CAMERA, "the frame could not be taken");
        return UEYE_OK;
    });
}
}
