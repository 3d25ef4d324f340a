// GenICam cameras behind the SDK seam, driven through the grabber: Aravis's
// in-process fake device for the adapter's own behaviour, and the GigE Vision
// fake camera, started by each test, for the protocol and its faults.
#include "genicam/GenicamDevice.h"
#include "grabber/CameraDevice.h"
#include "tests/grabber/GrabberTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <set>

using namespace grabber_test;

namespace {

const char kFakeGvCamera[] = "/usr/bin/arv-fake-gv-camera-0.8";
// The race checker slows every thread, the grabber's polling waits with them.
#if defined(__SANITIZE_THREAD__)
const long long kSlowdown = 4;
#else
const long long kSlowdown = 1;
#endif

// Opens of this thread go to the named camera while it lives.
class DeviceChoice {
public:
    explicit DeviceChoice(const std::string& text) { CameraDevice::ChooseForThread(text); }
    ~DeviceChoice() { CameraDevice::ChooseForThread(""); }
};

// The fake cameras' picture: pixel (x, y), row 0 at the top, of frame `id`
// is ((x + y + id) mod 255) times a factor set by exposure and gain,
// clamped. Returns the id modulo 255 the top-down frame shows, or -1 when a
// pixel breaks the pattern.
int PictureId(const std::vector<unsigned char>& frame, int width, int height, double factor = 1.0) {
    for (int id = 0; id < 255; ++id) {
        bool matches = true;
        for (int y = 0; y < height && matches; ++y) {
            for (int x = 0; x < width && matches; ++x) {
                const double value = std::min(255.0, double((x + y + id) % 255) * factor);
                matches = frame[size_t(y) * size_t(width) + size_t(x)] == int(value);
            }
        }
        if (matches) return id;
    }
    return -1;
}

// The GigE Vision fake camera as a process of this test's own, answering on
// 127.0.0.1, stopped by its process id.
class FakeGvCamera {
public:
    explicit FakeGvCamera(const std::vector<std::string>& options = {}) : extraOptions(options) {
        Start();
    }
    ~FakeGvCamera() { Kill(); }

    void Start() {
        std::vector<std::string> words = {kFakeGvCamera, "-i", "127.0.0.1"};
        words.insert(words.end(), extraOptions.begin(), extraOptions.end());
        pid = fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(&word[0]);
            argv.push_back(nullptr);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1);
            dup2(quiet, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        // Ready when it answers.
        for (int attempt = 0; attempt < 100; ++attempt) {
            GError* error = nullptr;
            ArvCamera* camera = arv_camera_new("127.0.0.1", &error);
            g_clear_error(&error);
            if (camera != nullptr) {
                g_object_unref(camera);
                return;
            }
            usleep(50000);
        }
        ADD_FAILURE() << "the fake camera did not answer";
    }

    void Kill() {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = 0;
    }

private:
    std::vector<std::string> extraOptions;
    pid_t pid = 0;
};

class GigEVision : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kFakeGvCamera, X_OK) != 0) GTEST_SKIP() << "aravis-tools is not installed";
    }
    TempWorkingDirectory directory;
    DeviceChoice choice{"genicam:127.0.0.1"};
};

// The next frames through CopyImage's wait, top-down.
std::vector<std::vector<unsigned char>> NextFrames(IdsUeye& grabber, int count) {
    std::vector<std::vector<unsigned char>> frames;
    for (int i = 0; i < count; ++i) {
        std::vector<unsigned char> frame(size_t(grabber.ImageWidth(0)) *
                                         size_t(grabber.ImageHeight(0)));
        grabber.CopyImage(0, frame.data(), true);
        frames.push_back(frame);
    }
    return frames;
}

} // namespace

TEST(GenicamPixels, WideSamplesKeepTheirTopEightBits) {
    struct Case {
        unsigned bits;
        std::vector<unsigned char> source;
        std::vector<unsigned char> expected;
    };
    const std::vector<Case> cases = {
        {8, {0, 7, 255}, {0, 7, 255}},
        {16, {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80}, {0x12, 0xFF, 0x80}},
        {12, {0x34, 0x0A, 0xFF, 0x0F, 0x10, 0x00}, {0xA3, 0xFF, 0x01}},
        {10, {0xFF, 0x03, 0x04, 0x00, 0xFF, 0xFF}, {0xFF, 0x01, 0xFF}}, // beyond 10 bits: 255
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> target(c.expected.size());
        CopyFramePixels(c.source.data(), target.size(), c.bits, target.data());
        EXPECT_EQ(target, c.expected) << c.bits << " bits";
    }
}

TEST(GenicamChoice, UnknownOrMalformedChoicesFailTheOpenWithAReason) {
    TempWorkingDirectory directory;
    for (const std::string text : {"gige", "genicam:", "genicamx", "Sim"}) {
        EXPECT_NE(CameraDevice::CheckChoice(text), "") << text;
        DeviceChoice choice(text);
        CerrCapture err;
        IdsUeye grabber("cam.ini");
        grabber.OpenCamera(0);
        EXPECT_EQ(grabber.ImageWidth(0), 0);
        EXPECT_NE(err.Text().find("Unknown camera device \"" + text + "\""), std::string::npos)
            << err.Text();
        EXPECT_NE(err.Text().find("ERROR: Can not open uEye camera!"), std::string::npos);
    }
    for (const std::string text : {"", "sim", "genicam", "genicam:127.0.0.9"}) {
        EXPECT_EQ(CameraDevice::CheckChoice(text), "") << text;
    }
}

TEST(GenicamChoice, AMissingCameraFailsTheOpenAndNamesIt) {
    TempWorkingDirectory directory;
    arv_enable_interface("Fake");
    DeviceChoice choice("genicam:Fake_9");
    CerrCapture err;
    IdsUeye grabber("cam.ini");
    grabber.OpenCamera(0);
    EXPECT_EQ(grabber.ImageWidth(0), 0);
    EXPECT_NE(err.Text().find("GenICam camera Fake_9 not found"), std::string::npos) << err.Text();
}

// The in-process fake device: no network, the adapter's own behaviour.
TEST(GenicamFakeDevice, DeliversWholeFramesWithEventsAndKeepsItsParameters) {
    TempWorkingDirectory directory;
    arv_enable_interface("Fake");
    DeviceChoice choice("genicam:Fake_1");
    const std::string parameters = directory.Path() + "/cam.ini";
    {
        std::ofstream file(parameters);
        file << "[GenICam camera]\nExposureTime=20000\nAcquisitionFrameRate=50\nPixelFormat=RGB8\n";
    }
    CerrCapture err;
    {
        IdsUeye grabber(parameters);
        grabber.OpenCamera(0);
        ASSERT_GT(grabber.ImageWidth(0), 0);
        ASSERT_GT(grabber.ImageHeight(0), 0);
        EXPECT_EQ(grabber.BitsPerPixel(0), 8);
        EXPECT_GT(grabber.MaxExposure(), grabber.MinExposure());

        boost::thread* acquisition = grabber.StartAcquisition();
        grabber.StartLive(); // applies the file: a colour format is refused
        const auto frames = NextFrames(grabber, 5);
        const CameraDeviceCounters counters = CameraDevice::Counters(grabber.SdkHandle());
        EXPECT_GE(counters.delivered, 5u);
        EXPECT_FALSE(counters.lost);
        EXPECT_GE(grabber.FramesCounted(), 1u);

        uint32_t exposure = 5000;
        EXPECT_EQ(grabber.Exposure(0, &exposure), 5000);
        grabber.StopLive();
        grabber.StopAcquisition();
        acquisition->join();
        delete acquisition;
        grabber.CloseCamera(0);
    }
    EXPECT_NE(err.Text().find("RGB8 is not a monochrome format"), std::string::npos) << err.Text();
    std::ifstream stored(parameters);
    const std::string text((std::istreambuf_iterator<char>(stored)), {});
    EXPECT_NE(text.find("[GenICam camera]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("PixelFormat=Mono8\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ExposureTime=5000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("AcquisitionFrameRate=50\n"), std::string::npos) << text;
}

TEST_F(GigEVision, FramesEqualThePictureRightWayUpOneAfterAnother) {
    FakeGvCamera camera;
    // The camera writes each frame into the one memory the host copies from:
    // a rate that leaves a slow build time to copy a frame before the next.
    std::ofstream("cam.ini") << "AcquisitionFrameRate=10\n";
    IdsUeye grabber("cam.ini");
    grabber.OpenCamera(0);
    ASSERT_EQ(grabber.ImageWidth(0), 512);
    ASSERT_EQ(grabber.ImageHeight(0), 512);
    boost::thread* acquisition = grabber.StartAcquisition();
    grabber.StartLive();
    std::set<int> ids;
    for (const auto& frame : NextFrames(grabber, 20)) {
        const int id = PictureId(frame, 512, 512);
        ASSERT_GE(id, 0) << "a frame differs from the camera's picture";
        EXPECT_TRUE(ids.insert(id).second) << "frame " << id << " came twice";
    }
    // Exposure ten times the default: every value twice as bright, clamped.
    uint32_t exposure = 100000;
    EXPECT_EQ(grabber.Exposure(0, &exposure), 100000);
    NextFrames(grabber, 2); // frames exposed before the change
    const auto brighter = NextFrames(grabber, 1);
    EXPECT_GE(PictureId(brighter[0], 512, 512, 2.0), 0);
    // The image the host gets holds the same rows, bottom-up.
    CxImage image = grabber.GrabImage(0);
    ASSERT_TRUE(image.IsValid());
    EXPECT_EQ(image.GetPixelIndex(0, 511), image.GetPixelIndex(1, 510));

    grabber.StopLive();
    grabber.StopAcquisition();
    acquisition->join();
    delete acquisition;
    // The fake camera's first frame may arrive without its first packets.
    EXPECT_LE(CameraDevice::Counters(grabber.SdkHandle()).dropped, 1u);
}

TEST_F(GigEVision, AKilledCameraKeepsEveryCallBoundedAndCanBeOpenedAgain) {
    FakeGvCamera camera;
    CerrCapture err;
    {
        IdsUeye grabber("cam.ini");
        grabber.OpenCamera(0);
        boost::thread* acquisition = grabber.StartAcquisition();
        grabber.StartLive();
        NextFrames(grabber, 3);
        camera.Kill();
        // The wait ends at the grabber's own limit; the loss is known by then.
        EXPECT_LE(MillisecondsOf([&] { NextFrames(grabber, 1); }), 3500 * kSlowdown);
        EXPECT_TRUE(CameraDevice::Counters(grabber.SdkHandle()).lost);
        EXPECT_LE(MillisecondsOf([&] { grabber.StopLive(); }), 1000 * kSlowdown);
        EXPECT_LE(MillisecondsOf([&] {
                      grabber.StopAcquisition();
                      acquisition->join();
                  }),
                  1000 * kSlowdown);
        delete acquisition;
        EXPECT_LE(MillisecondsOf([&] { grabber.CloseCamera(0); }), 1000 * kSlowdown);
    }
    const std::string text = err.Text();
    const std::string loss = "GenICam camera 127.0.0.1: ";
    ASSERT_NE(text.find(loss), std::string::npos) << text;
    EXPECT_EQ(text.find(loss, text.find(loss) + 1), std::string::npos) << "written twice: " << text;

    camera.Start();
    IdsUeye again("cam.ini");
    again.OpenCamera(0);
    ASSERT_EQ(again.ImageWidth(0), 512);
    boost::thread* acquisition = again.StartAcquisition();
    again.StartLive();
    EXPECT_GE(PictureId(NextFrames(again, 1)[0], 512, 512), 0);
    again.StopLive();
    again.StopAcquisition();
    acquisition->join();
    delete acquisition;
}

TEST_F(GigEVision, ALossyStreamDeliversOnlyWholeFramesAndCountsTheRest) {
    FakeGvCamera camera({"-r", "10"});
    IdsUeye grabber("cam.ini");
    grabber.OpenCamera(0);
    boost::thread* acquisition = grabber.StartAcquisition();
    grabber.StartLive();
    for (const auto& frame : NextFrames(grabber, 8)) {
        ASSERT_GE(PictureId(frame, 512, 512), 0) << "a torn frame was delivered";
    }
    grabber.StopLive();
    grabber.StopAcquisition();
    acquisition->join();
    delete acquisition;
    const CameraDeviceCounters counters = CameraDevice::Counters(grabber.SdkHandle());
    EXPECT_GE(counters.delivered, 8u);
    EXPECT_GT(counters.dropped, 0u);
}
