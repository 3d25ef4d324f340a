// Live video, the acquisition thread that counts frame events, and frames
// handed out as pixel buffers or raw files.
#include "Boost/BoostTools.h"
#include "grabber/IdsUeye.h"
#include "grabber/UeyeSdk.h"
#include "platform/WinEvent.h"

#include <boost/bind/bind.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/thread.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

const uint32_t kOpenPollMs = 10;
const uint32_t kEventWaitMs = 1000;
const uint32_t kFramePollMs = 20;
const uint32_t kStopPollMs = 10;
const int32_t kFrameEventKind = 2;

} // namespace

void IdsUeye::StartLive() {
    const std::string& path = parameterFileName;
    UeyeSdk::Current().ConfigureBeforeLive(sdkCamera, 0, 0);
    UeyeSdk::Current().ApplyParameterFile(sdkCamera, path.c_str());
    UeyeSdk::Current().StartLiveCapture(sdkCamera, 0);
    GrabberMessage("start Live");
    live = true;
}

void IdsUeye::StopLive() {
    if (!live) return;
    UeyeSdk::Current().StopLiveCapture(sdkCamera, 1);
    StoreParameters();
    live = false;
}

boost::thread* IdsUeye::StartAcquisition() {
    // Exactly one loop counts frames: a loop still running hands over to the
    // new one. The caller's earlier thread object then ends and can be joined.
    StopAcquisition();
    threadState = ThreadStarting;
    ++activeLoops;
    boost::thread* thread = nullptr;
    try {
        thread = new (std::nothrow) boost::thread(boost::bind(&IdsUeye::AcquisitionLoop, this));
    } catch (...) {
        // No loop runs: leave no state that a stop request would wait on.
        threadState = ThreadStopped;
        --activeLoops;
        throw;
    }
    if (thread == nullptr) {
        threadState = ThreadStopped;
        --activeLoops;
    }
    acquisitionThread = thread;
    return thread;
}

void IdsUeye::AcquisitionLoop() {
    HANDLE event = nullptr;
    bool registered = false;
    uint32_t registeredOpen = 0; // the open count the event was registered at
    for (;;) {
        // A stop request ends the loop in every phase.
        const int32_t state = threadState.load();
        if (state != ThreadStarting && state != ThreadRunning) break;
        if (!cameraOpen) {
            BoostTools::delay(kOpenPollMs);
            continue;
        }
        if (event == nullptr) {
            event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            if (event == nullptr) break;
            boost::lock_guard<boost::mutex> lock(wakeLock);
            wakeEvent = event;
        }
        const uint32_t opened = openCount.load();
        if (!registered || opened != registeredOpen) {
            // The camera that is open now, not one closed since.
            const uint32_t camera = sdkCamera.load();
            UeyeSdk::Current().RegisterFrameEvent(camera, event, kFrameEventKind);
            UeyeSdk::Current().EnableEvent(camera, kFrameEventKind);
            registered = true;
            registeredOpen = opened;
            // Only a starting thread moves on to running: a stop request made
            // in the meantime is kept.
            int32_t expected = ThreadStarting;
            threadState.compare_exchange_strong(expected, ThreadRunning);
            continue;
        }
        if (WaitForSingleObject(event, kEventWaitMs) == WAIT_OBJECT_0) {
            // The event is manual-reset: clear it so that the next wait ends
            // only on the next frame or wake.
            ResetEvent(event);
            // A wake for a stop or a newly opened camera is not a frame.
            if (threadState.load() == ThreadRunning && openCount.load() == registeredOpen) {
                ++frameCounter;
            }
        }
    }
    if (event != nullptr) {
        {
            boost::lock_guard<boost::mutex> lock(wakeLock);
            wakeEvent = nullptr;
        }
        CloseHandle(event);
    }
    threadState = ThreadStopped;
    --activeLoops; // last access to this object
}

void IdsUeye::WakeLoop() {
    boost::lock_guard<boost::mutex> lock(wakeLock);
    if (wakeEvent != nullptr) SetEvent(wakeEvent);
}

void IdsUeye::StopAcquisition() {
    if (activeLoops.load() == 0) return; // no thread runs

    int32_t state = threadState.load();
    while ((state == ThreadStarting || state == ThreadRunning) &&
           !threadState.compare_exchange_weak(state, ThreadStopping)) {
    }
    // The loop may be waiting for a frame: wake it instead of waiting out
    // the event wait.
    WakeLoop();
    while (activeLoops.load() != 0) BoostTools::delay(kStopPollMs);
}

// Waits until the acquisition thread has counted a frame, for at most
// FrameWaitLimitMs, and not at all beyond one poll when no thread counts.
void IdsUeye::WaitForNewFrame() {
    frameCounter = 0;
    uint32_t waited = 0;
    do {
        BoostTools::delay(kFramePollMs);
        waited += kFramePollMs;
        const int32_t state = threadState.load();
        if (state != ThreadStarting && state != ThreadRunning) return;
    } while (frameCounter.load() == 0 && waited < FrameWaitLimitMs);
}

// The part both CopyImage forms share: the camera index test, the checks and
// the optional wait for a new frame. Returns the number of pixels to copy, 0
// when the buffer is to be left untouched.
size_t IdsUeye::PrepareCopy(uint32_t camera, const void* buffer, bool wait) {
    TestCameraIndex(camera);
    if (imageMemory == nullptr || !cameraOpen || buffer == nullptr) return 0;
    if (live && camera == 0 && wait) WaitForNewFrame();

    const int32_t height = ImageHeight(camera);
    const int32_t width = ImageWidth(camera);
    if (height <= 0 || width <= 0) return 0;
    return size_t(height) * size_t(width);
}

void IdsUeye::CopyImage(uint32_t camera, uint32_t* buffer, bool wait) {
    const size_t n = PrepareCopy(camera, buffer, wait);
    const unsigned char* source = imageMemory;
    if (negativeFrames) {
        for (size_t i = 0; i < n; ++i) buffer[i] = 255u - source[i];
    } else {
        for (size_t i = 0; i < n; ++i) buffer[i] = source[i];
    }
}

void IdsUeye::CopyImage(uint32_t camera, unsigned char* buffer, bool wait) {
    const size_t n = PrepareCopy(camera, buffer, wait);
    if (n == 0) return;
    const unsigned char* source = imageMemory;
    if (negativeFrames) {
        for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(255 - source[i]);
    } else {
        std::memcpy(buffer, source, n);
    }
}

void IdsUeye::SaveRawImage(uint32_t camera, std::string fileName) {
    if (imageMemory == nullptr) return;
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr) {
        GrabberMessage("ERROR: Can not write " + fileName + ": " + std::strerror(errno));
        return;
    }
    const int32_t width = ImageWidth(camera);
    const int32_t height = ImageHeight(camera);
    const size_t size = width > 0 && height > 0 ? size_t(width) * size_t(height) : 0;
    const bool written = std::fwrite(imageMemory, 1, size, file) == size && std::fflush(file) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const int error = written ? errno : writeError;
        GrabberMessage("ERROR: Can not write " + fileName + ": " + std::strerror(error));
    }
}
