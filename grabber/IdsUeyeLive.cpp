// Live video, the acquisition thread that counts frame events, and frames
// handed out as pixel buffers or raw files.
#include "Boost/BoostTools.h"
#include "grabber/IdsUeye.h"
#include "grabber/UeyeSdk.h"
#include "platform/WinEvent.h"

#include <boost/bind/bind.hpp>
#include <boost/thread/thread.hpp>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const uint32_t kOpenPollMs = 10;
const uint32_t kEventWaitMs = 1000;
const uint32_t kFramePollMs = 20;
const uint32_t kStopPollMs = 100;
const int32_t kFrameEventKind = 2;

} // namespace

void IdsUeye::StartLive() {
    const std::string& path = m_parameterFile;
    UeyeSdk::Current().ConfigureBeforeLive(m_camera, 0, 0);
    UeyeSdk::Current().ApplyParameterFile(m_camera, path.c_str());
    UeyeSdk::Current().StartLiveCapture(m_camera, 0);
    GrabberMessage("start Live");
    m_live = true;
}

void IdsUeye::StopLive() {
    if (!m_live) return;
    UeyeSdk::Current().StopLiveCapture(m_camera, 1);
    UeyeSdk::Current().StoreParameters(m_camera, m_parameterFile.c_str());
    m_live = false;
}

boost::thread* IdsUeye::StartAcquisition() {
    m_threadState = ThreadStarting;
    ++m_activeLoops;
    boost::thread* thread = nullptr;
    try {
        thread = new (std::nothrow) boost::thread(boost::bind(&IdsUeye::AcquisitionLoop, this));
    } catch (...) {
        // No loop runs: leave no state that a stop request would wait on.
        m_threadState = ThreadStopped;
        --m_activeLoops;
        throw;
    }
    if (thread == nullptr) {
        m_threadState = ThreadStopped;
        --m_activeLoops;
    }
    m_acquisitionThread = thread;
    return thread;
}

void IdsUeye::AcquisitionLoop() {
    // Wait for the camera; a stop request ends the wait.
    while (!m_open && m_threadState.load() != ThreadStopping) BoostTools::delay(kOpenPollMs);

    HANDLE event = nullptr;
    if (m_threadState.load() != ThreadStopping) {
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    if (event != nullptr) {
        UeyeSdk::Current().RegisterFrameEvent(m_camera, event, kFrameEventKind);
        UeyeSdk::Current().EnableEvent(m_camera, kFrameEventKind);

        // Only a starting thread moves on to running: a stop request made in
        // the meantime is kept.
        int32_t expected = ThreadStarting;
        if (m_threadState.compare_exchange_strong(expected, ThreadRunning)) {
            do {
                if (WaitForSingleObject(event, kEventWaitMs) == WAIT_OBJECT_0) {
                    ++m_frameCounter;
                    // The event is manual-reset: clear it so that the next
                    // wait ends only on the next frame.
                    ResetEvent(event);
                }
            } while (m_threadState.load() == ThreadRunning);
        }
        CloseHandle(event);
    }
    m_threadState = ThreadStopped;
    --m_activeLoops; // last access to this object
}

void IdsUeye::StopAcquisition() {
    if (m_activeLoops.load() == 0) return; // no thread runs

    int32_t state = m_threadState.load();
    while ((state == ThreadStarting || state == ThreadRunning) &&
           !m_threadState.compare_exchange_weak(state, ThreadStopping)) {
    }
    while (m_activeLoops.load() != 0) BoostTools::delay(kStopPollMs);
}

// Waits until the acquisition thread has counted a frame, for at most
// FrameWaitLimitMs, and not at all beyond one poll when no thread counts.
void IdsUeye::WaitForNewFrame() {
    m_frameCounter = 0;
    uint32_t waited = 0;
    do {
        BoostTools::delay(kFramePollMs);
        waited += kFramePollMs;
        const int32_t state = m_threadState.load();
        if (state != ThreadStarting && state != ThreadRunning) return;
    } while (m_frameCounter.load() == 0 && waited < FrameWaitLimitMs);
}

// The part both CopyImage forms share: the camera index test, the checks and
// the optional wait for a new frame. Returns the number of pixels to copy, 0
// when the buffer is to be left untouched.
size_t IdsUeye::PrepareCopy(uint32_t camera, const void* buffer, bool wait) {
    TestCameraIndex(camera);
    if (m_imageMemory == nullptr || !m_open || buffer == nullptr) return 0;
    if (m_live && camera == 0 && wait) WaitForNewFrame();

    const int32_t height = ImageHeight(camera);
    const int32_t width = ImageWidth(camera);
    if (height <= 0 || width <= 0) return 0;
    return size_t(height) * size_t(width);
}

void IdsUeye::CopyImage(uint32_t camera, uint32_t* buffer, bool wait) {
    const size_t n = PrepareCopy(camera, buffer, wait);
    const unsigned char* source = m_imageMemory;
    if (m_negative) {
        for (size_t i = 0; i < n; ++i) buffer[i] = 255u - source[i];
    } else {
        for (size_t i = 0; i < n; ++i) buffer[i] = source[i];
    }
}

void IdsUeye::CopyImage(uint32_t camera, unsigned char* buffer, bool wait) {
    const size_t n = PrepareCopy(camera, buffer, wait);
    if (n == 0) return;
    const unsigned char* source = m_imageMemory;
    if (m_negative) {
        for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(255 - source[i]);
    } else {
        std::memcpy(buffer, source, n);
    }
}

void IdsUeye::SaveRawImage(uint32_t camera, std::string fileName) {
    if (m_imageMemory == nullptr) return;
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr) return;
    const int32_t width = ImageWidth(camera);
    const int32_t height = ImageHeight(camera);
    if (width > 0 && height > 0) {
        std::fwrite(m_imageMemory, 1, size_t(width) * size_t(height), file);
    }
    std::fclose(file);
}
