#pragma once

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
};

// Grabs job.frames frames from an open, live grabber, each after waiting for
// a new frame, and writes them as BMP and PNG. Returns an exit code.
typedef int (*RunFrameJobFunction)(FrameGrabber& grabber, const FrameJob& job);

// The instruction-set level of the image library's kernels in use
// (CxImage::GetSimdLevel), from the frame module.
typedef const char* (*ImageSimdLevelFunction)();
