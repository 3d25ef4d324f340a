#pragma once

#include "platform/Export.h"
#include "platform/WinEvent.h"

#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#define UEYE_SDK_CALL __stdcall
#else
#define UEYE_SDK_CALL
#endif

// The camera SDK as the grabber sees it: one function per SDK operation,
// each taking the 32-bit camera handle first (except OpenCamera, which
// produces it) and returning a 32-bit status, 0 meaning success.
//
// The grabber looks the table up at every call, so a table installed later
// takes effect at once. Install and InstallDefault must not race with calls.
struct UEYE_EXPORT UeyeSdk {
    typedef uint32_t Handle;
    typedef int32_t Status;

    Status(UEYE_SDK_CALL* OpenCamera)(Handle* handle, void* window);       // 237
    Status(UEYE_SDK_CALL* EnableErrorReport)(Handle handle, int32_t mode); // 25
    Status(UEYE_SDK_CALL* ReadColourDepth)(Handle handle, int32_t* bitsPerPixel,
                                           int32_t* colourMode);            // 73
    Status(UEYE_SDK_CALL* ReadSensorRecord)(Handle handle, void* record80); // 213
    Status(UEYE_SDK_CALL* AllocateImageMemory)(Handle handle, int32_t width, int32_t height,
                                               int32_t bitsPerPixel, unsigned char** memory,
                                               int32_t* memoryId);     // 36
    Status(UEYE_SDK_CALL* SetColourMode)(Handle handle, int32_t mode); // 17
    Status(UEYE_SDK_CALL* ActivateImageMemory)(Handle handle, unsigned char* memory,
                                               int32_t memoryId);                      // 37
    Status(UEYE_SDK_CALL* SetImageSize)(Handle handle, int32_t width, int32_t height); // 21
    Status(UEYE_SDK_CALL* Configure)(Handle handle, int32_t value);                    // 12
    Status(UEYE_SDK_CALL* ConfigureBeforeLive)(Handle handle, int32_t first,
                                               int32_t second); // 217
    Status(UEYE_SDK_CALL* SetExposure)(Handle handle, double milliseconds,
                                       double* taken);                          // 233
    Status(UEYE_SDK_CALL* ApplyParameterFile)(Handle handle, const char* path); // 312
    Status(UEYE_SDK_CALL* StartLiveCapture)(Handle handle, int32_t wait);       // 5
    Status(UEYE_SDK_CALL* StopLiveCapture)(Handle handle, int32_t wait);        // 3
    Status(UEYE_SDK_CALL* StoreParameters)(Handle handle, const char* path);    // 314
    Status(UEYE_SDK_CALL* FreeImageMemory)(Handle handle, unsigned char* memory,
                                           int32_t memoryId); // 38
    Status(UEYE_SDK_CALL* CloseCamera)(Handle handle);        // 239
    Status(UEYE_SDK_CALL* RegisterFrameEvent)(Handle handle, HANDLE event,
                                              int32_t kind);                           // 55
    Status(UEYE_SDK_CALL* EnableEvent)(Handle handle, int32_t kind);                   // 57
    Status(UEYE_SDK_CALL* QueryStatus)(Handle handle, uint32_t* word, void* reserved); // 23
    Status(UEYE_SDK_CALL* ReadExposureRange)(Handle handle, double* lower, double* upper,
                                             double* step); // 273

    // Writes the 80-byte sensor record a camera reads out: its name (cut to
    // 31 bytes and a NUL) at the start, its width at byte 36 and its height
    // at byte 40, everything else 0.
    static void WriteSensorRecord(void* record, const char* name, uint32_t width, uint32_t height) {
        unsigned char bytes[80] = {};
        if (name != nullptr) std::strncpy(reinterpret_cast<char*>(bytes), name, 31);
        std::memcpy(bytes + 36, &width, 4);
        std::memcpy(bytes + 40, &height, 4);
        std::memcpy(record, bytes, sizeof bytes);
    }

    // The table of a camera whose operations are the static members of Ops,
    // named as the members here.
    template <typename Ops> static UeyeSdk Of() {
        UeyeSdk t;
        t.OpenCamera = &Ops::OpenCamera;
        t.EnableErrorReport = &Ops::EnableErrorReport;
        t.ReadColourDepth = &Ops::ReadColourDepth;
        t.ReadSensorRecord = &Ops::ReadSensorRecord;
        t.AllocateImageMemory = &Ops::AllocateImageMemory;
        t.SetColourMode = &Ops::SetColourMode;
        t.ActivateImageMemory = &Ops::ActivateImageMemory;
        t.SetImageSize = &Ops::SetImageSize;
        t.Configure = &Ops::Configure;
        t.ConfigureBeforeLive = &Ops::ConfigureBeforeLive;
        t.SetExposure = &Ops::SetExposure;
        t.ApplyParameterFile = &Ops::ApplyParameterFile;
        t.StartLiveCapture = &Ops::StartLiveCapture;
        t.StopLiveCapture = &Ops::StopLiveCapture;
        t.StoreParameters = &Ops::StoreParameters;
        t.FreeImageMemory = &Ops::FreeImageMemory;
        t.CloseCamera = &Ops::CloseCamera;
        t.RegisterFrameEvent = &Ops::RegisterFrameEvent;
        t.EnableEvent = &Ops::EnableEvent;
        t.QueryStatus = &Ops::QueryStatus;
        t.ReadExposureRange = &Ops::ReadExposureRange;
        return t;
    }

    static const UeyeSdk& Current();
    static void Install(const UeyeSdk& table);
    static void InstallDefault();
    // The platform's own camera: the SDK library on Windows, the simulated
    // camera elsewhere. The default table reaches it through CameraDevice.
    static UeyeSdk Platform();
};
