#pragma once

#include "grabber/IdsUeye.h"
#include "grabber/UeyeSdk.h"
#include "sim/SimulatedCamera.h"
#include "tests/TempDirectory.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace grabber_test {

// Wall-clock milliseconds the action takes.
inline long long MillisecondsOf(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// Puts the simulated camera behind the SDK table with a small sensor and a
// fast frame rate; the default configuration is restored when it ends.
class SimulatedCameraScope {
public:
    SimulatedCameraScope(int width, int height, double framesPerSecond) {
        UeyeSdk::InstallDefault();
        SimulatedCamera::Config config;
        config.width = width;
        config.height = height;
        config.framesPerSecond = framesPerSecond;
        SimulatedCamera::Configure(config);
    }
    ~SimulatedCameraScope() { SimulatedCamera::Configure(SimulatedCamera::Config()); }
};

// Collects everything written to std::cerr while it lives.
class CerrCapture {
public:
    CerrCapture() : previous(std::cerr.rdbuf(text.rdbuf())) {}
    ~CerrCapture() { std::cerr.rdbuf(previous); }
    std::string Text() const { return text.str(); }

private:
    std::ostringstream text;
    std::streambuf* previous;
};

// A fresh temporary directory (or the given path inside one) that is the
// working directory while it lives. Path() is the working directory as the
// system reports it.
class TempWorkingDirectory {
public:
    explicit TempWorkingDirectory(const std::string& inside = "")
        : old(std::filesystem::current_path()), root("grabber-test") {
        const std::filesystem::path path = root.Path() + inside;
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
        workingPath = std::filesystem::current_path().string();
    }
    ~TempWorkingDirectory() { std::filesystem::current_path(old); }
    const std::string& Path() const { return workingPath; }

private:
    std::filesystem::path old;
    TempDirectory root;
    std::string workingPath;
};

// Exposes the grabber's protected state to tests.
class Probe : public IdsUeye {
public:
    using IdsUeye::activeLoops;
    using IdsUeye::bitsPerPixel;
    using IdsUeye::cameraOpen;
    using IdsUeye::exposure;
    using IdsUeye::frameCounter;
    using IdsUeye::IdsUeye;
    using IdsUeye::imageMemory;
    using IdsUeye::imageWidth;
    using IdsUeye::live;
    using IdsUeye::parameterFileName;
    using IdsUeye::sdkCamera;
    using IdsUeye::spare1;
    using IdsUeye::spare2;
    using IdsUeye::threadState;
};

// A recording SDK: every call is logged as "Name(arguments)"; image memory
// is filled with (x + 2y) mod 256.
struct FakeSdk {
    struct Settings {
        int32_t openStatus = 0;
        int32_t reportStatus = 0;
        uint32_t handle = 7;
        int32_t width = 16;
        int32_t height = 8;
        double exposureTaken = -1; // < 0: the requested value is taken
        bool fillRange = true;
        double lower = 0.5, upper = 64.0;
        int registerDelayMs = 0;
        int32_t storeStatus = 0;
    };

    static boost::mutex& Mutex() {
        static boost::mutex mutex;
        return mutex;
    }
    static std::vector<std::string>& Log() {
        static std::vector<std::string> log;
        return log;
    }
    static Settings& Config() {
        static Settings settings;
        return settings;
    }
    static std::map<int32_t, std::vector<unsigned char>>& Memories() {
        static std::map<int32_t, std::vector<unsigned char>> memories;
        return memories;
    }
    static int32_t& NextId() {
        static int32_t next = 1;
        return next;
    }
    static HANDLE& LastEventSlot() {
        static HANDLE event = nullptr;
        return event;
    }
    static HANDLE LastEvent() {
        boost::lock_guard<boost::mutex> lock(Mutex());
        return LastEventSlot();
    }
    static std::vector<std::string> Calls() {
        boost::lock_guard<boost::mutex> lock(Mutex());
        return Log();
    }
    static void Clear() {
        boost::lock_guard<boost::mutex> lock(Mutex());
        Log().clear();
    }

    static void Record(const std::string& call) {
        boost::lock_guard<boost::mutex> lock(Mutex());
        Log().push_back(call);
    }
    template <typename... A> static std::string Text(const char* name, A... arguments) {
        std::ostringstream text;
        text << name << "(";
        const char* separator = "";
        using expand = int[];
        (void)expand{0, ((text << separator << arguments), separator = ",", 0)...};
        text << ")";
        return text.str();
    }
    static std::string MemoryName(unsigned char* memory) {
        for (auto& m : Memories())
            if (m.second.data() == memory) return "mem" + std::to_string(m.first);
        return memory == nullptr ? "null" : "unknown";
    }

    static int32_t UEYE_SDK_CALL OpenCamera(uint32_t* handle, void* window) {
        Record(Text("OpenCamera", *handle, window == nullptr ? "null" : "window"));
        if (Config().openStatus == 0) *handle = Config().handle;
        return Config().openStatus;
    }
    static int32_t UEYE_SDK_CALL EnableErrorReport(uint32_t h, int32_t mode) {
        Record(Text("EnableErrorReport", h, mode));
        return Config().reportStatus;
    }
    static int32_t UEYE_SDK_CALL ReadColourDepth(uint32_t h, int32_t* bpp, int32_t* mode) {
        Record(Text("ReadColourDepth", h));
        *bpp = 32;
        *mode = 0;
        return 0;
    }
    static int32_t UEYE_SDK_CALL ReadSensorRecord(uint32_t h, void* record) {
        Record(Text("ReadSensorRecord", h));
        unsigned char bytes[80] = {};
        std::memcpy(bytes + 36, &Config().width, 4);
        std::memcpy(bytes + 40, &Config().height, 4);
        std::memcpy(record, bytes, 80);
        return 0;
    }
    static int32_t UEYE_SDK_CALL AllocateImageMemory(uint32_t h, int32_t w, int32_t ht, int32_t bpp,
                                                     unsigned char** memory, int32_t* id) {
        const int32_t made = NextId()++;
        std::vector<unsigned char> bytes(size_t(w) * size_t(ht));
        for (int32_t y = 0; y < ht; ++y)
            for (int32_t x = 0; x < w; ++x) bytes[size_t(y) * w + x] = (x + 2 * y) & 0xFF;
        Memories()[made] = std::move(bytes);
        *memory = Memories()[made].data();
        *id = made;
        Record(Text("AllocateImageMemory", h, w, ht, bpp));
        return 0;
    }
    static int32_t UEYE_SDK_CALL SetColourMode(uint32_t h, int32_t mode) {
        Record(Text("SetColourMode", h, mode));
        return 0;
    }
    static int32_t UEYE_SDK_CALL ActivateImageMemory(uint32_t h, unsigned char* memory,
                                                     int32_t id) {
        Record(Text("ActivateImageMemory", h, MemoryName(memory), id));
        return 0;
    }
    static int32_t UEYE_SDK_CALL SetImageSize(uint32_t h, int32_t w, int32_t ht) {
        Record(Text("SetImageSize", h, w, ht));
        return 0;
    }
    static int32_t UEYE_SDK_CALL Configure(uint32_t h, int32_t v) {
        Record(Text("Configure", h, v));
        return 0;
    }
    static int32_t UEYE_SDK_CALL ConfigureBeforeLive(uint32_t h, int32_t a, int32_t b) {
        Record(Text("ConfigureBeforeLive", h, a, b));
        return 0;
    }
    static int32_t UEYE_SDK_CALL SetExposure(uint32_t h, double ms, double* taken) {
        Record(Text("SetExposure", h, ms, *taken));
        if (Config().exposureTaken >= 0) *taken = Config().exposureTaken;
        return 0;
    }
    static int32_t UEYE_SDK_CALL ApplyParameterFile(uint32_t h, const char* path) {
        Record(Text("ApplyParameterFile", h, path));
        return 0;
    }
    static int32_t UEYE_SDK_CALL StartLiveCapture(uint32_t h, int32_t wait) {
        Record(Text("StartLiveCapture", h, wait));
        return 0;
    }
    static int32_t UEYE_SDK_CALL StopLiveCapture(uint32_t h, int32_t wait) {
        Record(Text("StopLiveCapture", h, wait));
        return 0;
    }
    static int32_t UEYE_SDK_CALL StoreParameters(uint32_t h, const char* path) {
        Record(Text("StoreParameters", h, path));
        return Config().storeStatus;
    }
    static int32_t UEYE_SDK_CALL FreeImageMemory(uint32_t h, unsigned char* memory, int32_t id) {
        Record(Text("FreeImageMemory", h, MemoryName(memory), id));
        Memories().erase(id);
        return 0;
    }
    static int32_t UEYE_SDK_CALL CloseCamera(uint32_t h) {
        Record(Text("CloseCamera", h));
        return 0;
    }
    static std::atomic<bool>& Registering() {
        static std::atomic<bool> registering(false);
        return registering;
    }
    static bool LastEventSeen() { return Registering().load(); }
    static int32_t UEYE_SDK_CALL RegisterFrameEvent(uint32_t h, HANDLE event, int32_t kind) {
        Registering() = true;
        if (Config().registerDelayMs > 0)
            boost::this_thread::sleep_for(boost::chrono::milliseconds(Config().registerDelayMs));
        {
            boost::lock_guard<boost::mutex> lock(Mutex());
            LastEventSlot() = event;
        }
        Record(Text("RegisterFrameEvent", h, kind));
        return 0;
    }
    static int32_t UEYE_SDK_CALL EnableEvent(uint32_t h, int32_t kind) {
        Record(Text("EnableEvent", h, kind));
        return 0;
    }
    static int32_t UEYE_SDK_CALL QueryStatus(uint32_t h, uint32_t* word, void* reserved) {
        Record(Text("QueryStatus", h, reserved == nullptr ? "null" : "?"));
        *word = 0xDEAD;
        return 0;
    }
    static int32_t UEYE_SDK_CALL ReadExposureRange(uint32_t h, double* lower, double* upper,
                                                   double*) {
        Record(Text("ReadExposureRange", h));
        if (Config().fillRange) {
            *lower = Config().lower;
            *upper = Config().upper;
        }
        return 0;
    }

    // Installs the fake with fresh settings and an empty log.
    static void Install() {
        Config() = Settings();
        Clear();
        LastEventSlot() = nullptr;
        Registering() = false;
        NextId() = 1;
        UeyeSdk t;
        t.OpenCamera = &OpenCamera;
        t.EnableErrorReport = &EnableErrorReport;
        t.ReadColourDepth = &ReadColourDepth;
        t.ReadSensorRecord = &ReadSensorRecord;
        t.AllocateImageMemory = &AllocateImageMemory;
        t.SetColourMode = &SetColourMode;
        t.ActivateImageMemory = &ActivateImageMemory;
        t.SetImageSize = &SetImageSize;
        t.Configure = &Configure;
        t.ConfigureBeforeLive = &ConfigureBeforeLive;
        t.SetExposure = &SetExposure;
        t.ApplyParameterFile = &ApplyParameterFile;
        t.StartLiveCapture = &StartLiveCapture;
        t.StopLiveCapture = &StopLiveCapture;
        t.StoreParameters = &StoreParameters;
        t.FreeImageMemory = &FreeImageMemory;
        t.CloseCamera = &CloseCamera;
        t.RegisterFrameEvent = &RegisterFrameEvent;
        t.EnableEvent = &EnableEvent;
        t.QueryStatus = &QueryStatus;
        t.ReadExposureRange = &ReadExposureRange;
        UeyeSdk::Install(t);
    }
};

// Installs the fake SDK for one test and restores the default afterwards.
class FakeSdkScope {
public:
    FakeSdkScope() { FakeSdk::Install(); }
    ~FakeSdkScope() { UeyeSdk::InstallDefault(); }
};

} // namespace grabber_test
