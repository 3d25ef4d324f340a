// The camera session: construction, opening and closing the camera, the
// dimension accessors and the single-camera rule.
#include "grabber/IdsUeye.h"
#include "grabber/UeyeSdk.h"

#include <cstring>
#include <exception>
#include <iostream>

void GrabberMessage(const std::string& text) {
    std::cerr << text << std::endl;
}

IdsUeye::IdsUeye(const std::string& parameterFile)
    : exposure(33000), acquisitionThread(nullptr), negativeFrames(false), frameCounter(0),
      threadState(ThreadNone), sdkCamera(0), lastStatus(0), colourMode(0), bitsPerPixel(0),
      imageWidth(0), imageHeight(0), memoryId(0), imageMemory(nullptr), activeLoops(0),
      openCount(0), wakeEvent(nullptr) {
    spare2 = 2;
    parameterFileName = parameterFile;
}

IdsUeye::~IdsUeye() {
    // The acquisition thread uses this object: end it first.
    if (activeLoops.load() != 0) StopAcquisition();
    if (cameraOpen) {
        try {
            StoreParameters();
            ReleaseCamera();
        } catch (const std::exception&) {
            GrabberMessage("Close Camera Failed");
        } catch (...) {
            GrabberMessage("Close Camera Failed");
        }
    }
}

// Frees the image memory and closes the camera when a handle is held; the
// camera is closed from then on.
void IdsUeye::ReleaseCamera() {
    if (sdkCamera == 0) return;
    UeyeSdk::Current().FreeImageMemory(sdkCamera, imageMemory, memoryId);
    imageMemory = nullptr;
    UeyeSdk::Current().CloseCamera(sdkCamera);
    cameraOpen = false;
}

void IdsUeye::StoreParameters() {
    const int32_t status = UeyeSdk::Current().StoreParameters(sdkCamera, parameterFileName.c_str());
    // Only an open camera has parameters to lose.
    if (status != 0 && cameraOpen) {
        GrabberMessage("ERROR: Can not store the camera parameters in " + parameterFileName + "!");
    }
}

void IdsUeye::TestCameraIndex(uint32_t camera) {
    if (camera != 0) GrabberMessage("Only One Camera Supported");
}

void IdsUeye::CheckCameraIndex(uint32_t camera, const std::string& caller) {
    if (camera != 0) GrabberMessage(caller + ":  Only One Camera Supported ");
}

void IdsUeye::OpenCamera(uint32_t camera) {
    if (cameraOpen) return;
    TestCameraIndex(camera);

    uint32_t handle = 0;
    lastStatus = UeyeSdk::Current().OpenCamera(&handle, nullptr);
    sdkCamera = handle;
    if (lastStatus != 0) {
        GrabberMessage("ERROR: Can not open uEye camera!");
        cameraOpen = false;
        return;
    }
    lastStatus = UeyeSdk::Current().EnableErrorReport(sdkCamera, 1);
    const int32_t reportStatus = lastStatus;

    UeyeSdk::Current().ReadColourDepth(sdkCamera, &bitsPerPixel, &colourMode);
    bitsPerPixel = 8;
    colourMode = 6;

    unsigned char sensor[80] = {};
    UeyeSdk::Current().ReadSensorRecord(sdkCamera, sensor);
    std::memcpy(&imageWidth, sensor + 36, sizeof imageWidth);
    std::memcpy(&imageHeight, sensor + 40, sizeof imageHeight);

    UeyeSdk::Current().AllocateImageMemory(sdkCamera, imageWidth, imageHeight, 8, &imageMemory,
                                           &memoryId);
    UeyeSdk::Current().SetColourMode(sdkCamera, 6);
    UeyeSdk::Current().ActivateImageMemory(sdkCamera, imageMemory, memoryId);
    UeyeSdk::Current().SetImageSize(sdkCamera, imageWidth, imageHeight);
    UeyeSdk::Current().Configure(sdkCamera, 1);

    ++openCount;
    cameraOpen = true;
    WakeLoop(); // a running loop moves its event to this camera
    if (reportStatus != 0) GrabberMessage("ERROR: Can not enable the automatic uEye error report!");
}

void IdsUeye::CloseCamera(uint32_t camera) {
    TestCameraIndex(camera);
    StoreParameters();
    if (cameraOpen) ReleaseCamera();
}

int32_t IdsUeye::BitsPerPixel(uint32_t camera) {
    TestCameraIndex(camera);
    return bitsPerPixel;
}

int32_t IdsUeye::ImageWidth(uint32_t camera) {
    TestCameraIndex(camera);
    return imageWidth;
}

int32_t IdsUeye::ImageHeight(uint32_t camera) {
    TestCameraIndex(camera);
    return imageHeight;
}
