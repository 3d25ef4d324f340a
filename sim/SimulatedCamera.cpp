// The simulated camera: its cameras and their registry, the live thread
// writing known frames into the active image memory and setting the frame
// events, quantised exposure, the parameter file, the SDK table over them, and
// the inspection calls of tests.

#include "sim/SimulatedCamera.h"
#include "Boost/LockedLookup.h"
#include "grabber/CameraMemories.h"
#include "grabber/ParameterFile.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>

namespace {

typedef UeyeSdk::Handle Handle;
typedef UeyeSdk::Status Status;

typedef CameraMemories::Memory Memory;

struct Camera {
    SimulatedCamera::Config config;
    double exposureMs = 0;
    double framesPerSecond = 0;
    int32_t colourMode = 6;

    CameraMemories memories; // and frame events

    boost::mutex mutex;
    boost::condition_variable wake;
    boost::thread live;
    bool liveRunning = false;
    bool stopRequested = false;

    uint64_t framesDelivered = 0;
    uint64_t eventsSignalled = 0;
};

struct Registry {
    boost::mutex mutex;
    std::map<Handle, std::shared_ptr<Camera>> cameras;
    Handle next = 1;
    Handle lastOpened = 0;
    SimulatedCamera::Config config;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry; // outlives every static user
    return *registry;
}

std::shared_ptr<Camera> Find(Handle handle) {
    Registry& registry = TheRegistry();
    return LockedLookup(registry.mutex, registry.cameras, handle);
}

double ClampFrameRate(const SimulatedCamera::Config& config, double fps) {
    if (!(fps >= config.minFramesPerSecond)) return config.minFramesPerSecond;
    return std::min(fps, config.maxFramesPerSecond);
}

// The camera writes frames into memory the host reads without any lock, as
// the hardware's DMA does; the race checker is not told about these stores.
__attribute__((noinline, no_sanitize("thread"))) void WriteFrame(Memory& memory, uint64_t n) {
    const size_t rowBytes = size_t(memory.width) * size_t(memory.bytesPerPixel);
    const unsigned frame = unsigned(n & 0xFF);
    for (int32_t y = 0; y < memory.height; ++y) {
        unsigned char* row = memory.bytes.get() + size_t(y) * rowBytes;
        const unsigned start = (2u * unsigned(y) + frame) & 0xFFu;
        for (size_t x = 0; x < rowBytes; ++x) row[x] = static_cast<unsigned char>(start + x);
    }
}

void LiveLoop(std::shared_ptr<Camera> camera) {
    boost::unique_lock<boost::mutex> lock(camera->mutex);
    const auto period =
        boost::chrono::nanoseconds(static_cast<int64_t>(1e9 / camera->framesPerSecond));
    auto next = boost::chrono::steady_clock::now() + period;
    uint64_t n = 0;
    while (!camera->stopRequested) {
        camera->wake.wait_until(lock, next);
        if (camera->stopRequested) break;
        const auto now = boost::chrono::steady_clock::now();
        if (now < next) continue;

        Memory* active = camera->memories.Active();
        if (active != nullptr) WriteFrame(*active, n);
        ++n;
        ++camera->framesDelivered;
        if (camera->memories.SignalFrame()) ++camera->eventsSignalled;

        next += period;
        if (next < now) next = now + period; // a late frame does not cause a burst
    }
}

// Ends live capture and waits for the capture thread; called without the
// camera's lock held.
void StopLive(Camera& camera) {
    boost::thread live;
    {
        boost::lock_guard<boost::mutex> lock(camera.mutex);
        if (!camera.liveRunning) return;
        camera.stopRequested = true;
        camera.liveRunning = false;
        live.swap(camera.live);
    }
    camera.wake.notify_all();
    if (live.joinable()) live.join();
}

double QuantisedExposure(const SimulatedCamera::Config& config, double milliseconds) {
    double taken = milliseconds;
    if (config.lineTimeMs > 0)
        taken = std::round(milliseconds / config.lineTimeMs) * config.lineTimeMs;
    return std::min(std::max(taken, config.minExposureMs), config.maxExposureMs);
}

// ---- the SDK operations ----
struct Ops {

    static Status UEYE_SDK_CALL OpenCamera(Handle* handle, void*) {
        if (handle == nullptr) return SimulatedCamera::BadParameter;
        Registry& registry = TheRegistry();
        boost::lock_guard<boost::mutex> lock(registry.mutex);
        if (registry.config.openFails) return SimulatedCamera::NoCameraPresent;
        auto camera = std::make_shared<Camera>();
        camera->config = registry.config;
        camera->exposureMs = registry.config.exposureMs;
        camera->framesPerSecond = ClampFrameRate(registry.config, registry.config.framesPerSecond);
        Handle opened = registry.next++;
        if (registry.next == 0) registry.next = 1;
        registry.cameras[opened] = camera;
        registry.lastOpened = opened;
        *handle = opened;
        return 0;
    }

    static Status UEYE_SDK_CALL EnableErrorReport(Handle handle, int32_t) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        return camera->config.errorReportFails ? SimulatedCamera::ErrorReportUnavailable : 0;
    }

    static Status UEYE_SDK_CALL ReadColourDepth(Handle handle, int32_t* bitsPerPixel,
                                                int32_t* colourMode) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        if (bitsPerPixel != nullptr) *bitsPerPixel = 8;
        if (colourMode != nullptr) *colourMode = 6;
        return 0;
    }

    static Status UEYE_SDK_CALL ReadSensorRecord(Handle handle, void* record) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        if (record == nullptr) return SimulatedCamera::BadParameter;
        UeyeSdk::WriteSensorRecord(record, "SIM-1280M", uint32_t(camera->config.width),
                                   uint32_t(camera->config.height));
        return 0;
    }

    static Status UEYE_SDK_CALL AllocateImageMemory(Handle handle, int32_t width, int32_t height,
                                                    int32_t bitsPerPixel, unsigned char** memory,
                                                    int32_t* memoryId) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        const bool allocated =
            camera->memories.Allocate(width, height, bitsPerPixel, memory, memoryId);
        return allocated ? 0 : SimulatedCamera::BadParameter;
    }

    static Status UEYE_SDK_CALL SetColourMode(Handle handle, int32_t mode) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        camera->colourMode = mode;
        return 0;
    }

    static Status UEYE_SDK_CALL ActivateImageMemory(Handle handle, unsigned char* memory,
                                                    int32_t memoryId) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        return camera->memories.Activate(memory, memoryId) ? 0 : SimulatedCamera::BadParameter;
    }

    static Status UEYE_SDK_CALL SetImageSize(Handle handle, int32_t width, int32_t height) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        if (width <= 0 || height <= 0) return SimulatedCamera::BadParameter;
        return 0;
    }

    static Status UEYE_SDK_CALL Configure(Handle handle, int32_t) {
        return Find(handle) ? 0 : SimulatedCamera::NoSuchCamera;
    }

    static Status UEYE_SDK_CALL ConfigureBeforeLive(Handle handle, int32_t, int32_t) {
        return Find(handle) ? 0 : SimulatedCamera::NoSuchCamera;
    }

    static Status UEYE_SDK_CALL SetExposure(Handle handle, double milliseconds, double* taken) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        if (!std::isfinite(milliseconds) || milliseconds < 0) {
            if (taken != nullptr) *taken = camera->exposureMs;
            return SimulatedCamera::BadParameter;
        }
        camera->exposureMs = QuantisedExposure(camera->config, milliseconds);
        if (taken != nullptr) *taken = camera->exposureMs;
        return 0;
    }

    static Status UEYE_SDK_CALL ApplyParameterFile(Handle handle, const char* path) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        if (path == nullptr) return SimulatedCamera::BadParameter;
        parameter_file::Lines lines;
        if (!parameter_file::Read(path, lines)) return SimulatedCamera::FileError;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        for (const auto& line : lines) {
            const std::string& key = line.first;
            const std::string& text = line.second;
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || !std::isfinite(value)) continue;
            if (key == "ExposureMs" && value >= 0) {
                camera->exposureMs = QuantisedExposure(camera->config, value);
            } else if (key == "FramesPerSecond" && value > 0) {
                camera->framesPerSecond = ClampFrameRate(camera->config, value);
            }
        }
        return 0;
    }

    static Status UEYE_SDK_CALL StartLiveCapture(Handle handle, int32_t) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        if (camera->liveRunning) return 0;
        camera->stopRequested = false;
        camera->liveRunning = true;
        camera->live = boost::thread(LiveLoop, camera);
        return 0;
    }

    static Status UEYE_SDK_CALL StopLiveCapture(Handle handle, int32_t) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        StopLive(*camera);
        return 0;
    }

    static Status UEYE_SDK_CALL StoreParameters(Handle handle, const char* path) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        if (path == nullptr) return SimulatedCamera::BadParameter;
        std::ostringstream text;
        {
            boost::lock_guard<boost::mutex> lock(camera->mutex);
            text << std::setprecision(17) << "[Simulated camera]\n"
                 << "Width=" << camera->config.width << "\n"
                 << "Height=" << camera->config.height << "\n"
                 << "ExposureMs=" << camera->exposureMs << "\n"
                 << "FramesPerSecond=" << camera->framesPerSecond << "\n";
        }
        return parameter_file::Write(path, text.str()) ? 0 : SimulatedCamera::FileError;
    }

    static Status UEYE_SDK_CALL FreeImageMemory(Handle handle, unsigned char* memory,
                                                int32_t memoryId) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        return camera->memories.Free(memory, memoryId) ? 0 : SimulatedCamera::BadParameter;
    }

    static Status UEYE_SDK_CALL CloseCamera(Handle handle) {
        std::shared_ptr<Camera> camera;
        {
            Registry& registry = TheRegistry();
            boost::lock_guard<boost::mutex> lock(registry.mutex);
            auto it = registry.cameras.find(handle);
            if (it == registry.cameras.end()) return SimulatedCamera::NoSuchCamera;
            camera = it->second;
            registry.cameras.erase(it);
        }
        StopLive(*camera);
        return 0;
    }

    static Status UEYE_SDK_CALL RegisterFrameEvent(Handle handle, HANDLE event, int32_t kind) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        camera->memories.Register(event, kind);
        return 0;
    }

    static Status UEYE_SDK_CALL EnableEvent(Handle handle, int32_t kind) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        boost::lock_guard<boost::mutex> lock(camera->mutex);
        camera->memories.Enable(kind);
        return 0;
    }

    static Status UEYE_SDK_CALL QueryStatus(Handle handle, uint32_t* word, void*) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        if (word != nullptr) *word = 0;
        return 0;
    }

    static Status UEYE_SDK_CALL ReadExposureRange(Handle handle, double* lower, double* upper,
                                                  double* step) {
        auto camera = Find(handle);
        if (!camera) return SimulatedCamera::NoSuchCamera;
        if (lower != nullptr) *lower = camera->config.minExposureMs;
        if (upper != nullptr) *upper = camera->config.maxExposureMs;
        if (step != nullptr) *step = camera->config.lineTimeMs;
        return 0;
    }
};

template <typename T> T Inspect(uint32_t handle, T (*read)(Camera&)) {
    auto camera = Find(handle);
    if (!camera) return T();
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    return read(*camera);
}

} // namespace

void SimulatedCamera::Configure(const Config& config) {
    Registry& registry = TheRegistry();
    boost::lock_guard<boost::mutex> lock(registry.mutex);
    registry.config = config;
}

SimulatedCamera::Config SimulatedCamera::Current() {
    Registry& registry = TheRegistry();
    boost::lock_guard<boost::mutex> lock(registry.mutex);
    return registry.config;
}

UeyeSdk SimulatedCamera::Sdk() {
    return UeyeSdk::Of<Ops>();
}

int SimulatedCamera::OpenCameras() {
    Registry& registry = TheRegistry();
    boost::lock_guard<boost::mutex> lock(registry.mutex);
    return int(registry.cameras.size());
}

uint32_t SimulatedCamera::LastOpenedHandle() {
    Registry& registry = TheRegistry();
    boost::lock_guard<boost::mutex> lock(registry.mutex);
    return registry.lastOpened;
}

uint64_t SimulatedCamera::FramesDelivered(uint32_t handle) {
    return Inspect<uint64_t>(handle, [](Camera& c) { return c.framesDelivered; });
}

uint64_t SimulatedCamera::EventsSignalled(uint32_t handle) {
    return Inspect<uint64_t>(handle, [](Camera& c) { return c.eventsSignalled; });
}

double SimulatedCamera::ExposureMs(uint32_t handle) {
    return Inspect<double>(handle, [](Camera& c) { return c.exposureMs; });
}

double SimulatedCamera::FramesPerSecond(uint32_t handle) {
    return Inspect<double>(handle, [](Camera& c) { return c.framesPerSecond; });
}

bool SimulatedCamera::IsLive(uint32_t handle) {
    return Inspect<bool>(handle, [](Camera& c) { return c.liveRunning; });
}

void SimulateOpenFailure(bool fail) {
    SimulatedCamera::Config config = SimulatedCamera::Current();
    config.openFails = fail;
    SimulatedCamera::Configure(config);
}
