#pragma once

// What framegrab and its frame module share across the module boundary: the
// frame job and the live view's job, the types of the module's entry points,
// and the exit codes.

#include <string>

class FrameGrabber;

// How the frames grabbed so far are reported on standard output.
enum class FrameProgress {
    InPlace, // one line rewritten after each frame: a terminal
    Lines,   // one line per frame: logs and pipes
    None,    // nothing
};

// What the frame module does for the host program: grab, transform and write
// the frames. The module uses the image class exported by the plug-in, so the
// host loads it only after the plug-in, and the module binds to the plug-in's
// symbols at that moment; the host itself needs no image symbols at start-up.
struct FrameJob {
    int frames = 10;
    std::string output;
    bool rotate = false;
    float angle = 0;
    long resampleWidth = 0;
    long resampleHeight = 0;
    bool dither = false;
    long ditherMethod = 0;
    int threads = 1; // for the image operations, CxImage::SetThreadCount
    FrameProgress progress = FrameProgress::Lines;
};

// Exit codes shared by the program and the module.
enum FramegrabExit {
    FramegrabSuccess = 0,
    FramegrabUsage = 1,
    FramegrabPluginMissing = 2,
    FramegrabCameraFailed = 3,
    FramegrabOutputUnwritable = 4,
    FramegrabFrameFailed = 5,
    FramegrabServeFailed = 6, // the live view's address could not be bound
};

// Grabs job.frames frames from an open, live grabber, each after waiting for
// a new frame, and writes them as BMP and PNG. Returns an exit code.
typedef int (*RunFrameJobFunction)(FrameGrabber& grabber, const FrameJob& job);

// What the live view serves: where it listens and what it says about the
// plug-in. The camera is open and live when the module is called.
struct LiveJob {
    std::string address = "127.0.0.1:8080"; // [ADDRESS:]PORT, port 0 picks a free one
    std::string pluginVersion;              // the plug-in's interface text
    bool negative = false;                  // the negative switch at the start
};

// Serves the live view of an open, live grabber until SIGINT or SIGTERM, then
// returns with the grabber still live, for the caller to stop and close it.
// Returns an exit code. Not in the Windows builds.
typedef int (*RunLiveServerFunction)(FrameGrabber& grabber, const LiveJob& job);

// Writes the cameras that can be opened to standard output, one a line: the
// choice text for --device, a tab and what the camera is. Returns an exit code.
typedef int (*ListCameraDevicesFunction)();

// The instruction-set level of the image library's kernels in use
// (CxImage::GetSimdLevel), from the frame module.
typedef const char* (*ImageSimdLevelFunction)();
