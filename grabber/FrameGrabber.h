#pragma once

// FrameGrabber, the abstract camera grabber that hosts program against, and
// the fixed-size text record its operations hand out.

#include "image/CxImage.h"
#include "platform/Export.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace boost {
class thread;
}

// Fixed-size text record handed out by value (camera description).
struct GrabberText {
    char text[64];
};

// The abstract camera grabber the host programs against. One implementation
// per camera family; the host creates it through MakeGrabber and releases it
// through DeleteGrabber. Camera indices are unsigned 32-bit; only camera 0 is
// served.
class UEYE_EXPORT FrameGrabber {
public:
    FrameGrabber();
    FrameGrabber(const FrameGrabber& other);
    FrameGrabber& operator=(const FrameGrabber& other);
    virtual ~FrameGrabber();

    // The operations, in this fixed order (the host relies on it).
    virtual bool QueryCameraStatus() = 0;
    virtual int32_t MaxExposure() = 0;
    virtual int32_t MinExposure() = 0;
    virtual void GrabImage(uint32_t camera, CxImage* image) = 0;
    virtual CxImage GrabImage(uint32_t camera) = 0;
    virtual int32_t CameraGain(uint32_t camera) = 0;
    virtual void CameraGain(uint32_t camera, int32_t gain) = 0;
    virtual int32_t BitsPerPixel(uint32_t camera) = 0;
    virtual int32_t ImageWidth(uint32_t camera) = 0;
    virtual int32_t ImageHeight(uint32_t camera) = 0;
    virtual void CloseCamera(uint32_t camera) = 0;
    virtual void StopAcquisition() = 0;
    virtual void SetColor(int32_t colour, int32_t* value) = 0;
    virtual void AdjustCameraGain(uint32_t camera) = 0;
    virtual GrabberText CameraDescription() = 0;
    virtual void StopLive() = 0;
    virtual void CopyImage(uint32_t camera, uint32_t* buffer, bool wait) = 0;
    virtual void CopyImage(uint32_t camera, unsigned char* buffer, bool wait) = 0;
    virtual void StartLive() = 0;
    virtual void OpenCamera(uint32_t camera) = 0;
    virtual boost::thread* StartAcquisition() = 0;
    virtual void SaveRawImage(uint32_t camera, std::string fileName) = 0;
    virtual void CheckCameraIndex(uint32_t camera, const std::string& caller) = 0;
    virtual int32_t Exposure(uint32_t camera, uint32_t* microseconds) = 0;
    virtual void SetNegative(bool negative) = 0;

protected:
    int32_t spare1;
    bool live;                    // live video is running
    std::atomic<bool> cameraOpen; // camera open and configured; read by the acquisition thread
    std::string parameterFileName;
    int32_t spare2;
    bool spareFlag;
};
