// The simulated camera as the stand-in SDK library for Windows: one C entry
// point per SDK operation, exported by ordinal only (StandInSdk.def), each
// checked here against the SDK table member it stands for, calling
// convention included.
#include "grabber/UeyeSdk.h"
#include "sim/SimulatedCamera.h"

#include <type_traits>

namespace {

const UeyeSdk& Simulator() {
    static const UeyeSdk table = SimulatedCamera::Sdk();
    return table;
}

} // namespace

#define STAND_IN(member, parameters, arguments)                                                    \
    extern "C" UeyeSdk::Status UEYE_SDK_CALL Sim##member parameters {                              \
        return Simulator().member arguments;                                                       \
    }                                                                                              \
    static_assert(std::is_same<decltype(&Sim##member), decltype(UeyeSdk::member)>::value,          \
                  #member " differs from the SDK table")

typedef UeyeSdk::Handle Handle;

STAND_IN(OpenCamera, (Handle * handle, void* window), (handle, window));
STAND_IN(EnableErrorReport, (Handle handle, int32_t mode), (handle, mode));
STAND_IN(ReadColourDepth, (Handle handle, int32_t* bitsPerPixel, int32_t* colourMode),
         (handle, bitsPerPixel, colourMode));
STAND_IN(ReadSensorRecord, (Handle handle, void* record80), (handle, record80));
STAND_IN(AllocateImageMemory,
         (Handle handle, int32_t width, int32_t height, int32_t bitsPerPixel,
          unsigned char** memory, int32_t* memoryId),
         (handle, width, height, bitsPerPixel, memory, memoryId));
STAND_IN(SetColourMode, (Handle handle, int32_t mode), (handle, mode));
STAND_IN(ActivateImageMemory, (Handle handle, unsigned char* memory, int32_t memoryId),
         (handle, memory, memoryId));
STAND_IN(SetImageSize, (Handle handle, int32_t width, int32_t height), (handle, width, height));
STAND_IN(Configure, (Handle handle, int32_t value), (handle, value));
STAND_IN(ConfigureBeforeLive, (Handle handle, int32_t first, int32_t second),
         (handle, first, second));
STAND_IN(SetExposure, (Handle handle, double milliseconds, double* taken),
         (handle, milliseconds, taken));
STAND_IN(ApplyParameterFile, (Handle handle, const char* path), (handle, path));
STAND_IN(StartLiveCapture, (Handle handle, int32_t wait), (handle, wait));
STAND_IN(StopLiveCapture, (Handle handle, int32_t wait), (handle, wait));
STAND_IN(StoreParameters, (Handle handle, const char* path), (handle, path));
STAND_IN(FreeImageMemory, (Handle handle, unsigned char* memory, int32_t memoryId),
         (handle, memory, memoryId));
STAND_IN(CloseCamera, (Handle handle), (handle));
STAND_IN(RegisterFrameEvent, (Handle handle, HANDLE event, int32_t kind), (handle, event, kind));
STAND_IN(EnableEvent, (Handle handle, int32_t kind), (handle, kind));
STAND_IN(QueryStatus, (Handle handle, uint32_t* word, void* reserved), (handle, word, reserved));
STAND_IN(ReadExposureRange, (Handle handle, double* lower, double* upper, double* step),
         (handle, lower, upper, step));
