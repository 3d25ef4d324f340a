#pragma once

// The live view's frames: each frame taken once from the camera and shared by
// every viewer with its JPEG, PNG and histogram, the pipeline thread that
// takes and publishes them, and its figures.

#include "image/CxImage.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class FrameGrabber;

// Grey-level counts of one frame.
typedef std::array<uint64_t, 256> GreyHistogram;

// The JPEG of an 8-bit frame (grey levels through its palette), through
// TurboJPEG; an empty text and the reason when it cannot be made.
std::string EncodeJpeg(CxImage& image, int quality, std::string& error);

// The grey-level histogram of an 8-bit frame, counted through its palette.
GreyHistogram CountGreyLevels(CxImage& image);

// One frame taken from the camera, shared read-only by every viewer once it
// is published. Its JPEG, PNG and histogram are made once, by the first
// thread that asks; the others wait for that one and share the result.
class LiveFrame {
public:
    explicit LiveFrame(uint64_t number) : frameNumber(number) {}
    LiveFrame(const LiveFrame&) = delete;
    LiveFrame& operator=(const LiveFrame&) = delete;

    // Frames published before this one, plus one.
    uint64_t Number() const { return frameNumber; }
    // The image as the grabber gave it: filled before the frame is published,
    // only read after.
    CxImage& Image() const { return image; }

    const std::string& Jpeg() const; // empty when the frame cannot be encoded
    const std::string& Png() const;  // the frame as EncodePng writes it
    const GreyHistogram& Histogram() const;

private:
    const uint64_t frameNumber;
    // The image library's readers take images by non-const reference.
    mutable CxImage image;
    mutable std::once_flag jpegOnce, pngOnce, histogramOnce;
    mutable std::string jpeg, pngImage;
    mutable GreyHistogram histogram{};
};

// What the camera behind the grabber has done since it was opened.
struct LiveDeviceCounts {
    uint64_t delivered = 0; // whole frames
    uint64_t dropped = 0;   // incomplete frames the device threw away
    bool lost = false;      // the device stopped answering
    bool counted = false;   // the device counts its frames; else the counts say nothing
};

// The pipeline's figures since it started.
struct LiveStats {
    double fps = 0;      // frames taken per second over the last two seconds
    uint64_t frames = 0; // frames the device delivered
    uint64_t missed = 0; // frames dropped by the device or not taken by the pipeline
    uint64_t taken = 0;  // frames published
    bool lost = false;   // the device stopped answering
    double encodeMs = 0; // mean time of one JPEG encoding, recent frames weighing most
};

// One thread takes every frame from a live grabber and publishes it for all
// viewers; while anyone watches the stream it also encodes each frame's JPEG
// there, once for all of them. Only this thread calls the grabber's frame
// operations and SetNegative; the negative switch is handed over to it.
class LivePipeline {
public:
    LivePipeline(FrameGrabber& grabber, std::function<LiveDeviceCounts()> counts);
    ~LivePipeline();
    LivePipeline(const LivePipeline&) = delete;
    LivePipeline& operator=(const LivePipeline&) = delete;

    // Starts the thread; onFrame runs on it after each frame is published.
    void Start(std::function<void()> onFrame);
    // Ends the thread; waits at most for the grabber's frame wait.
    void Stop();

    std::shared_ptr<const LiveFrame> Latest() const;
    LiveStats Stats() const;

    // Takes effect from the next frame taken.
    void SetNegative(bool negative) { wantNegative = negative; }
    bool Negative() const { return wantNegative; }

    // Stream viewers watching: frames are encoded as they are taken while
    // there is at least one.
    void AddViewer() { ++viewers; }
    void RemoveViewer() { --viewers; }

    static const int JpegQuality = 80;

private:
    void Run();
    void Publish(std::shared_ptr<LiveFrame> frame, const LiveDeviceCounts& counts);

    FrameGrabber& liveGrabber;
    const std::function<LiveDeviceCounts()> deviceCounts;
    std::function<void()> frameHandler;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> wantNegative{false};
    std::atomic<int> viewers{0};

    mutable std::mutex stateLock; // guards what follows
    std::shared_ptr<const LiveFrame> latest;
    std::deque<std::chrono::steady_clock::time_point> recent; // times of recent frames
    LiveDeviceCounts startTime, last;
    LiveStats frameStats;
};
