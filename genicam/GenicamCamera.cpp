// The GenICam camera's SDK operations: opening and closing, the sensor
// record, image memories and events, exposure, the parameter file, live
// capture and status, each on the camera its handle names.
#include "genicam/GenicamCamera.h"
#include "Boost/LockedLookup.h"
#include "genicam/GenicamDevice.h"
#include "grabber/ParameterFile.h"

#include <boost/thread/locks.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>

namespace {

typedef UeyeSdk::Handle Handle;
typedef UeyeSdk::Status Status;
typedef std::shared_ptr<GenicamDevice> Device;

const Handle kHandleBit = 0x80000000u;
// How long a request waits for a stream still being stopped.
const boost::chrono::milliseconds kStopWait(500);
// How long an open waits for cameras still being closed to let go of theirs.
const std::chrono::milliseconds kCloseWait(1000);
// Mono formats in the order they are preferred: eight bits as they come,
// else the unpacked wider ones, of which the top eight bits are kept.
const char* const kMonoFormats[] = {"Mono8", "Mono16", "Mono12", "Mono10"};

struct Registry {
    boost::mutex mutex;
    std::map<Handle, Device> devices;
    Handle next = 1;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry; // outlives every static user
    return *registry;
}

Device Find(Handle handle) {
    Registry& registry = TheRegistry();
    return LockedLookup(registry.mutex, registry.devices, handle);
}

void WriteMessage(const std::string& text) {
    std::cerr << text << std::endl;
}

// Writes what the receiver and the heartbeat noticed, once, on the host's
// thread (the host may have redirected the stream for itself).
void ReportNotices(GenicamDevice& device) {
    std::string text;
    {
        boost::lock_guard<boost::mutex> lock(device.noticeLock);
        text.swap(device.notice);
    }
    if (!text.empty()) std::cerr << text << std::flush;
}

// The camera behind the handle, with its notices written; null when the
// handle names none. `status` says why a camera cannot be used now.
Device Use(Handle handle, Status& status, bool needsCamera = true) {
    Device device = Find(handle);
    if (!device) {
        status = GenicamCamera::NoSuchCamera;
        return nullptr;
    }
    ReportNotices(*device);
    if (needsCamera && device->lost.load()) {
        status = GenicamCamera::CameraLost;
        return nullptr;
    }
    if (needsCamera) {
        // A stream still being stopped off the host's thread goes first, so
        // that the camera sees the requests in the order they were made; a
        // camera that takes longer to stop is not answering as it should.
        boost::unique_lock<boost::mutex> lock(device->mutex);
        if (!device->settled.wait_for(lock, kStopWait,
                                      [&] { return device->pendingTeardowns == 0; })) {
            status = GenicamCamera::DeviceError;
            return nullptr;
        }
    }
    status = 0;
    return device;
}

void OnControlLost(ArvDevice*, gpointer data) {
    static_cast<GenicamDevice*>(data)->Lose("control lost; the camera no longer answers");
}

bool HasFeature(ArvCamera* camera, const char* feature) {
    GError* error = nullptr;
    const bool available = arv_camera_is_feature_available(camera, feature, &error);
    g_clear_error(&error);
    return available;
}

void ReadExposureBounds(GenicamDevice& device) {
    if (device.exposureFeature.empty()) return;
    GError* error = nullptr;
    double lower = 0, upper = 0;
    arv_camera_get_float_bounds(device.camera, device.exposureFeature.c_str(), &lower, &upper,
                                &error);
    if (error == nullptr) {
        device.exposureLowerUs = lower;
        device.exposureUpperUs = upper;
    }
    g_clear_error(&error);
}

// Chooses the first mono format of kMonoFormats the camera offers, sets it
// and returns it; empty, with the formats offered in `offered`, when none.
std::string ChooseMonoFormat(ArvCamera* camera, std::string& offered) {
    GError* error = nullptr;
    guint count = 0;
    const char** formats =
        arv_camera_dup_available_pixel_formats_as_strings(camera, &count, &error);
    g_clear_error(&error);
    std::string chosen;
    for (const char* wanted : kMonoFormats) {
        for (guint i = 0; i < count && chosen.empty(); ++i) {
            if (std::strcmp(formats[i], wanted) == 0) chosen = wanted;
        }
    }
    for (guint i = 0; i < count; ++i) offered += (i ? ", " : "") + std::string(formats[i]);
    g_free(formats);
    if (chosen.empty()) return chosen;
    arv_camera_set_pixel_format_from_string(camera, chosen.c_str(), &error);
    if (error != nullptr) {
        offered = "setting " + chosen + " failed: " + ErrorText(error);
        return "";
    }
    return chosen;
}

// Reads what the grabber needs from a camera just opened; false, with the
// reason, when the camera cannot be driven.
bool Describe(GenicamDevice& device, std::string& reason) {
    ArvCamera* camera = device.camera;
    if (arv_camera_is_gv_device(camera)) {
        // A packet socket as root may be bound to another interface than the
        // one the camera answered on; the plain socket always works.
        arv_gv_device_set_stream_options(ARV_GV_DEVICE(arv_camera_get_device(camera)),
                                         ARV_GV_STREAM_OPTION_PACKET_SOCKET_DISABLED);
    }
    std::string offered;
    device.pixelFormat = ChooseMonoFormat(camera, offered);
    if (device.pixelFormat.empty()) {
        reason = "has no monochrome pixel format (it offers " + offered + ")";
        return false;
    }
    GError* error = nullptr;
    device.pixelCode = arv_camera_get_pixel_format(camera, &error);
    device.width = int32_t(arv_camera_get_integer(camera, "Width", &error));
    if (error == nullptr) device.height = int32_t(arv_camera_get_integer(camera, "Height", &error));
    if (error != nullptr) {
        reason = "cannot read its size: " + ErrorText(error);
        return false;
    }
    if (device.width <= 0 || device.height <= 0) {
        reason = "reports no frame size";
        return false;
    }
    for (const char* feature : {"ExposureTime", "ExposureTimeAbs"}) {
        if (device.exposureFeature.empty() && HasFeature(camera, feature)) {
            device.exposureFeature = feature;
        }
    }
    if (HasFeature(camera, "Gain")) {
        device.gainFeature = "Gain";
        device.gainIsFloat = true;
    } else if (HasFeature(camera, "GainRaw")) {
        device.gainFeature = "GainRaw";
    }
    device.hasFrameRate = HasFeature(camera, "AcquisitionFrameRate");
    ReadExposureBounds(device);
    return true;
}

// Ends everything Aravis holds for the camera, off the host's thread; the
// device lives until then, since the heartbeat may still report through it.
void Release(const Device& device, ArvStream* stream) {
    RunOffThread([device, stream] {
        StopAcquisition(*device, stream);
        if (device->lostHandler != 0) {
            g_signal_handler_disconnect(arv_camera_get_device(device->camera), device->lostHandler);
        }
        g_object_unref(device->camera);
    });
}

bool SetFeature(GenicamDevice& device, const std::string& feature, double value, bool isFloat,
                std::string& reason) {
    GError* error = nullptr;
    if (isFloat) {
        arv_camera_set_float(device.camera, feature.c_str(), value, &error);
    } else {
        arv_camera_set_integer(device.camera, feature.c_str(), gint64(std::llround(value)), &error);
    }
    if (error == nullptr) return true;
    reason = "cannot set " + feature + ": " + ErrorText(error);
    return false;
}

// Sets the exposure in microseconds, bounded by the camera's range.
bool SetExposureUs(GenicamDevice& device, double microseconds, std::string& reason) {
    if (device.exposureFeature.empty()) {
        reason = "has no exposure feature";
        return false;
    }
    const double bounded = std::min(std::max(microseconds, device.exposureLowerUs.load()),
                                    device.exposureUpperUs.load());
    const bool set = SetFeature(device, device.exposureFeature, bounded, true, reason);
    ReadExposureBounds(device);
    UpdateSilenceLimit(device);
    return set;
}

double ReadFloat(GenicamDevice& device, const std::string& feature) {
    GError* error = nullptr;
    const double value = arv_camera_get_float(device.camera, feature.c_str(), &error);
    g_clear_error(&error);
    return value;
}

// Applies one parameter line; false, with the reason, when the camera refused it.
bool ApplyParameter(GenicamDevice& device, const std::string& name, const std::string& text,
                    std::string& reason) {
    if (name == "PixelFormat") {
        if (text == device.pixelFormat) return true;
        if (std::find_if(std::begin(kMonoFormats), std::end(kMonoFormats),
                         [&](const char* f) { return text == f; }) == std::end(kMonoFormats)) {
            reason = "pixel format " + text + " is not a monochrome format of 8 to 16 bits";
            return false;
        }
        GError* error = nullptr;
        arv_camera_set_pixel_format_from_string(device.camera, text.c_str(), &error);
        if (error != nullptr) {
            reason = "cannot set PixelFormat: " + ErrorText(error);
            return false;
        }
        device.pixelFormat = text;
        device.pixelCode = arv_camera_get_pixel_format(device.camera, &error);
        g_clear_error(&error);
        return true;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(value)) return true; // not a value: ignored
    if (name == "ExposureTime" && value > 0) return SetExposureUs(device, value, reason);
    if (name == "AcquisitionFrameRate" && value > 0 && device.hasFrameRate) {
        const bool set = SetFeature(device, name, value, true, reason);
        ReadExposureBounds(device);
        UpdateSilenceLimit(device);
        return set;
    }
    if (name == "Gain" && !device.gainFeature.empty()) {
        return SetFeature(device, device.gainFeature, value, device.gainIsFloat, reason);
    }
    return true;
}

std::string ParameterText(GenicamDevice& device) {
    std::ostringstream text;
    text << std::setprecision(17) << "[GenICam camera]\n"
         << "Width=" << device.width << "\n"
         << "Height=" << device.height << "\n"
         << "PixelFormat=" << device.pixelFormat << "\n";
    if (!device.exposureFeature.empty()) {
        text << "ExposureTime=" << ReadFloat(device, device.exposureFeature) << "\n";
    }
    if (device.hasFrameRate) {
        text << "AcquisitionFrameRate=" << ReadFloat(device, "AcquisitionFrameRate") << "\n";
    }
    if (!device.gainFeature.empty()) {
        GError* error = nullptr;
        const double gain =
            device.gainIsFloat
                ? arv_camera_get_float(device.camera, device.gainFeature.c_str(), &error)
                : double(arv_camera_get_integer(device.camera, device.gainFeature.c_str(), &error));
        if (error == nullptr) text << "Gain=" << gain << "\n";
        g_clear_error(&error);
    }
    return text.str();
}

// ---- the SDK operations ----
struct Ops {

    static Status UEYE_SDK_CALL OpenCamera(Handle* handle, void*) {
        return GenicamCamera::Open("", handle);
    }

    static Status UEYE_SDK_CALL EnableErrorReport(Handle handle, int32_t) {
        Status status = 0;
        Use(handle, status, false);
        return status;
    }

    static Status UEYE_SDK_CALL ReadColourDepth(Handle handle, int32_t* bitsPerPixel,
                                                int32_t* colourMode) {
        Status status = 0;
        if (!Use(handle, status, false)) return status;
        if (bitsPerPixel != nullptr) *bitsPerPixel = 8;
        if (colourMode != nullptr) *colourMode = 6;
        return 0;
    }

    static Status UEYE_SDK_CALL ReadSensorRecord(Handle handle, void* record) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        if (record == nullptr) return GenicamCamera::BadParameter;
        GError* error = nullptr;
        const char* model =
            device->lost ? nullptr : arv_camera_get_model_name(device->camera, &error);
        g_clear_error(&error);
        UeyeSdk::WriteSensorRecord(record, model, uint32_t(device->width),
                                   uint32_t(device->height));
        return 0;
    }

    static Status UEYE_SDK_CALL AllocateImageMemory(Handle handle, int32_t width, int32_t height,
                                                    int32_t bitsPerPixel, unsigned char** memory,
                                                    int32_t* memoryId) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        boost::lock_guard<boost::mutex> lock(device->mutex);
        const bool allocated =
            device->memories.Allocate(width, height, bitsPerPixel, memory, memoryId);
        return allocated ? 0 : GenicamCamera::BadParameter;
    }

    static Status UEYE_SDK_CALL SetColourMode(Handle handle, int32_t) {
        Status status = 0;
        Use(handle, status, false);
        return status;
    }

    static Status UEYE_SDK_CALL ActivateImageMemory(Handle handle, unsigned char* memory,
                                                    int32_t memoryId) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        boost::lock_guard<boost::mutex> lock(device->mutex);
        return device->memories.Activate(memory, memoryId) ? 0 : GenicamCamera::BadParameter;
    }

    static Status UEYE_SDK_CALL SetImageSize(Handle handle, int32_t width, int32_t height) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        // The frame size is the camera's; a region of interest is not offered.
        return width == device->width && height == device->height ? 0 : GenicamCamera::BadParameter;
    }

    static Status UEYE_SDK_CALL Configure(Handle handle, int32_t) {
        Status status = 0;
        Use(handle, status, false);
        return status;
    }

    static Status UEYE_SDK_CALL ConfigureBeforeLive(Handle handle, int32_t, int32_t) {
        return Configure(handle, 0);
    }

    static Status UEYE_SDK_CALL SetExposure(Handle handle, double milliseconds, double* taken) {
        Status status = 0;
        Device device = Use(handle, status);
        if (!device) return status;
        const double current = ReadFloat(*device, device->exposureFeature);
        if (taken != nullptr) *taken = current / 1000.0;
        if (!std::isfinite(milliseconds) || milliseconds < 0) return GenicamCamera::BadParameter;
        std::string reason;
        if (!SetExposureUs(*device, milliseconds * 1000.0, reason)) {
            WriteMessage("GenICam camera " + device->name + " " + reason);
            return GenicamCamera::DeviceError;
        }
        if (taken != nullptr) *taken = ReadFloat(*device, device->exposureFeature) / 1000.0;
        return 0;
    }

    static Status UEYE_SDK_CALL ApplyParameterFile(Handle handle, const char* path) {
        Status status = 0;
        Device device = Use(handle, status);
        if (!device) return status;
        if (path == nullptr) return GenicamCamera::BadParameter;
        parameter_file::Lines lines;
        if (!parameter_file::Read(path, lines)) return GenicamCamera::FileError;
        for (const auto& line : lines) {
            std::string reason;
            if (!ApplyParameter(*device, line.first, line.second, reason)) {
                WriteMessage("GenICam camera " + device->name + ": " + path + ": " + reason);
                status = GenicamCamera::DeviceError;
            }
        }
        return status;
    }

    static Status UEYE_SDK_CALL StartLiveCapture(Handle handle, int32_t) {
        Status status = 0;
        Device device = Use(handle, status);
        if (!device) return status;
        if (device->stream != nullptr) return 0;
        std::string reason;
        if (!StartStream(*device, reason)) {
            WriteMessage("GenICam camera " + device->name + ": " + reason);
            return GenicamCamera::DeviceError;
        }
        return 0;
    }

    static Status UEYE_SDK_CALL StopLiveCapture(Handle handle, int32_t) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        ArvStream* stream = TakeStream(*device);
        if (stream == nullptr) return 0;
        {
            boost::lock_guard<boost::mutex> lock(device->mutex);
            ++device->pendingTeardowns;
        }
        RunOffThread([device, stream] {
            StopAcquisition(*device, stream);
            boost::lock_guard<boost::mutex> lock(device->mutex);
            --device->pendingTeardowns;
            device->settled.notify_all();
        });
        return 0;
    }

    static Status UEYE_SDK_CALL StoreParameters(Handle handle, const char* path) {
        Status status = 0;
        Device device = Use(handle, status);
        if (!device) return status;
        if (path == nullptr) return GenicamCamera::BadParameter;
        return parameter_file::Write(path, ParameterText(*device)) ? 0 : GenicamCamera::FileError;
    }

    static Status UEYE_SDK_CALL FreeImageMemory(Handle handle, unsigned char* memory,
                                                int32_t memoryId) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        boost::lock_guard<boost::mutex> lock(device->mutex);
        return device->memories.Free(memory, memoryId) ? 0 : GenicamCamera::BadParameter;
    }

    static Status UEYE_SDK_CALL CloseCamera(Handle handle) {
        Device device;
        {
            Registry& registry = TheRegistry();
            boost::lock_guard<boost::mutex> lock(registry.mutex);
            auto it = registry.devices.find(handle);
            if (it == registry.devices.end()) return GenicamCamera::NoSuchCamera;
            device = it->second;
            registry.devices.erase(it);
        }
        ReportNotices(*device);
        Release(device, TakeStream(*device));
        return 0;
    }

    static Status UEYE_SDK_CALL RegisterFrameEvent(Handle handle, HANDLE event, int32_t kind) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        boost::lock_guard<boost::mutex> lock(device->mutex);
        device->memories.Register(event, kind);
        return 0;
    }

    static Status UEYE_SDK_CALL EnableEvent(Handle handle, int32_t kind) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        boost::lock_guard<boost::mutex> lock(device->mutex);
        device->memories.Enable(kind);
        return 0;
    }

    static Status UEYE_SDK_CALL QueryStatus(Handle handle, uint32_t* word, void*) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        const bool lost = device->lost.load();
        if (word != nullptr) *word = lost ? 1 : 0;
        return lost ? GenicamCamera::CameraLost : 0;
    }

    static Status UEYE_SDK_CALL ReadExposureRange(Handle handle, double* lower, double* upper,
                                                  double* step) {
        Status status = 0;
        Device device = Use(handle, status, false);
        if (!device) return status;
        // The bounds read at open and after each change: no request to a camera
        // that may no longer answer.
        if (lower != nullptr) *lower = device->exposureLowerUs / 1000.0;
        if (upper != nullptr) *upper = device->exposureUpperUs / 1000.0;
        if (step != nullptr) *step = 0;
        return 0;
    }
};

} // namespace

UeyeSdk GenicamCamera::Sdk() {
    return UeyeSdk::Of<Ops>();
}

UeyeSdk::Status GenicamCamera::Open(const std::string& id, UeyeSdk::Handle* handle) {
    if (handle == nullptr) return BadParameter;
    // A camera closed just before may still hold control of this one.
    WaitIdle(kCloseWait);
    auto device = std::make_shared<GenicamDevice>();
    device->name = id.empty() ? "(the first found)" : id;
    GError* error = nullptr;
    device->camera = arv_camera_new(id.empty() ? nullptr : id.c_str(), &error);
    if (device->camera == nullptr) {
        WriteMessage(id.empty() ? "No GenICam camera found: " + ErrorText(error)
                                : "GenICam camera " + id + " not found: " + ErrorText(error));
        return NoCameraPresent;
    }
    if (id.empty()) {
        const char* found = arv_camera_get_device_id(device->camera, &error);
        g_clear_error(&error);
        if (found != nullptr) device->name = found;
    }
    std::string reason;
    if (!Describe(*device, reason)) {
        WriteMessage("GenICam camera " + device->name + " " + reason);
        g_object_unref(device->camera);
        return NoCameraPresent;
    }
    device->lostHandler = g_signal_connect(arv_camera_get_device(device->camera), "control-lost",
                                           G_CALLBACK(OnControlLost), device.get());
    Registry& registry = TheRegistry();
    boost::lock_guard<boost::mutex> lock(registry.mutex);
    Handle opened = kHandleBit | registry.next++;
    if (registry.next == kHandleBit) registry.next = 1;
    registry.devices[opened] = device;
    *handle = opened;
    return 0;
}

std::vector<CameraDeviceEntry> GenicamCamera::List() {
    arv_update_device_list();
    std::vector<CameraDeviceEntry> found;
    for (unsigned i = 0; i < arv_get_n_devices(); ++i) {
        auto text = [](const char* value) { return std::string(value ? value : ""); };
        CameraDeviceEntry entry;
        entry.choice = "genicam:" + text(arv_get_device_id(i));
        entry.description = text(arv_get_device_vendor(i)) + " " + text(arv_get_device_model(i)) +
                            ", serial " + text(arv_get_device_serial_nbr(i)) + ", " +
                            text(arv_get_device_protocol(i)) + " at " +
                            text(arv_get_device_address(i));
        found.push_back(entry);
    }
    return found;
}

CameraDeviceCounters GenicamCamera::Counters(UeyeSdk::Handle handle) {
    CameraDeviceCounters counters;
    Device device = Find(handle);
    if (!device) return counters;
    ReportNotices(*device);
    counters.delivered = device->delivered.load();
    counters.dropped = device->dropped.load();
    counters.lost = device->lost.load();
    counters.counted = true;
    return counters;
}
