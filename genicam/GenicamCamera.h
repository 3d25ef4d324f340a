#pragma once

#include "grabber/CameraDevice.h"
#include "grabber/UeyeSdk.h"

#include <string>
#include <vector>

// GenICam cameras (GigE Vision, USB3 Vision) behind the SDK table, over the
// Aravis library. Each camera is reached by the id, address or serial number
// its interface reports; its handles carry the top bit, so that they never
// meet the simulated camera's.
//
// The table maps the SDK operations onto the camera's standard features:
// Width and Height give the sensor record, PixelFormat is set to Mono8 (else
// Mono16, Mono12 or Mono10, of which the top eight bits are kept),
// ExposureTime or ExposureTimeAbs (microseconds) is the exposure, given to the
// grabber in milliseconds, and AcquisitionStart/Stop with a stream and a pool
// of buffers is live capture. Each whole frame is copied once into the active
// image memory, then the registered frame events are set; incomplete frames
// are counted and dropped. The parameter file keeps exposure, frame rate,
// pixel format and gain as "name=value" lines.
//
// A camera that stops answering (its control is lost, or it sends nothing
// for several frame times) is reported once on the standard error stream and
// refuses the operations that need it. Aravis's own teardown of such a camera
// blocks for seconds: it runs on a thread of its own, which is joined when
// the library is unloaded.
class GenicamCamera {
public:
    // The operations for open GenICam cameras; OpenCamera is Open's.
    static UeyeSdk Sdk();
    // Opens and takes control of the camera with this id, address or serial
    // number, or of the first camera found when id is empty. A camera that is
    // missing or cannot be driven gets a message and NoCameraPresent.
    static UeyeSdk::Status Open(const std::string& id, UeyeSdk::Handle* handle);
    // Every GenICam camera found on the machine's interfaces.
    static std::vector<CameraDeviceEntry> List();
    static CameraDeviceCounters Counters(UeyeSdk::Handle handle);

    // Status codes besides 0.
    enum : int32_t {
        NoSuchCamera = 1,
        NoCameraPresent = 3,
        BadParameter = 125,
        FileError = 126,
        DeviceError = 128, // the camera refused the request
        CameraLost = 129,  // the camera no longer answers
    };
};
