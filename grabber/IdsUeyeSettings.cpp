// Camera settings: exposure, negative flag, and the operations answered
// without the camera.
#include "Boost/BoostTools.h"
#include "grabber/IdsUeye.h"
#include "grabber/UeyeSdk.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace {

const uint32_t kShortestExposureSettleMs = 300;

// Milliseconds from the SDK to microseconds: multiplied by 1000, truncated
// toward zero to 64 bits, low 32 bits kept. Values beyond the 64-bit range
// (or not numbers) give 0 instead of an undefined conversion; every value
// inside it, up to just below 2^63, is converted.
int32_t ToMicroseconds(double milliseconds) {
    const double microseconds = milliseconds * 1000.0;
    const double twoTo63 = 9223372036854775808.0;
    if (!(microseconds >= -twoTo63 && microseconds < twoTo63)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(microseconds)));
}

// Five times the exposure the camera applied (not the one requested, which
// may lie far beyond what the camera can do), bounded by five times its
// longest exposure, and at least kShortestExposureSettleMs.
uint32_t SettleMs(double takenMs, double longestMs) {
    // Not std::min: a longest exposure that is not a number bounds to 0.
    const double applied = takenMs < longestMs ? takenMs : longestMs;
    if (!(applied * 5 > kShortestExposureSettleMs)) return kShortestExposureSettleMs;
    return static_cast<uint32_t>(std::min(applied * 5, 4294967295.0));
}

} // namespace

int32_t IdsUeye::Exposure(uint32_t camera, uint32_t* microseconds) {
    TestCameraIndex(camera);
    if (microseconds == nullptr) return 0;
    const uint32_t requested = *microseconds;
    if (requested == 0) {
        *microseconds = static_cast<uint32_t>(exposure);
        return 0;
    }
    const double milliseconds = requested / 1000.0;
    double taken = milliseconds;
    UeyeSdk::Current().SetExposure(sdkCamera, milliseconds, &taken);
    double lower = 0, upper = 0, step = 0;
    UeyeSdk::Current().ReadExposureRange(sdkCamera, &lower, &upper, &step);
    BoostTools::delay(SettleMs(taken, upper));

    const int32_t result = ToMicroseconds(taken);
    *microseconds = static_cast<uint32_t>(result);
    exposure = result;
    return result;
}

int32_t IdsUeye::MaxExposure() {
    double lower = 0, upper = 0, step = 0;
    UeyeSdk::Current().ReadExposureRange(sdkCamera, &lower, &upper, &step);
    return ToMicroseconds(upper);
}

int32_t IdsUeye::MinExposure() {
    double lower = 0, upper = 0, step = 0;
    UeyeSdk::Current().ReadExposureRange(sdkCamera, &lower, &upper, &step);
    return ToMicroseconds(lower);
}

void IdsUeye::SetNegative(bool negative) {
    negativeFrames = negative;
}

bool IdsUeye::QueryCameraStatus() {
    if (sdkCamera != 0) {
        uint32_t word = 0;
        UeyeSdk::Current().QueryStatus(sdkCamera, &word, nullptr);
    }
    return false;
}

GrabberText IdsUeye::CameraDescription() {
    GrabberText description = {};
    if (sdkCamera != 0) {
        static const char kText[] = "Not implemented yet";
        static_assert(sizeof kText == 20, "text and terminator take 20 bytes");
        std::copy(kText, kText + sizeof kText, description.text);
    }
    return description;
}

void IdsUeye::SetColor(int32_t colour, int32_t* value) {
    std::ostringstream line;
    line << " SET COLOR === " << colour << "Value =";
    if (value != nullptr) line << *value;
    GrabberMessage(line.str());
}

int32_t IdsUeye::CameraGain(uint32_t) {
    throw std::runtime_error("IdsUeye::CameraGain()  -- Not implemented yet");
}

void IdsUeye::CameraGain(uint32_t, int32_t) {
    throw std::runtime_error("IdsUeye::CameraGain()  -- Not implemented yet");
}

void IdsUeye::AdjustCameraGain(uint32_t) {
    throw std::runtime_error("IdsUeye::AdjustCameraGain()  -- Not implemented yet");
}
