#pragma once

#include "grabber/CameraMemories.h"
#include "grabber/UeyeSdk.h"

#include <arv.h>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The state of one open GenICam camera, shared by its operations, its frame
// receiver and its teardown.
struct GenicamDevice : std::enable_shared_from_this<GenicamDevice> {
    std::string name; // how the host asked for it, for messages
    ArvCamera* camera = nullptr;
    gulong lostHandler = 0;

    // What was found at open.
    int32_t width = 0;
    int32_t height = 0;
    std::string pixelFormat; // Mono8, Mono10, Mono12 or Mono16
    ArvPixelFormat pixelCode = 0;
    std::string exposureFeature; // ExposureTime or ExposureTimeAbs, empty when none
    std::string gainFeature;     // Gain or GainRaw, empty when none
    bool gainIsFloat = false;
    bool hasFrameRate = false;
    // Read again after each change; a host may read them while another of
    // its threads changes the exposure.
    std::atomic<double> exposureLowerUs{0}, exposureUpperUs{0};

    // Guards the memories, the receiver and the pending teardown count.
    boost::mutex mutex;
    CameraMemories memories;
    boost::condition_variable settled;
    int pendingTeardowns = 0; // live streams still being stopped off the host's thread

    // The live stream and its receiver, while live.
    ArvStream* stream = nullptr;
    boost::thread receiver;
    std::atomic<bool> stopReceiving{false};
    std::atomic<bool> streamReleased{false}; // the receiver handed it to the teardown
    // Seconds without any frame after which the camera is taken as lost.
    std::atomic<double> silenceLimit{10.0};

    std::atomic<uint64_t> delivered{0};
    std::atomic<uint64_t> dropped{0};
    std::atomic<bool> lost{false};
    // Why frames stop or are dropped, written once on the host's thread.
    boost::mutex noticeLock;
    std::string notice;
    bool lossNoticed = false, mismatchNoticed = false;

    // Records a notice for the host's next call; only the first of a kind.
    void Notice(const std::string& text, bool& noticed) {
        boost::lock_guard<boost::mutex> lock(noticeLock);
        if (noticed) return;
        noticed = true;
        notice += text + "\n";
    }
    // Marks the camera as lost, with the reason written once.
    void Lose(const std::string& reason) {
        lost = true;
        Notice("GenICam camera " + name + ": " + reason, lossNoticed);
    }
};

// Text of an Aravis error, which it then frees.
std::string ErrorText(GError*& error);

// The frame receiver (GenicamStream.cpp). StartStream creates the stream with
// its buffers, starts acquisition and the receiver; the device's lock must not
// be held. TakeStream stops the receiver and hands over the stream, for
// StopAcquisition to end off the host's thread.
bool StartStream(GenicamDevice& device, std::string& error);
ArvStream* TakeStream(GenicamDevice& device);
// The longest silence of a working camera: a few of its frame times (the
// longer of its frame period and its exposure) plus a margin. Read again
// whenever exposure or frame rate change.
void UpdateSilenceLimit(GenicamDevice& device);
// A camera that fails to stop is taken as lost.
void StopAcquisition(GenicamDevice& device, ArvStream* stream);

// Copies one frame of the device's pixel format into an 8-bit memory: Mono8
// as it is, 16-bit samples (Mono10/12/16, little-endian) by their top eight
// of `bits` bits. Exposed for tests.
void CopyFramePixels(const unsigned char* source, size_t pixels, unsigned bits,
                     unsigned char* target);

// Runs jobs in order on a thread of the plug-in's own (Teardown.cpp), joined
// when the plug-in is unloaded; WaitIdle waits at most `limit` for the queue.
void RunOffThread(std::function<void()> job);
bool WaitIdle(std::chrono::milliseconds limit);
