// The part of framegrab that works on images; loaded after the plug-in.
#include "grabber/CameraDevice.h"
#include "grabber/FrameGrabber.h"
#include "host/FrameFiles.h"
#include "host/FrameJob.h"
#include "image/CxImage.h"
#include "platform/Export.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "host/LiveServer.h"
#endif

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

int Fail(int code, const std::string& message) {
    std::cerr << "framegrab: " << message << std::endl;
    return code;
}

// Writes the picture under a temporary name and gives it its own name only
// once it is complete: a failed write leaves no partial picture behind.
bool WritePicture(bool (*write)(CxImage&, const std::string&, std::string&), CxImage& picture,
                  const std::string& path, std::string& error) {
    const std::string partial = path + ".part";
    if (!write(picture, partial, error)) {
        std::remove(partial.c_str());
        return false;
    }
#if defined(_WIN32)
    const bool renamed = MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    const bool renamed = std::rename(partial.c_str(), path.c_str()) == 0;
#endif
    if (!renamed) {
        error = "cannot rename " + partial + " to " + path;
        std::remove(partial.c_str());
    }
    return renamed;
}

std::string FrameName(const std::string& folder, int index, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%04d.%s", index, extension);
    return folder + name;
}

bool Transform(CxImage& frame, const FrameJob& job, std::string& error) {
    if (job.rotate && !frame.Rotate2(job.angle)) {
        error = "rotation failed";
        return false;
    }
    if (job.resampleWidth > 0 && !frame.Resample2(job.resampleWidth, job.resampleHeight)) {
        error = "resampling failed";
        return false;
    }
    if (job.dither && !frame.Dither(job.ditherMethod)) {
        error = "dithering failed";
        return false;
    }
    return true;
}

void ReportProgress(const FrameJob& job, int done) {
    switch (job.progress) {
    case FrameProgress::InPlace:
        std::cout << "\rframe " << done << "/" << job.frames << std::flush;
        break;
    case FrameProgress::Lines:
        std::cout << "frame " << done << "/" << job.frames << std::endl;
        break;
    case FrameProgress::None:
        break;
    }
}

} // namespace

extern "C" UEYE_EXPORT_SYMBOL int ListCameraDevices() {
    for (const CameraDeviceEntry& entry : CameraDevice::List()) {
        std::cout << entry.choice << "\t" << entry.description << "\n";
    }
    std::cout << std::flush;
    return FramegrabSuccess;
}

extern "C" UEYE_EXPORT_SYMBOL const char* ImageSimdLevel() {
    return CxImage::GetSimdLevel();
}

extern "C" UEYE_EXPORT_SYMBOL int RunFrameJob(FrameGrabber& grabber, const FrameJob& job) {
    const int32_t width = grabber.ImageWidth(0);
    const int32_t height = grabber.ImageHeight(0);
    std::vector<unsigned char> pixels(size_t(width) * size_t(height));
    CxImage frame;
    CxImage::SetThreadCount(job.threads);
    const auto start = std::chrono::steady_clock::now();
    const CameraDeviceCounters first = CameraDevice::Counters();
    CameraDeviceCounters seen = first;
    for (int i = 0; i < job.frames; ++i) {
        grabber.CopyImage(0, pixels.data(), true); // waits for a new frame
        // A frame that did not come is not handed on as new.
        const CameraDeviceCounters now = CameraDevice::Counters();
        if (now.lost) return Fail(FramegrabCameraFailed, "the camera was lost");
        if (now.counted && now.delivered == seen.delivered) {
            return Fail(FramegrabCameraFailed,
                        "no frame came from the camera for frame " + std::to_string(i));
        }
        seen = now;
        grabber.GrabImage(0, &frame); // reuses the frame's buffer
        CxImage picture(frame);
        std::string error;
        if (!picture.IsValid()) {
            return Fail(FramegrabFrameFailed, "frame " + std::to_string(i) + " could not be taken");
        }
        if (!Transform(picture, job, error)) {
            return Fail(FramegrabFrameFailed, "frame " + std::to_string(i) + ": " + error);
        }
        if (!WritePicture(WriteBmp, picture, FrameName(job.output, i, "bmp"), error) ||
            !WritePicture(WritePng, picture, FrameName(job.output, i, "png"), error)) {
            return Fail(FramegrabOutputUnwritable,
                        "cannot write frame " + std::to_string(i) + ": " + error);
        }
        ReportProgress(job, i + 1);
    }
    // The line rewritten in place is ended before the summary.
    if (job.progress == FrameProgress::InPlace) std::cout << '\n';
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("Grabbed %d frames in %.2f s (%.1f frames per second) into %s\n", job.frames,
                seconds, seconds > 0 ? job.frames / seconds : 0.0, job.output.c_str());
    if (seen.counted) {
        // Frames the camera sent that were not written: too fast for the
        // writing, or incomplete and dropped.
        const uint64_t sent = seen.delivered - first.delivered + seen.dropped - first.dropped;
        std::printf("Missed %llu of %llu frames sent (%llu incomplete)\n",
                    static_cast<unsigned long long>(sent - uint64_t(job.frames)),
                    static_cast<unsigned long long>(sent),
                    static_cast<unsigned long long>(seen.dropped - first.dropped));
    }
    std::fflush(stdout);
    return FramegrabSuccess;
}

#if !defined(_WIN32)
extern "C" UEYE_EXPORT_SYMBOL int RunLiveServer(FrameGrabber& grabber, const LiveJob& job) {
    // The camera was chosen on this thread.
    return ServeLive(grabber, job, ChosenCameraDevice());
}
#endif
