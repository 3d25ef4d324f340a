#pragma once

// The live view's HTTP server (framegrab --serve) and the camera facts it
// shows besides the grabber's.

#include "host/FrameJob.h"
#include "host/LiveFrames.h"

#include <functional>
#include <string>

// What the live view tells about the camera beyond the grabber: the device's
// counts and the choice it was opened with ("sim", "genicam:ID").
struct LiveDevice {
    std::function<LiveDeviceCounts()> counts;
    std::string name;
};

// The camera opened last (CameraDevice): its choice as made on the calling
// thread, and its counts.
LiveDevice ChosenCameraDevice();

// Serves the live view of an open, live grabber on job.address: prints
// "Serving on http://ADDRESS:PORT/" once listening, serves until SIGINT or
// SIGTERM, and returns an exit code with the grabber still live. The
// grabber's frame calls are made on one thread, its exposure calls on
// another, one at a time.
int ServeLive(FrameGrabber& grabber, const LiveJob& job, const LiveDevice& device);
