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
    : m_exposure(33000), m_acquisitionThread(nullptr), m_negative(false), m_frameCounter(0),
      m_threadState(ThreadNone), m_camera(0), m_lastStatus(0), m_colourMode(0), m_bitsPerPixel(0),
      m_width(0), m_height(0), m_memoryId(0), m_imageMemory(nullptr), m_activeLoops(0),
      m_openCount(0), m_wakeEvent(nullptr) {
    m_spare2 = 2;
    m_parameterFile = parameterFile;
}

IdsUeye::~IdsUeye() {
    // The acquisition thread uses this object: end it first.
    if (m_activeLoops.load() != 0) StopAcquisition();
    if (m_open) {
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
    if (m_camera == 0) return;
    UeyeSdk::Current().FreeImageMemory(m_camera, m_imageMemory, m_memoryId);
    m_imageMemory = nullptr;
    UeyeSdk::Current().CloseCamera(m_camera);
    m_open = false;
}

void IdsUeye::StoreParameters() {
    const int32_t status = UeyeSdk::Current().StoreParameters(m_camera, m_parameterFile.c_str());
    // Only an open camera has parameters to lose.
    if (status != 0 && m_open) {
        GrabberMessage("ERROR: Can not store the camera parameters in " + m_parameterFile + "!");
    }
}

void IdsUeye::TestCameraIndex(uint32_t camera) {
    if (camera != 0) GrabberMessage("Only One Camera Supported");
}

void IdsUeye::CheckCameraIndex(uint32_t camera, const std::string& caller) {
    if (camera != 0) GrabberMessage(caller + ":  Only One Camera Supported ");
}

void IdsUeye::OpenCamera(uint32_t camera) {
    if (m_open) return;
    TestCameraIndex(camera);

    uint32_t handle = 0;
    m_lastStatus = UeyeSdk::Current().OpenCamera(&handle, nullptr);
    m_camera = handle;
    if (m_lastStatus != 0) {
        GrabberMessage("ERROR: Can not open uEye camera!");
        m_open = false;
        return;
    }
    m_lastStatus = UeyeSdk::Current().EnableErrorReport(m_camera, 1);
    const int32_t reportStatus = m_lastStatus;

    UeyeSdk::Current().ReadColourDepth(m_camera, &m_bitsPerPixel, &m_colourMode);
    m_bitsPerPixel = 8;
    m_colourMode = 6;

    unsigned char sensor[80] = {};
    UeyeSdk::Current().ReadSensorRecord(m_camera, sensor);
    std::memcpy(&m_width, sensor + 36, sizeof m_width);
    std::memcpy(&m_height, sensor + 40, sizeof m_height);

    UeyeSdk::Current().AllocateImageMemory(m_camera, m_width, m_height, 8, &m_imageMemory,
                                           &m_memoryId);
    UeyeSdk::Current().SetColourMode(m_camera, 6);
    UeyeSdk::Current().ActivateImageMemory(m_camera, m_imageMemory, m_memoryId);
    UeyeSdk::Current().SetImageSize(m_camera, m_width, m_height);
    UeyeSdk::Current().Configure(m_camera, 1);

    ++m_openCount;
    m_open = true;
    WakeLoop(); // a running loop moves its event to this camera
    if (reportStatus != 0) GrabberMessage("ERROR: Can not enable the automatic uEye error report!");
}

void IdsUeye::CloseCamera(uint32_t camera) {
    TestCameraIndex(camera);
    StoreParameters();
    if (m_open) ReleaseCamera();
}

int32_t IdsUeye::BitsPerPixel(uint32_t camera) {
    TestCameraIndex(camera);
    return m_bitsPerPixel;
}

int32_t IdsUeye::ImageWidth(uint32_t camera) {
    TestCameraIndex(camera);
    return m_width;
}

int32_t IdsUeye::ImageHeight(uint32_t camera) {
    TestCameraIndex(camera);
    return m_height;
}
