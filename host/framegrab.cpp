// framegrab: loads the camera plug-in at run time, grabs frames from the
// camera and writes them as BMP and PNG pictures, or shows them live in the
// browser (--serve), through its frame module.
#include "grabber/GrabberEntryPoints.h"
#include "host/FrameJob.h"
#include "platform/ProgramDirectory.h"

#include <boost/thread/thread.hpp>

#if defined(_WIN32)
#include "platform/ProcAddress.h"
#include <direct.h>
#include <io.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

enum ExitCode {
    Success = FramegrabSuccess,
    UsageError = FramegrabUsage,
    PluginMissing = FramegrabPluginMissing,
    CameraFailed = FramegrabCameraFailed,
    OutputUnwritable = FramegrabOutputUnwritable,
};

struct Options {
    int frames = 10;
    std::string output = "frames";
    uint32_t exposure = 0; // microseconds, 0 leaves the camera's value
    bool negative = false;
    std::string parameters = "framegrab";
    std::string plugin;
    bool rotate = false;
    float angle = 0;
    long resampleWidth = 0, resampleHeight = 0;
    bool dither = false;
    long ditherMethod = 0;
    int threads = 1;
    bool simOpenFails = false;
    bool quiet = false;
    bool version = false;
    std::string serve;  // [ADDRESS:]PORT of the live view, empty when not serving
    std::string device; // the camera's choice text, empty for the plug-in's default
    bool listDevices = false;
};

const char kUsage[] =
    "usage: framegrab [options]\n"
    "  -n, --frames N          frames to grab (default 10)\n"
    "  -o, --output DIR        folder for the pictures (default ./frames, created if missing)\n"
    "  -e, --exposure US       exposure time in microseconds (default: the camera's)\n"
    "      --negative          deliver inverted frames\n"
    "  -p, --parameters NAME   camera parameter file name (default framegrab)\n"
    "      --rotate DEGREES    rotate every frame by this angle\n"
    "      --resample WxH      resample every frame to this size (1 to 8192 a side)\n"
    "      --dither [METHOD]   dither every frame to black and white (method 0 to 7, 0 by\n"
    "                          default)\n"
    "      --threads N         threads the image operations may use (1 to 256, default 1)\n"
    "      --plugin PATH       plug-in library (default: next to this program)\n"
    "  -q, --quiet             no progress for each frame (else one line per frame, or\n"
    "                          a line updated in place on a terminal)\n"
    "  -d, --device SPEC       the camera: sim (the default), genicam (the first GenICam\n"
    "                          camera found) or genicam:ID (id, address or serial number);\n"
    "                          sets UEYE_GRABBER_DEVICE\n"
    "      --list-devices      the cameras that can be opened, then exit\n"
    "      --sim-open-fails    make the simulated camera fail to open (for testing)\n"
#if defined(_WIN32)
    "      --serve [ADDR:]PORT not available in the Windows builds\n"
#else
    "      --serve [ADDR:]PORT show the camera live in the browser at http://ADDR:PORT/ until\n"
    "                          interrupted (ADDR 127.0.0.1 unless given; port 0: a free one)\n"
#endif
    "      --version           the plug-in's interface and the image kernels' instruction\n"
    "                          set, then exit\n"
    "  -h, --help              this text\n";

const char kDeviceVariable[] = "UEYE_GRABBER_DEVICE";

int Fail(ExitCode code, const std::string& message) {
    std::cerr << "framegrab: " << message << std::endl;
    return code;
}

bool ParseLong(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

// Resampled sides are bounded so that the picture fits the image library's
// memory limit at any depth.
const long kLargestResampledSide = 8192;
const long kLastDitherMethod = 7;

// Options that set a flag.
struct FlagOption {
    const char* shortName; // null when there is none
    const char* longName;
    bool Options::*flag;
};
const FlagOption kFlagOptions[] = {
    {nullptr, "--version", &Options::version},
    {nullptr, "--negative", &Options::negative},
    {"-q", "--quiet", &Options::quiet},
    {nullptr, "--list-devices", &Options::listDevices},
    {nullptr, "--sim-open-fails", &Options::simOpenFails},
};

// Options that take a text; `emptyError` refuses an empty one when not null.
struct TextOption {
    const char* shortName;
    const char* longName;
    std::string Options::*text;
    const char* emptyError;
};
const TextOption kTextOptions[] = {
    {"-o", "--output", &Options::output, "output folder must not be empty"},
    {"-p", "--parameters", &Options::parameters, nullptr},
    {nullptr, "--plugin", &Options::plugin, "plug-in path must not be empty"},
    {"-d", "--device", &Options::device, nullptr},
};

// Options that take a whole number from low to high.
struct NumberOption {
    const char* shortName;
    const char* longName;
    long low, high;
    const char* rangeError;
    void (*store)(Options&, long);
};
const NumberOption kNumberOptions[] = {
    {"-n", "--frames", 1, 100000, "frame count must be a number from 1 to 100000",
     [](Options& o, long n) { o.frames = int(n); }},
    {"-e", "--exposure", 1, 10000000,
     "exposure must be a number of microseconds from 1 to 10000000",
     [](Options& o, long n) { o.exposure = uint32_t(n); }},
    {nullptr, "--threads", 1, 256, "thread count must be a number from 1 to 256",
     [](Options& o, long n) { o.threads = int(n); }},
};

// The entry of `table` that `arg` names, or null.
template <typename Option, size_t N>
const Option* Named(const Option (&table)[N], const std::string& arg) {
    for (const Option& option : table)
        if ((option.shortName != nullptr && arg == option.shortName) || arg == option.longName)
            return &option;
    return nullptr;
}

bool ParseRotation(const char* value, Options& options, std::string& error) {
    char* end = nullptr;
    options.angle = std::strtof(value, &end);
    if (end == value || *end != '\0' || !std::isfinite(options.angle)) {
        error = "rotation angle must be a finite number of degrees";
        return false;
    }
    options.rotate = true;
    return true;
}

bool ParseResampleSize(const char* value, Options& options, std::string& error) {
    long w = 0, h = 0;
    const char* x = std::strchr(value, 'x');
    if (x == nullptr || !ParseLong(std::string(value, x).c_str(), 1, kLargestResampledSide, w) ||
        !ParseLong(x + 1, 1, kLargestResampledSide, h)) {
        error = "resample size must be WIDTHxHEIGHT, each from 1 to " +
                std::to_string(kLargestResampledSide);
        return false;
    }
    options.resampleWidth = w;
    options.resampleHeight = h;
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = nullptr;
        long number = 0;
        auto next = [&](const char*& text) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            text = argv[++i];
            return true;
        };
        // The option's value into number, when it lies from low to high.
        auto nextNumber = [&](long low, long high, const std::string& message) {
            if (!next(value)) return false;
            if (ParseLong(value, low, high, number)) return true;
            error = message;
            return false;
        };
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            std::exit(Success);
        } else if (const FlagOption* flag = Named(kFlagOptions, arg)) {
            options.*flag->flag = true;
        } else if (const TextOption* text = Named(kTextOptions, arg)) {
            if (!next(value)) return false;
            if (text->emptyError != nullptr && *value == '\0') {
                error = text->emptyError;
                return false;
            }
            options.*text->text = value;
        } else if (const NumberOption* option = Named(kNumberOptions, arg)) {
            if (!nextNumber(option->low, option->high, option->rangeError)) return false;
            option->store(options, number);
        } else if (arg == "--rotate") {
            if (!next(value) || !ParseRotation(value, options, error)) return false;
        } else if (arg == "--resample") {
            if (!next(value) || !ParseResampleSize(value, options, error)) return false;
        } else if (arg == "--dither") {
            options.dither = true;
            // A number after the option is its method, which must be one.
            if (i + 1 < argc && ParseLong(argv[i + 1], LONG_MIN, LONG_MAX, number)) {
                if (!nextNumber(0, kLastDitherMethod,
                                "dither method must be from 0 to " +
                                    std::to_string(kLastDitherMethod)))
                    return false;
                options.ditherMethod = number;
            }
        } else if (arg == "--serve") {
            if (!next(value)) return false;
#if defined(_WIN32)
            error = "--serve is not available in the Windows builds";
            return false;
#else
            options.serve = value;
#endif
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

// Run-time loading, file names and folders, per platform.
#if defined(_WIN32)
typedef HMODULE Library;
const char kPluginFile[] = "/ueye_grabber.dll";
const char kModuleFile[] = "/framegrab_frames.dll";
const char kPathSeparators[] = "/\\";

std::string LibraryError() {
    return "Windows error " + std::to_string(GetLastError());
}

template <typename F> F Resolve(Library library, const char* name) {
    return ProcAddressAs<F>(GetProcAddress(library, name));
}

bool MakeDirectory(const std::string& path) {
    return _mkdir(path.c_str()) == 0;
}

bool SetEnvironment(const char* name, const std::string& value) {
    return _putenv_s(name, value.c_str()) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
    return _rmdir(path.c_str()) == 0;
}
#else
typedef void* Library;
const char kPluginFile[] = "/libueye_grabber.so";
const char kModuleFile[] = "/libframegrab_frames.so";
const char kPathSeparators[] = "/";

std::string LibraryError() {
    const char* reason = dlerror();
    return reason ? reason : "unknown error";
}

template <typename F> F Resolve(Library library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}

bool MakeDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool SetEnvironment(const char* name, const std::string& value) {
    return setenv(name, value.c_str(), 1) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
    return rmdir(path.c_str()) == 0;
}
#endif

bool StandardOutputIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

bool Exists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

// A library next to the program, else in the installed library folder
// (`folder` relative to it), else the one this program was built with.
std::string FindLibrary(const char* file, const char* folder, const char* built) {
    const std::string beside = ProgramDirectory() + file;
#ifdef FRAMEGRAB_INSTALLED_LIBDIR
    const std::string installed =
        ProgramDirectory() + "/" FRAMEGRAB_INSTALLED_LIBDIR + folder + file;
    if (!Exists(beside) && Exists(installed)) return installed;
#else
    (void)folder;
#endif
    if (!Exists(beside) && built != nullptr && Exists(built)) return built;
    return beside;
}

std::string DefaultPlugin() {
#ifdef FRAMEGRAB_BUILT_PLUGIN
    return FindLibrary(kPluginFile, "", FRAMEGRAB_BUILT_PLUGIN);
#else
    return FindLibrary(kPluginFile, "", nullptr);
#endif
}

// Creates the folder (and its parents) when missing, adding each folder made
// to created, and checks that a file can be created in it.
bool PrepareOutput(const std::string& folder, std::vector<std::string>& created,
                   std::string& error) {
    std::string partial;
    for (size_t at = 0; at != std::string::npos;) {
        const size_t slash = folder.find_first_of(kPathSeparators, at + 1);
        partial = folder.substr(0, slash);
        if (!partial.empty() && !Exists(partial)) {
            if (MakeDirectory(partial)) {
                created.push_back(partial);
            } else if (errno != EEXIST) {
                error = "cannot create " + partial + ": " + std::strerror(errno);
                return false;
            }
        }
        at = slash;
    }
    const std::string probe = folder + "/.framegrab-probe";
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (file == nullptr) {
        error = folder + " is not writable: " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    std::remove(probe.c_str());
    return true;
}

struct Plugin {
    MakeGrabberFunction make = nullptr;
    DeleteGrabberFunction destroy = nullptr;
    GrabberApiVersionFunction version = nullptr;
    RunFrameJobFunction run = nullptr;
    ListCameraDevicesFunction listDevices = nullptr;
    RunLiveServerFunction serve = nullptr; // null in the Windows builds
    ImageSimdLevelFunction simdLevel = nullptr;
    void (*simulateOpenFailure)(bool fail) = nullptr; // null without the simulated camera
    std::string missingImageOperations;               // why the module could not bind at once
};

bool LoadPlugin(const std::string& path, Plugin& plugin, std::string& error) {
#if defined(_WIN32)
    Library library = LoadLibraryA(path.c_str());
#else
    // Global scope: the image class the program uses is bound from here.
    Library library = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
#endif
    if (library == nullptr) {
        error = "cannot load plug-in " + path + ": " + LibraryError();
        return false;
    }
    plugin.make = Resolve<MakeGrabberFunction>(library, "MakeGrabber");
    plugin.destroy = Resolve<DeleteGrabberFunction>(library, "DeleteGrabber");
    plugin.version = Resolve<GrabberApiVersionFunction>(library, "GrabberApiVersion");
    if (!plugin.make || !plugin.destroy || !plugin.version) {
        error = path + " is not a camera plug-in (entry points missing)";
        return false;
    }
    // Same entry point names do not make the same interface.
    const char* version = plugin.version();
    if (version == nullptr || std::strcmp(version, GRABBER_API_VERSION) != 0) {
        error = path + " is not a camera plug-in of interface \"" GRABBER_API_VERSION "\"";
        return false;
    }
    const std::string modulePath = FindLibrary(kModuleFile, "/ueye_grabber", nullptr);
#if defined(_WIN32)
    // The module imports the image class from the plug-in just loaded.
    Library module = LoadLibraryA(modulePath.c_str());
    // The simulated camera is the stand-in SDK library beside the plug-in.
    Library simulator = LoadLibraryA("ueye_api.dll");
#else
    // The frame module binds the image class to the plug-in just loaded. A
    // plug-in without some image operations still grabs plain frames; the
    // operations are then refused up front instead of failing mid-run.
    Library module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        plugin.missingImageOperations = LibraryError();
        module = dlopen(modulePath.c_str(), RTLD_LAZY | RTLD_LOCAL);
    }
    // The simulated camera is part of the plug-in.
    Library simulator = library;
#endif
    if (module == nullptr) {
        error = "cannot load " + modulePath + ": " + LibraryError();
        return false;
    }
    plugin.run = Resolve<RunFrameJobFunction>(module, "RunFrameJob");
    plugin.listDevices = Resolve<ListCameraDevicesFunction>(module, "ListCameraDevices");
    plugin.serve = Resolve<RunLiveServerFunction>(module, "RunLiveServer");
    if (plugin.missingImageOperations.empty())
        plugin.simdLevel = Resolve<ImageSimdLevelFunction>(module, "ImageSimdLevel");
    if (simulator != nullptr) {
        plugin.simulateOpenFailure = Resolve<void (*)(bool)>(simulator, "SimulateOpenFailure");
    }
    if (!plugin.run) {
        error = modulePath + " is not the frame module of this program";
        return false;
    }
    return true;
}

int Grab(FrameGrabber& grabber, const Plugin& plugin, const Options& options) {
    grabber.OpenCamera(0);
    const int32_t width = grabber.ImageWidth(0);
    const int32_t height = grabber.ImageHeight(0);
    if (width <= 0 || height <= 0) return Fail(CameraFailed, "the camera did not open");
    std::cout << "Camera: " << width << " x " << height << ", " << grabber.BitsPerPixel(0)
              << " bits per pixel" << std::endl;

    if (options.exposure != 0) {
        uint32_t exposure = options.exposure;
        grabber.Exposure(0, &exposure);
        std::cout << "Exposure: " << exposure << " us (requested " << options.exposure << ")"
                  << std::endl;
    }
    grabber.SetNegative(options.negative);

    boost::thread* acquisition = grabber.StartAcquisition();
    grabber.StartLive();

    FrameJob job;
    job.frames = options.frames;
    job.output = options.output;
    job.rotate = options.rotate;
    job.angle = options.angle;
    job.resampleWidth = options.resampleWidth;
    job.resampleHeight = options.resampleHeight;
    job.dither = options.dither;
    job.ditherMethod = options.ditherMethod;
    job.threads = options.threads;
    job.progress = options.quiet                ? FrameProgress::None
                   : StandardOutputIsTerminal() ? FrameProgress::InPlace
                                                : FrameProgress::Lines;
    LiveJob live;
    live.address = options.serve;
    live.pluginVersion = plugin.version();
    live.negative = options.negative;
    const int result =
        options.serve.empty() ? plugin.run(grabber, job) : plugin.serve(grabber, live);

    grabber.StopLive();
    grabber.StopAcquisition();
    if (acquisition != nullptr) {
        acquisition->join();
        delete acquisition;
    }
    grabber.CloseCamera(0);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::cerr << "framegrab: " << error << "\n" << kUsage;
        return UsageError;
    }
    if (options.plugin.empty()) options.plugin = DefaultPlugin();
    // The plug-in reads the choice when it opens the camera.
    if (!options.device.empty() && !SetEnvironment(kDeviceVariable, options.device)) {
        return Fail(UsageError, "cannot set " + std::string(kDeviceVariable));
    }

    Plugin plugin;
    if (!LoadPlugin(options.plugin, plugin, error)) return Fail(PluginMissing, error);
    std::cout << "Plug-in interface: " << plugin.version() << std::endl;
    if (options.version) {
        std::cout << "Image kernels: " << (plugin.simdLevel ? plugin.simdLevel() : "unavailable")
                  << std::endl;
        return Success;
    }
    if (options.listDevices) {
        if (!plugin.listDevices) return Fail(PluginMissing, "this plug-in cannot list cameras");
        return plugin.listDevices();
    }
    const bool imageOperations =
        options.rotate || options.resampleWidth > 0 || options.dither || !options.serve.empty();
    if (imageOperations && !plugin.missingImageOperations.empty()) {
        return Fail(PluginMissing,
                    "the plug-in lacks image operations: " + plugin.missingImageOperations);
    }

    if (!options.serve.empty() && !plugin.serve) {
        return Fail(PluginMissing, "this build has no live view");
    }

    std::vector<std::string> created;
    int result = Success;
    // The live view writes no pictures.
    if (options.serve.empty() && !PrepareOutput(options.output, created, error)) {
        result = Fail(OutputUnwritable, error);
    } else {
        if (options.simOpenFails && !plugin.simulateOpenFailure) {
            result = Fail(PluginMissing, "the camera SDK is not the simulated camera");
        } else {
            if (options.simOpenFails) plugin.simulateOpenFailure(true);
            FrameGrabber* grabber = plugin.make(0, options.parameters);
            if (grabber == nullptr) {
                result = Fail(CameraFailed, "the plug-in could not create a grabber");
            } else {
                result = Grab(*grabber, plugin, options);
                plugin.destroy(grabber);
            }
        }
    }
    // A failed run leaves no empty folder behind (only empty ones are removed).
    if (result != Success) {
        for (auto folder = created.rbegin(); folder != created.rend(); ++folder) {
            RemoveEmptyDirectory(*folder);
        }
    }
    return result;
}
