#include "sim/SimulatedCamera.h"
#include "tests/TempDirectory.h"

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace {

class Simulated : public ::testing::Test {
protected:
    void SetUp() override {
        config.width = 48;
        config.height = 20;
        config.framesPerSecond = 400;
        SimulatedCamera::Configure(config);
        sdk = SimulatedCamera::Sdk();
    }
    void TearDown() override { SimulatedCamera::Configure(SimulatedCamera::Config()); }
    uint32_t Open() {
        uint32_t handle = 0;
        EXPECT_EQ(sdk.OpenCamera(&handle, nullptr), 0);
        EXPECT_NE(handle, 0u);
        return handle;
    }
    // Allocates a 48 x 20 image memory and makes it the capture target.
    unsigned char* ActiveMemory(uint32_t camera, int32_t& id) {
        unsigned char* memory = nullptr;
        EXPECT_EQ(sdk.AllocateImageMemory(camera, 48, 20, 8, &memory, &id), 0);
        EXPECT_EQ(sdk.ActivateImageMemory(camera, memory, id), 0);
        return memory;
    }
    SimulatedCamera::Config config;
    UeyeSdk sdk;
    TempDirectory temp{"sim-test"};
    const std::string dir = temp.Path();
};

void Sleep(int ms) {
    boost::this_thread::sleep_for(boost::chrono::milliseconds(ms));
}

} // namespace

TEST_F(Simulated, SensorRecordCarriesTheConfiguredSize) {
    const uint32_t camera = Open();
    unsigned char record[80];
    std::memset(record, 0xEE, sizeof record);
    ASSERT_EQ(sdk.ReadSensorRecord(camera, record), 0);
    int32_t width = 0, height = 0;
    std::memcpy(&width, record + 36, 4);
    std::memcpy(&height, record + 40, 4);
    EXPECT_EQ(width, 48);
    EXPECT_EQ(height, 20);
    EXPECT_EQ(sdk.CloseCamera(camera), 0);
    EXPECT_NE(sdk.ReadSensorRecord(camera, record), 0); // closed handle
    EXPECT_NE(sdk.StoreParameters(0, (dir + "/x.ini").c_str()), 0);
}

TEST_F(Simulated, OpenFailsWhenConfigured) {
    config.openFails = true;
    SimulatedCamera::Configure(config);
    uint32_t handle = 0;
    EXPECT_EQ(sdk.OpenCamera(&handle, nullptr), SimulatedCamera::NoCameraPresent);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(SimulatedCamera::OpenCameras(), 0);
}

TEST_F(Simulated, MemoryMustBeKnownToBeActivatedOrFreed) {
    const uint32_t camera = Open();
    unsigned char* memory = nullptr;
    int32_t id = 0;
    ASSERT_EQ(sdk.AllocateImageMemory(camera, 48, 20, 8, &memory, &id), 0);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory[48 * 20 - 1], 0);
    EXPECT_NE(sdk.ActivateImageMemory(camera, memory + 1, id), 0);
    EXPECT_NE(sdk.AllocateImageMemory(camera, 0, 20, 8, &memory, &id), 0);
    EXPECT_EQ(sdk.ActivateImageMemory(camera, memory, id), 0);
    EXPECT_EQ(sdk.FreeImageMemory(camera, memory, id), 0);
    EXPECT_NE(sdk.FreeImageMemory(camera, memory, id), 0);
    sdk.CloseCamera(camera);
}

TEST_F(Simulated, LiveFramesFollowThePatternAndSetEnabledEvents) {
    const uint32_t camera = Open();
    int32_t id = 0;
    unsigned char* memory = ActiveMemory(camera, id);
    HANDLE registeredOnly = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE enabled = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    sdk.RegisterFrameEvent(camera, registeredOnly, 1);
    sdk.RegisterFrameEvent(camera, enabled, 2);
    sdk.EnableEvent(camera, 2);

    ASSERT_EQ(sdk.StartLiveCapture(camera, 0), 0);
    EXPECT_EQ(WaitForSingleObject(enabled, 1000), WAIT_OBJECT_0);
    Sleep(30);
    sdk.StopLiveCapture(camera, 1);
    EXPECT_FALSE(SimulatedCamera::IsLive(camera));
    EXPECT_EQ(WaitForSingleObject(registeredOnly, 0), WAIT_TIMEOUT);

    const uint64_t frames = SimulatedCamera::FramesDelivered(camera);
    EXPECT_GE(frames, 3u);
    EXPECT_EQ(SimulatedCamera::EventsSignalled(camera), frames);
    const unsigned n = unsigned(frames - 1) & 0xFF; // the last frame written
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 48; ++x) ASSERT_EQ(memory[y * 48 + x], (x + 2 * y + n) & 0xFF);

    // Live capture restarts at frame 0. A frame every 2.5 ms may bring more
    // than one before the stop on a busy machine; the last one written is
    // numbered from the restart.
    ResetEvent(enabled);
    sdk.StartLiveCapture(camera, 0);
    EXPECT_EQ(WaitForSingleObject(enabled, 1000), WAIT_OBJECT_0);
    sdk.StopLiveCapture(camera, 1);
    const uint64_t restarted = SimulatedCamera::FramesDelivered(camera) - frames;
    EXPECT_GE(restarted, 1u);
    EXPECT_EQ(memory[0], (restarted - 1) & 0xFF);

    sdk.FreeImageMemory(camera, memory, id);
    sdk.CloseCamera(camera);
    CloseHandle(registeredOnly);
    CloseHandle(enabled);
}

TEST_F(Simulated, ClosingWhileLiveStopsCapture) {
    const uint32_t camera = Open();
    int32_t id = 0;
    unsigned char* memory = ActiveMemory(camera, id);
    sdk.StartLiveCapture(camera, 0);
    Sleep(10);
    EXPECT_EQ(sdk.FreeImageMemory(camera, memory, id), 0); // capture goes on without memory
    Sleep(10);
    EXPECT_EQ(sdk.CloseCamera(camera), 0);
    EXPECT_EQ(SimulatedCamera::OpenCameras(), 0);
}

TEST_F(Simulated, ExposureIsQuantisedAndBounded) {
    config.lineTimeMs = 0.025;
    config.minExposureMs = 0.5;
    config.maxExposureMs = 64.0;
    SimulatedCamera::Configure(config);
    const uint32_t camera = Open();
    double lower = 0, upper = 0, step = 0;
    sdk.ReadExposureRange(camera, &lower, &upper, &step);
    EXPECT_EQ(lower, 0.5);
    EXPECT_EQ(upper, 64.0);
    EXPECT_EQ(step, 0.025);

    double taken = 10.0;
    sdk.SetExposure(camera, 10.0, &taken);
    EXPECT_NEAR(taken, 10.0, 1e-9);
    sdk.SetExposure(camera, 10.013, &taken);
    EXPECT_NEAR(taken, 10.025, 1e-9);
    sdk.SetExposure(camera, 0.01, &taken);
    EXPECT_EQ(taken, 0.5);
    sdk.SetExposure(camera, 1000.0, &taken);
    EXPECT_EQ(taken, 64.0);
    EXPECT_EQ(SimulatedCamera::ExposureMs(camera), 64.0);
    sdk.CloseCamera(camera);
}

TEST_F(Simulated, ParameterFileRoundTrip) {
    const uint32_t first = Open();
    double taken = 0;
    sdk.SetExposure(first, 12.5, &taken);
    // The grabber forms Windows paths: the backslash separates directories.
    const std::string path = dir + "\\cam.ini";
    ASSERT_EQ(sdk.StoreParameters(first, path.c_str()), 0);
    sdk.CloseCamera(first);

    std::ifstream file(dir + "/cam.ini");
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("ExposureMs=12.5\n"), std::string::npos) << text.str();

    const uint32_t second = Open();
    EXPECT_EQ(SimulatedCamera::ExposureMs(second), 33.0);
    EXPECT_NE(sdk.ApplyParameterFile(second, (dir + "/missing.ini").c_str()), 0);
    EXPECT_EQ(SimulatedCamera::ExposureMs(second), 33.0);
    EXPECT_EQ(sdk.ApplyParameterFile(second, path.c_str()), 0);
    EXPECT_EQ(SimulatedCamera::ExposureMs(second), 12.5);

    std::ofstream(dir + "/edited.ini") << "junk\nFramesPerSecond=50\nExposureMs=abc\n";
    sdk.ApplyParameterFile(second, (dir + "/edited.ini").c_str());
    EXPECT_EQ(SimulatedCamera::FramesPerSecond(second), 50.0);
    EXPECT_EQ(SimulatedCamera::ExposureMs(second), 12.5);

    // Rates are clamped to the camera's range.
    for (const auto& rate : {std::make_pair("1e-300", 1.0), std::make_pair("1e300", 1000.0)}) {
        std::ofstream(dir + "/rate.ini") << "FramesPerSecond=" << rate.first << "\n";
        sdk.ApplyParameterFile(second, (dir + "/rate.ini").c_str());
        EXPECT_EQ(SimulatedCamera::FramesPerSecond(second), rate.second) << rate.first;
    }
    // A file beyond any parameter file's size is refused, not read whole.
    const std::string huge = dir + "/huge.ini";
    std::ofstream(huge) << "FramesPerSecond=50\n";
    std::filesystem::resize_file(huge, 200u << 20); // sparse
    EXPECT_EQ(sdk.ApplyParameterFile(second, huge.c_str()), SimulatedCamera::FileError);
    EXPECT_EQ(SimulatedCamera::FramesPerSecond(second), 1000.0);
    sdk.CloseCamera(second);

    SimulatedCamera::Config slow = config;
    slow.framesPerSecond = 1e-300;
    SimulatedCamera::Configure(slow);
    const uint32_t third = Open();
    EXPECT_EQ(SimulatedCamera::FramesPerSecond(third), 1.0);
    sdk.CloseCamera(third);
}
