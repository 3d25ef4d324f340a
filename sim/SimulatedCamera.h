#pragma once

#include "grabber/UeyeSdk.h"
#include "platform/Export.h"

#include <cstdint>
#include <string>

// A software camera behind the SDK table: the default SDK outside Windows,
// and the stand-in SDK library ueye_api.dll on Windows.
//
// It keeps a sensor record, image memories it allocates and frees itself, and
// a live-capture thread that writes a frame into the active image memory at
// the configured rate and then sets every registered and enabled frame event.
// The byte at column x of row y (row 0 first in memory, the top of the
// picture) of the n-th frame since live capture started (n from 0) is
// (x + 2y + n) mod 256.
//
// Exposure is quantised to whole sensor lines and bounded by the exposure
// range, the frame rate by the frame rate range. The parameter file is a small
// "key=value" text file read on apply (a file larger than 1 MiB is refused)
// and written on store; backslashes in its path are directory separators.
class UEYE_SIM_EXPORT SimulatedCamera {
public:
    struct Config {
        int width = 1280;
        int height = 1024;
        double framesPerSecond = 30.0; // clamped to the frame rate range
        double minFramesPerSecond = 1.0;
        double maxFramesPerSecond = 1000.0;
        bool openFails = false;        // no camera present
        bool errorReportFails = false; // the error report cannot be enabled
        double exposureMs = 33.0;      // exposure after opening
        double minExposureMs = 0.05;
        double maxExposureMs = 200.0;
        double lineTimeMs = 0.025; // exposure step
    };

    // A configuration applies to cameras opened after it.
    static void Configure(const Config& config);
    static Config Current();

    // The SDK table whose operations drive simulated cameras.
    static UeyeSdk Sdk();

    // Inspection of open cameras; unknown handles give 0.
    static int OpenCameras();
    static uint32_t LastOpenedHandle();
    static uint64_t FramesDelivered(uint32_t handle); // since the camera was opened
    static uint64_t EventsSignalled(uint32_t handle); // frames that set at least one event
    static double ExposureMs(uint32_t handle);
    static double FramesPerSecond(uint32_t handle);
    static bool IsLive(uint32_t handle);

    // Status codes the simulated operations return besides 0.
    enum : int32_t {
        NoSuchCamera = 1,
        NoCameraPresent = 3,
        BadParameter = 125,
        FileError = 126,
        ErrorReportUnavailable = 127,
    };
};

// Makes cameras opened from now on fail to open (true) or open (false). A C
// entry point, for programs that reach the simulator only at run time.
extern "C" UEYE_SIM_EXPORT void SimulateOpenFailure(bool fail);
