// The SDK table in use: on Windows the SDK library's functions resolved by
// ordinal, elsewhere the simulated camera's; by default routed per camera to
// the device it was opened on, and replaceable by tests.

#include "grabber/UeyeSdk.h"
#include "grabber/CameraDevice.h"

#if defined(_WIN32)
#include "platform/ProcAddress.h"
#else
#include "sim/SimulatedCamera.h"
#endif

namespace {

#if defined(_WIN32)
// Stand-in for an operation the SDK library does not provide (library
// missing): it fails, so the grabber reports the camera as not opened
// instead of calling through a null pointer.
template <typename F> struct Unavailable;
template <typename... A> struct Unavailable<UeyeSdk::Status(UEYE_SDK_CALL*)(A...)> {
    static UeyeSdk::Status UEYE_SDK_CALL Call(A...) { return -1; }
};

template <typename F> void Resolve(HMODULE library, F& member, WORD ordinal) {
    FARPROC found =
        library != nullptr ? GetProcAddress(library, reinterpret_cast<LPCSTR>(ordinal)) : nullptr;
    member = found != nullptr ? ProcAddressAs<F>(found) : &Unavailable<F>::Call;
}

UeyeSdk PlatformTable() {
    HMODULE library = LoadLibraryA("ueye_api.dll");
    UeyeSdk t;
    Resolve(library, t.OpenCamera, 237);
    Resolve(library, t.EnableErrorReport, 25);
    Resolve(library, t.ReadColourDepth, 73);
    Resolve(library, t.ReadSensorRecord, 213);
    Resolve(library, t.AllocateImageMemory, 36);
    Resolve(library, t.SetColourMode, 17);
    Resolve(library, t.ActivateImageMemory, 37);
    Resolve(library, t.SetImageSize, 21);
    Resolve(library, t.Configure, 12);
    Resolve(library, t.ConfigureBeforeLive, 217);
    Resolve(library, t.SetExposure, 233);
    Resolve(library, t.ApplyParameterFile, 312);
    Resolve(library, t.StartLiveCapture, 5);
    Resolve(library, t.StopLiveCapture, 3);
    Resolve(library, t.StoreParameters, 314);
    Resolve(library, t.FreeImageMemory, 38);
    Resolve(library, t.CloseCamera, 239);
    Resolve(library, t.RegisterFrameEvent, 55);
    Resolve(library, t.EnableEvent, 57);
    Resolve(library, t.QueryStatus, 23);
    Resolve(library, t.ReadExposureRange, 273);
    return t;
}
#else
UeyeSdk PlatformTable() {
    return SimulatedCamera::Sdk();
}
#endif

// Outside tests the table routes each camera to the device it was opened on.
UeyeSdk DefaultTable() {
    return CameraDevice::Table();
}

UeyeSdk& Table() {
    static UeyeSdk table = DefaultTable();
    return table;
}

} // namespace

const UeyeSdk& UeyeSdk::Current() {
    return Table();
}

void UeyeSdk::Install(const UeyeSdk& table) {
    Table() = table;
}

UeyeSdk UeyeSdk::Platform() {
    return PlatformTable();
}

void UeyeSdk::InstallDefault() {
    Table() = DefaultTable();
}
