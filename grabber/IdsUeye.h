#pragma once

#include "grabber/FrameGrabber.h"
#include "platform/Export.h"

#include <boost/thread/mutex.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// The grabber for one uEye camera, reached through the SDK table (UeyeSdk).
//
// The host's thread makes every call; the acquisition thread runs only
// AcquisitionLoop. They share the open flag, the thread state, the frame
// counter, the camera handle and the open count, which are atomic, and the
// loop's frame event, which is guarded by a lock so that the host can wake
// the loop.
class UEYE_EXPORT IdsUeye : public FrameGrabber {
public:
    // Acquisition thread states.
    enum : int32_t {
        ThreadNone = 0,     // no thread was started
        ThreadStarting = 1, // started, waiting for the open flag
        ThreadRunning = 2,  // counting frame events
        ThreadStopping = 8, // stop requested
        ThreadStopped = 9,  // ended
    };

    explicit IdsUeye(const std::string& parameterFile);
    ~IdsUeye() override;

    bool QueryCameraStatus() override;
    int32_t MaxExposure() override;
    int32_t MinExposure() override;
    void GrabImage(uint32_t camera, CxImage* image) override;
    CxImage GrabImage(uint32_t camera) override;
    int32_t CameraGain(uint32_t camera) override;
    void CameraGain(uint32_t camera, int32_t gain) override;
    int32_t BitsPerPixel(uint32_t camera) override;
    int32_t ImageWidth(uint32_t camera) override;
    int32_t ImageHeight(uint32_t camera) override;
    void CloseCamera(uint32_t camera) override;
    void StopAcquisition() override;
    void SetColor(int32_t colour, int32_t* value) override;
    void AdjustCameraGain(uint32_t camera) override;
    GrabberText CameraDescription() override;
    void StopLive() override;
    void CopyImage(uint32_t camera, uint32_t* buffer, bool wait) override;
    void CopyImage(uint32_t camera, unsigned char* buffer, bool wait) override;
    void StartLive() override;
    void OpenCamera(uint32_t camera) override;
    boost::thread* StartAcquisition() override;
    void SaveRawImage(uint32_t camera, std::string fileName) override;
    void CheckCameraIndex(uint32_t camera, const std::string& caller) override;
    int32_t Exposure(uint32_t camera, uint32_t* microseconds) override;
    void SetNegative(bool negative) override;

    // Run by the acquisition thread: waits for the camera to be open, then
    // counts frame events until a stop is requested. When the camera is
    // closed and opened again, the loop registers its event with the camera
    // now open.
    void AcquisitionLoop();

    // Longest time WaitForNewFrame waits for a frame, in milliseconds.
    static const uint32_t FrameWaitLimitMs = 3000;

    // Frame events the acquisition thread has counted. A CopyImage that waits
    // sets the count back to 0; a host that never does so reads a running
    // count, from which it tells new frames and missed ones.
    uint32_t FramesCounted() const { return frameCounter.load(); }

    // The SDK's handle of the open camera, 0 when none.
    uint32_t SdkHandle() const { return sdkCamera.load(); }

protected:
    int32_t exposure; // microseconds
    boost::thread* acquisitionThread;
    bool negativeFrames;
    std::atomic<uint32_t> frameCounter;
    std::atomic<int32_t> threadState;
    std::atomic<uint32_t> sdkCamera; // SDK handle, 0 when none
    int32_t lastStatus;
    int32_t colourMode;
    int32_t bitsPerPixel;
    int32_t imageWidth;
    int32_t imageHeight;
    int32_t memoryId;
    unsigned char* imageMemory; // owned by the SDK

    // Acquisition loops that have not yet finished; the last thing a loop
    // does is to decrement it, so at 0 no thread uses the grabber any more.
    std::atomic<int32_t> activeLoops;

    // Successful opens so far: the loop re-registers its event when it changes.
    std::atomic<uint32_t> openCount;
    // The running loop's frame event, null when none; setting it wakes the loop.
    boost::mutex wakeLock;
    void* wakeEvent; // event HANDLE

private:
    // Writes "Only One Camera Supported" for any camera but 0.
    void TestCameraIndex(uint32_t camera);
    void ReleaseCamera();
    // Sets the running loop's event so that it looks at its state at once.
    void WakeLoop();
    // Has the SDK store the camera's parameters; a failure is reported.
    void StoreParameters();
    void WaitForNewFrame();
    size_t PrepareCopy(uint32_t camera, const void* buffer, bool wait);
    void BuildFrameImage(uint32_t camera, CxImage& target);
};

// Writes one message line to the standard error stream and flushes it.
void GrabberMessage(const std::string& text);
