#pragma once

#include "grabber/UeyeSdk.h"
#include "platform/Export.h"

#include <cstdint>
#include <string>
#include <vector>

// What a camera behind the default SDK table has done since it was opened.
struct CameraDeviceCounters {
    uint64_t delivered = 0; // whole frames written into the active image memory
    uint64_t dropped = 0;   // frames that arrived incomplete and were never delivered
    bool lost = false;      // the camera stopped answering; no frame will come
    bool counted = false;   // the camera counts its frames (not the SDK library)
};

// A camera that can be opened: its choice text and a line that describes it.
struct CameraDeviceEntry {
    std::string choice;      // "sim", "genicam:ID"
    std::string description; // maker, model, serial number, address
};

// The camera behind the default SDK table. The choice is read each time a
// camera is opened: the calling thread's own choice when it made one, else
// the environment variable UEYE_GRABBER_DEVICE, else "sim". "sim" (or an
// empty text) is the platform's own camera (the simulated camera, or the SDK
// library on Windows); "genicam" the first GenICam camera found;
// "genicam:ID" the GenICam camera whose id, address or serial number is ID.
// An unknown choice makes the open fail with a message that says why.
class UEYE_EXPORT CameraDevice {
public:
    // The choice the next open on this thread takes.
    static std::string Choice();
    // Makes opens on the calling thread take `choice`; an empty text goes back
    // to the environment variable.
    static void ChooseForThread(const std::string& choice);
    // Why `choice` cannot be opened by this build, or an empty text when it can.
    static std::string CheckChoice(const std::string& choice);

    // The cameras that can be opened now: the platform's own first, then
    // every GenICam camera found.
    static std::vector<CameraDeviceEntry> List();

    // The camera opened last that is still open; zeros when there is none.
    static CameraDeviceCounters Counters();
    // The open camera with this SDK handle; zeros when there is none.
    static CameraDeviceCounters Counters(UeyeSdk::Handle handle);

    // The default SDK table outside tests: each call goes to the camera the
    // handle was opened on.
    static UeyeSdk Table();
};
