// The default SDK table's router: each camera is opened on the device the
// choice names (the platform's own camera or a GenICam camera), and every
// later call on its handle goes to the table it was opened with.
#include "grabber/CameraDevice.h"
#include "Boost/LockedLookup.h"
#include "grabber/IdsUeye.h"

#if defined(UEYE_WITH_GENICAM)
#include "genicam/GenicamCamera.h"
#endif
#if !defined(_WIN32)
#include "sim/SimulatedCamera.h"
#endif

#include <cstdlib>
#include <map>
#include <memory>
#include <type_traits>
#include <utility>

namespace {

typedef UeyeSdk::Handle Handle;
typedef UeyeSdk::Status Status;

const char kVariable[] = "UEYE_GRABBER_DEVICE";
const char kGenicamPrefix[] = "genicam";
const Status kNoCameraPresent = 3;

enum class Kind { Platform, Genicam };

struct Opened {
    Kind kind;
    UeyeSdk table;
};

struct Router {
    boost::mutex mutex;
    std::map<Handle, std::shared_ptr<Opened>> cameras;
    Handle last = 0; // the camera opened last, while it is open
};

Router& TheRouter() {
    static Router* router = new Router; // outlives every static user
    return *router;
}

thread_local std::string threadChoice;

const UeyeSdk& PlatformSdk() {
    static const UeyeSdk table = UeyeSdk::Platform();
    return table;
}

// The GenICam id a choice names: true for "genicam" (id empty) and
// "genicam:ID".
bool GenicamId(const std::string& choice, std::string& id) {
    const size_t length = sizeof kGenicamPrefix - 1;
    if (choice.compare(0, length, kGenicamPrefix) != 0) return false;
    if (choice.size() == length) {
        id.clear();
        return true;
    }
    if (choice[length] != ':' || choice.size() == length + 1) return false;
    id = choice.substr(length + 1);
    return true;
}

bool IsPlatform(const std::string& choice) {
    return choice.empty() || choice == "sim";
}

Status Open(Handle* handle, void* window) {
    if (handle == nullptr) return PlatformSdk().OpenCamera(handle, window);
    const std::string choice = CameraDevice::Choice();
    const std::string refusal = CameraDevice::CheckChoice(choice);
    if (!refusal.empty()) {
        GrabberMessage(refusal);
        return kNoCameraPresent;
    }
    auto opened = std::make_shared<Opened>();
    Status status = 0;
    std::string id;
    if (GenicamId(choice, id)) {
#if defined(UEYE_WITH_GENICAM)
        opened->kind = Kind::Genicam;
        opened->table = GenicamCamera::Sdk();
        status = GenicamCamera::Open(id, handle);
#endif
    } else {
        opened->kind = Kind::Platform;
        opened->table = PlatformSdk();
        status = opened->table.OpenCamera(handle, window);
    }
    if (status != 0) return status;
    Router& router = TheRouter();
    boost::lock_guard<boost::mutex> lock(router.mutex);
    router.cameras[*handle] = opened;
    router.last = *handle;
    return 0;
}

std::shared_ptr<Opened> Find(Handle handle) {
    Router& router = TheRouter();
    return LockedLookup(router.mutex, router.cameras, handle);
}

// Each member but OpenCamera and CloseCamera: the call goes to the table the
// handle was opened with.
template <auto Member, typename F> struct Route;
template <auto Member, typename... A> struct Route<Member, Status(UEYE_SDK_CALL*)(Handle, A...)> {
    static Status UEYE_SDK_CALL Call(Handle handle, A... arguments) {
        const std::shared_ptr<Opened> opened = Find(handle);
        if (!opened) return (PlatformSdk().*Member)(handle, arguments...);
        return (opened->table.*Member)(handle, arguments...);
    }
};

template <auto Member> void Routed(UeyeSdk& table) {
    typedef std::remove_reference_t<decltype(std::declval<UeyeSdk&>().*Member)> Function;
    table.*Member = &Route<Member, Function>::Call;
}

Status UEYE_SDK_CALL OpenRouted(Handle* handle, void* window) {
    return Open(handle, window);
}

Status UEYE_SDK_CALL CloseRouted(Handle handle) {
    std::shared_ptr<Opened> opened;
    {
        Router& router = TheRouter();
        boost::lock_guard<boost::mutex> lock(router.mutex);
        auto it = router.cameras.find(handle);
        if (it != router.cameras.end()) {
            opened = it->second;
            router.cameras.erase(it);
        }
        if (router.last == handle) router.last = 0;
    }
    return (opened ? opened->table : PlatformSdk()).CloseCamera(handle);
}

} // namespace

std::string CameraDevice::Choice() {
    if (!threadChoice.empty()) return threadChoice;
    const char* variable = std::getenv(kVariable);
    return variable != nullptr ? variable : "";
}

void CameraDevice::ChooseForThread(const std::string& choice) {
    threadChoice = choice;
}

std::string CameraDevice::CheckChoice(const std::string& choice) {
    std::string id;
    if (IsPlatform(choice)) return "";
    if (!GenicamId(choice, id)) {
        return "Unknown camera device \"" + choice + "\" (use sim, genicam or genicam:ID)";
    }
#if defined(UEYE_WITH_GENICAM)
    return "";
#else
    return "GenICam cameras are not supported by this build of the plug-in";
#endif
}

std::vector<CameraDeviceEntry> CameraDevice::List() {
    std::vector<CameraDeviceEntry> found;
#if defined(_WIN32)
    found.push_back({"sim", "the camera SDK library ueye_api.dll"});
#else
    found.push_back({"sim", "the simulated camera"});
#endif
#if defined(UEYE_WITH_GENICAM)
    for (const CameraDeviceEntry& entry : GenicamCamera::List()) found.push_back(entry);
#endif
    return found;
}

CameraDeviceCounters CameraDevice::Counters() {
    Handle last = 0;
    {
        Router& router = TheRouter();
        boost::lock_guard<boost::mutex> lock(router.mutex);
        last = router.last;
    }
    return Counters(last);
}

CameraDeviceCounters CameraDevice::Counters(UeyeSdk::Handle handle) {
    CameraDeviceCounters counters;
    const std::shared_ptr<Opened> opened = Find(handle);
    if (!opened) return counters;
#if defined(UEYE_WITH_GENICAM)
    if (opened->kind == Kind::Genicam) return GenicamCamera::Counters(handle);
#endif
#if !defined(_WIN32)
    if (opened->kind == Kind::Platform) {
        counters.delivered = SimulatedCamera::FramesDelivered(handle);
        counters.counted = true;
    }
#endif
    return counters;
}

UeyeSdk CameraDevice::Table() {
    UeyeSdk t;
    t.OpenCamera = &OpenRouted;
    Routed<&UeyeSdk::EnableErrorReport>(t);
    Routed<&UeyeSdk::ReadColourDepth>(t);
    Routed<&UeyeSdk::ReadSensorRecord>(t);
    Routed<&UeyeSdk::AllocateImageMemory>(t);
    Routed<&UeyeSdk::SetColourMode>(t);
    Routed<&UeyeSdk::ActivateImageMemory>(t);
    Routed<&UeyeSdk::SetImageSize>(t);
    Routed<&UeyeSdk::Configure>(t);
    Routed<&UeyeSdk::ConfigureBeforeLive>(t);
    Routed<&UeyeSdk::SetExposure>(t);
    Routed<&UeyeSdk::ApplyParameterFile>(t);
    Routed<&UeyeSdk::StartLiveCapture>(t);
    Routed<&UeyeSdk::StopLiveCapture>(t);
    Routed<&UeyeSdk::StoreParameters>(t);
    Routed<&UeyeSdk::FreeImageMemory>(t);
    t.CloseCamera = &CloseRouted;
    Routed<&UeyeSdk::RegisterFrameEvent>(t);
    Routed<&UeyeSdk::EnableEvent>(t);
    Routed<&UeyeSdk::QueryStatus>(t);
    Routed<&UeyeSdk::ReadExposureRange>(t);
    return t;
}
