#include "sim/SimulatedCamera.h"
#include "Boost/LockedLookup.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace {

typedef UeyeSdk::Handle Handle;
typedef UeyeSdk::Status Status;

const size_t kSensorRecordSize = 80;
const size_t kLargestMemory = size_t(1) << 30;
const size_t kLargestParameterFile = size_t(1) << 20;

struct Memory {
    std::unique_ptr<unsigned char[]> bytes;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerPixel = 1;
};

struct Camera {
    SimulatedCamera::Config config;
    double exposureMs = 0;
    double framesPerSecond = 0;
    int32_t colourMode = 6;

    std::map<int32_t, Memory> memories;
    int32_t nextMemoryId = 1;
    int32_t activeId = 0;

    std::map<int32_t, HANDLE> registeredEvents;
    std::set<int32_t> enabledEvents;

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

// The image memory with this id when its bytes are at the given address;
// the camera's lock must be held.
Memory* FindMemory(Camera& camera, unsigned char* memory, int32_t memoryId) {
    auto it = camera.memories.find(memoryId);
    if (it == camera.memories.end() || it->second.bytes.get() != memory) return nullptr;
    return &it->second;
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

        auto active = camera->memories.find(camera->activeId);
        if (active != camera->memories.end()) WriteFrame(active->second, n);
        ++n;
        ++camera->framesDelivered;

        bool signalled = false;
        for (const auto& registered : camera->registeredEvents) {
            if (camera->enabledEvents.count(registered.first) != 0) {
                SetEvent(registered.second);
                signalled = true;
            }
        }
        if (signalled) ++camera->eventsSignalled;

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

std::string NativePath(const char* path) {
    std::string native(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

// ---- the SDK operations ----
namespace ops {

Status UEYE_SDK_CALL OpenCamera(Handle* handle, void*) {
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

Status UEYE_SDK_CALL EnableErrorReport(Handle handle, int32_t) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    return camera->config.errorReportFails ? SimulatedCamera::ErrorReportUnavailable : 0;
}

Status UEYE_SDK_CALL ReadColourDepth(Handle handle, int32_t* bitsPerPixel, int32_t* colourMode) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    if (bitsPerPixel != nullptr) *bitsPerPixel = 8;
    if (colourMode != nullptr) *colourMode = 6;
    return 0;
}

Status UEYE_SDK_CALL ReadSensorRecord(Handle handle, void* record) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    if (record == nullptr) return SimulatedCamera::BadParameter;
    unsigned char bytes[kSensorRecordSize] = {};
    const char name[] = "SIM-1280M";
    std::memcpy(bytes, name, sizeof name);
    const uint32_t width = uint32_t(camera->config.width);
    const uint32_t height = uint32_t(camera->config.height);
    std::memcpy(bytes + 36, &width, 4);
    std::memcpy(bytes + 40, &height, 4);
    std::memcpy(record, bytes, kSensorRecordSize);
    return 0;
}

Status UEYE_SDK_CALL AllocateImageMemory(Handle handle, int32_t width, int32_t height,
                                         int32_t bitsPerPixel, unsigned char** memory,
                                         int32_t* memoryId) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    if (memory == nullptr || memoryId == nullptr || width <= 0 || height <= 0 ||
        bitsPerPixel <= 0 || bitsPerPixel > 32 || bitsPerPixel % 8 != 0) {
        return SimulatedCamera::BadParameter;
    }
    Memory block;
    block.width = width;
    block.height = height;
    block.bytesPerPixel = bitsPerPixel / 8;
    const size_t size = size_t(width) * size_t(height) * size_t(block.bytesPerPixel);
    if (size > kLargestMemory) return SimulatedCamera::BadParameter;
    block.bytes.reset(new (std::nothrow) unsigned char[size]());
    if (!block.bytes) return SimulatedCamera::BadParameter;

    boost::lock_guard<boost::mutex> lock(camera->mutex);
    const int32_t id = camera->nextMemoryId++;
    *memory = block.bytes.get();
    *memoryId = id;
    camera->memories[id] = std::move(block);
    return 0;
}

Status UEYE_SDK_CALL SetColourMode(Handle handle, int32_t mode) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    camera->colourMode = mode;
    return 0;
}

Status UEYE_SDK_CALL ActivateImageMemory(Handle handle, unsigned char* memory, int32_t memoryId) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    if (FindMemory(*camera, memory, memoryId) == nullptr) return SimulatedCamera::BadParameter;
    camera->activeId = memoryId;
    return 0;
}

Status UEYE_SDK_CALL SetImageSize(Handle handle, int32_t width, int32_t height) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    if (width <= 0 || height <= 0) return SimulatedCamera::BadParameter;
    return 0;
}

Status UEYE_SDK_CALL Configure(Handle handle, int32_t) {
    return Find(handle) ? 0 : SimulatedCamera::NoSuchCamera;
}

Status UEYE_SDK_CALL ConfigureBeforeLive(Handle handle, int32_t, int32_t) {
    return Find(handle) ? 0 : SimulatedCamera::NoSuchCamera;
}

double QuantisedExposure(const SimulatedCamera::Config& config, double milliseconds) {
    double taken = milliseconds;
    if (config.lineTimeMs > 0)
        taken = std::round(milliseconds / config.lineTimeMs) * config.lineTimeMs;
    return std::min(std::max(taken, config.minExposureMs), config.maxExposureMs);
}

Status UEYE_SDK_CALL SetExposure(Handle handle, double milliseconds, double* taken) {
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

Status UEYE_SDK_CALL ApplyParameterFile(Handle handle, const char* path) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    if (path == nullptr) return SimulatedCamera::BadParameter;
    // Parameter files are small: a larger one is refused, not read whole.
    std::ifstream file(NativePath(path), std::ios::binary);
    if (!file) return SimulatedCamera::FileError;
    std::string contents(kLargestParameterFile + 1, '\0');
    file.read(&contents[0], std::streamsize(contents.size()));
    if (file.bad() || size_t(file.gcount()) > kLargestParameterFile) {
        return SimulatedCamera::FileError;
    }
    contents.resize(size_t(file.gcount()));
    std::istringstream lines(contents);
    std::string line;
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string text = line.substr(equals + 1);
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

Status UEYE_SDK_CALL StartLiveCapture(Handle handle, int32_t) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    if (camera->liveRunning) return 0;
    camera->stopRequested = false;
    camera->liveRunning = true;
    camera->live = boost::thread(LiveLoop, camera);
    return 0;
}

Status UEYE_SDK_CALL StopLiveCapture(Handle handle, int32_t) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    StopLive(*camera);
    return 0;
}

Status UEYE_SDK_CALL StoreParameters(Handle handle, const char* path) {
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
    std::ofstream file(NativePath(path), std::ios::binary | std::ios::trunc);
    if (!file) return SimulatedCamera::FileError;
    file << text.str();
    file.close();
    return file ? 0 : SimulatedCamera::FileError;
}

Status UEYE_SDK_CALL FreeImageMemory(Handle handle, unsigned char* memory, int32_t memoryId) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    if (FindMemory(*camera, memory, memoryId) == nullptr) return SimulatedCamera::BadParameter;
    if (camera->activeId == memoryId) camera->activeId = 0;
    camera->memories.erase(memoryId);
    return 0;
}

Status UEYE_SDK_CALL CloseCamera(Handle handle) {
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

Status UEYE_SDK_CALL RegisterFrameEvent(Handle handle, HANDLE event, int32_t kind) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    if (event == nullptr) {
        camera->registeredEvents.erase(kind);
    } else {
        camera->registeredEvents[kind] = event;
    }
    return 0;
}

Status UEYE_SDK_CALL EnableEvent(Handle handle, int32_t kind) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    boost::lock_guard<boost::mutex> lock(camera->mutex);
    camera->enabledEvents.insert(kind);
    return 0;
}

Status UEYE_SDK_CALL QueryStatus(Handle handle, uint32_t* word, void*) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    if (word != nullptr) *word = 0;
    return 0;
}

Status UEYE_SDK_CALL ReadExposureRange(Handle handle, double* lower, double* upper, double* step) {
    auto camera = Find(handle);
    if (!camera) return SimulatedCamera::NoSuchCamera;
    if (lower != nullptr) *lower = camera->config.minExposureMs;
    if (upper != nullptr) *upper = camera->config.maxExposureMs;
    if (step != nullptr) *step = camera->config.lineTimeMs;
    return 0;
}

} // namespace ops

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
    UeyeSdk t;
    t.OpenCamera = &ops::OpenCamera;
    t.EnableErrorReport = &ops::EnableErrorReport;
    t.ReadColourDepth = &ops::ReadColourDepth;
    t.ReadSensorRecord = &ops::ReadSensorRecord;
    t.AllocateImageMemory = &ops::AllocateImageMemory;
    t.SetColourMode = &ops::SetColourMode;
    t.ActivateImageMemory = &ops::ActivateImageMemory;
    t.SetImageSize = &ops::SetImageSize;
    t.Configure = &ops::Configure;
    t.ConfigureBeforeLive = &ops::ConfigureBeforeLive;
    t.SetExposure = &ops::SetExposure;
    t.ApplyParameterFile = &ops::ApplyParameterFile;
    t.StartLiveCapture = &ops::StartLiveCapture;
    t.StopLiveCapture = &ops::StopLiveCapture;
    t.StoreParameters = &ops::StoreParameters;
    t.FreeImageMemory = &ops::FreeImageMemory;
    t.CloseCamera = &ops::CloseCamera;
    t.RegisterFrameEvent = &ops::RegisterFrameEvent;
    t.EnableEvent = &ops::EnableEvent;
    t.QueryStatus = &ops::QueryStatus;
    t.ReadExposureRange = &ops::ReadExposureRange;
    return t;
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
