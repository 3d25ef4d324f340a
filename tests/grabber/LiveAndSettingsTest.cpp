#include "tests/grabber/GrabberTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

using namespace grabber_test;

namespace {

class Opened : public ::testing::Test {
protected:
    void SetUp() override {
        grabber.OpenCamera(0);
        FakeSdk::Clear();
    }
    FakeSdkScope fake;
    Probe grabber{"cam.ini"};
};

} // namespace

TEST_F(Opened, StartLiveTwiceMakesBothSequences) {
    CerrCapture err;
    grabber.StartLive();
    grabber.StartLive();
    const std::vector<std::string> once = {
        "ConfigureBeforeLive(7,0,0)", "ApplyParameterFile(7,cam.ini)", "StartLiveCapture(7,0)"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(FakeSdk::Calls(), twice);
    EXPECT_EQ(err.Text(), "start Live\nstart Live\n");
    EXPECT_TRUE(grabber.live);
}

TEST_F(Opened, StopLiveStoresOnlyWhenLive) {
    grabber.StopLive();
    EXPECT_TRUE(FakeSdk::Calls().empty());
    CerrCapture err;
    grabber.StartLive();
    FakeSdk::Clear();
    grabber.StopLive();
    EXPECT_EQ(FakeSdk::Calls(),
              (std::vector<std::string>{"StopLiveCapture(7,1)", "StoreParameters(7,cam.ini)"}));
    EXPECT_FALSE(grabber.live);
}

TEST_F(Opened, CopyImageIsByteExactAndItsNegativeInverts) {
    const size_t n = 16 * 8;
    std::vector<unsigned char> bytes(n, 0x5A);
    grabber.CopyImage(0, bytes.data(), true); // live is off: no waiting
    EXPECT_EQ(0, std::memcmp(bytes.data(), grabber.imageMemory, n));

    std::vector<uint32_t> words(n, 0xFFFFFFFF);
    grabber.CopyImage(0, words.data(), false);
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(words[i], grabber.imageMemory[i]) << i;

    grabber.SetNegative(true);
    grabber.CopyImage(0, bytes.data(), false);
    grabber.CopyImage(0, words.data(), false);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(bytes[i], 255 - grabber.imageMemory[i]) << i;
        EXPECT_EQ(words[i], 255u - grabber.imageMemory[i]) << i;
    }
    EXPECT_TRUE(FakeSdk::Calls().empty());
}

TEST_F(Opened, CopyImageWithOtherIndexDoesNotWaitAndWarnsPerQuery) {
    CerrCapture err;
    grabber.StartLive();
    std::vector<unsigned char> bytes(16 * 8);
    const long long ms = MillisecondsOf([&] { grabber.CopyImage(1, bytes.data(), true); });
    EXPECT_LT(ms, 15);
    EXPECT_EQ(err.Text(), "start Live\nOnly One Camera Supported\nOnly One Camera Supported\n"
                          "Only One Camera Supported\n");
}

TEST_F(Opened, CopyImageWaitIsBoundedWithoutAnAcquisitionThread) {
    CerrCapture err;
    grabber.StartLive();
    std::vector<unsigned char> bytes(16 * 8);
    const long long ms = MillisecondsOf([&] { grabber.CopyImage(0, bytes.data(), true); });
    EXPECT_GE(ms, 19);
    EXPECT_LT(ms, 500);
}

TEST(CopyImage, LeavesTheBufferAloneWithoutImageMemory) {
    FakeSdkScope fake;
    Probe grabber("cam.ini");
    unsigned char bytes[3] = {1, 2, 3};
    uint32_t words[3] = {4, 5, 6};
    CerrCapture err;
    grabber.CopyImage(0, bytes, true);
    grabber.CopyImage(0, words, true);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(words[2], 6u);
    EXPECT_EQ(err.Text(), "");
}

TEST_F(Opened, SaveRawImageWritesTheFrameTopRowFirst) {
    TempWorkingDirectory dir;
    grabber.SaveRawImage(0, "frame.raw");
    std::ifstream file("frame.raw", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(bytes.size(), 16u * 8u);
    EXPECT_EQ(0, std::memcmp(bytes.data(), grabber.imageMemory, bytes.size()));
}

TEST_F(Opened, SaveRawImageReportsFailedWrites) {
    TempWorkingDirectory dir;
    CerrCapture err;
    grabber.SaveRawImage(0, dir.Path() + "/missing/frame.raw");
    std::string expected = "ERROR: Can not write " + dir.Path() +
                           "/missing/frame.raw: " + std::strerror(ENOENT) + "\n";
#if !defined(_WIN32)                      // a full device exists on Linux only
    grabber.SaveRawImage(0, "/dev/full"); // opens, but every write fails
    expected += "ERROR: Can not write /dev/full: " + std::string(std::strerror(ENOSPC)) + "\n";
#endif
    EXPECT_EQ(err.Text(), expected);
}

TEST_F(Opened, FailedParameterStoreIsReported) {
    CerrCapture err;
    grabber.StartLive();
    FakeSdk::Config().storeStatus = 126;
    grabber.StopLive();
    grabber.CloseCamera(0);
    const std::string message = "ERROR: Can not store the camera parameters in cam.ini!\n";
    EXPECT_EQ(err.Text(), "start Live\n" + message + message);
    grabber.CloseCamera(0); // closed: nothing to lose
    EXPECT_EQ(err.Text(), "start Live\n" + message + message);
}

TEST_F(Opened, SaveRawImageIgnoresTheNegativeFlagAndTestsNoIndexOfItsOwn) {
    TempWorkingDirectory dir;
    grabber.SetNegative(true);
    CerrCapture err;
    grabber.SaveRawImage(4, "frame.raw");
    // One message each for the width and height queries.
    EXPECT_EQ(err.Text(), "Only One Camera Supported\nOnly One Camera Supported\n");
    std::ifstream file("frame.raw", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(bytes.size(), 16u * 8u);
    EXPECT_EQ(0, std::memcmp(bytes.data(), grabber.imageMemory, bytes.size()));
}

TEST(SaveRawImage, WritesNoFileWithoutImageMemory) {
    FakeSdkScope fake;
    TempWorkingDirectory dir;
    Probe grabber("cam.ini");
    grabber.SaveRawImage(0, "frame.raw");
    EXPECT_FALSE(std::ifstream("frame.raw").good());
}

TEST_F(Opened, ExposureReadsSetsAndConvertsBack) {
    uint32_t value = 0;
    EXPECT_EQ(grabber.Exposure(0, &value), 0);
    EXPECT_EQ(value, 33000u);
    EXPECT_TRUE(FakeSdk::Calls().empty());

    FakeSdk::Config().exposureTaken = 9.5;
    value = 10000;
    const long long ms = MillisecondsOf([&] { EXPECT_EQ(grabber.Exposure(0, &value), 9500); });
    EXPECT_GE(ms, 299);
    EXPECT_EQ(FakeSdk::Calls(),
              (std::vector<std::string>{"SetExposure(7,10,10)", "ReadExposureRange(7)"}));
    EXPECT_EQ(value, 9500u);
    value = 0;
    grabber.Exposure(0, &value);
    EXPECT_EQ(value, 9500u);

    FakeSdk::Config().exposureTaken = 33.3339;
    value = 33334;
    EXPECT_EQ(grabber.Exposure(0, &value), 33333);
}

TEST_F(Opened, LongExposureSettlesFiveTimesAsLong) {
    FakeSdk::Config().upper = 1000;
    uint32_t value = 100000;
    const long long ms = MillisecondsOf([&] { grabber.Exposure(0, &value); });
    EXPECT_GE(ms, 499);
    EXPECT_EQ(value, 100000u);
}

TEST_F(Opened, ExposureSettlesOnWhatTheCameraAppliedBoundedByItsLongest) {
    // Requests far beyond the camera: the wait follows the applied 64 ms.
    FakeSdk::Config().exposureTaken = 64;
    uint32_t value = 0xFFFFFFFF;
    EXPECT_LT(MillisecondsOf([&] { grabber.Exposure(0, &value); }), 1500);
    EXPECT_EQ(value, 64000u);
    // A camera that reports more than its longest exposure.
    FakeSdk::Config().exposureTaken = 1e6;
    value = 4000000;
    EXPECT_LT(MillisecondsOf([&] { grabber.Exposure(0, &value); }), 1500);
}

TEST_F(Opened, ExposureReportKeepsTheLow32BitsUpToThe64BitLimit) {
    // 9.216e15 ms is 9.216e18 us, inside the 64-bit range: its low 32 bits
    // are 0xEA000000.
    FakeSdk::Config().exposureTaken = 9.216e15;
    uint32_t value = 1;
    EXPECT_EQ(grabber.Exposure(0, &value), -369098752);
    EXPECT_EQ(value, 0xEA000000u);

    // Beyond the 64-bit range there is no integer to truncate to.
    FakeSdk::Config().exposureTaken = 1e300;
    value = 1;
    EXPECT_EQ(grabber.Exposure(0, &value), 0);
}

TEST_F(Opened, ExposureRangeInMicroseconds) {
    EXPECT_EQ(grabber.MinExposure(), 500);
    EXPECT_EQ(grabber.MaxExposure(), 64000);
    FakeSdk::Config().fillRange = false;
    EXPECT_EQ(grabber.MinExposure(), 0);
    EXPECT_EQ(grabber.MaxExposure(), 0);
}

TEST(Settings, AnsweredWithoutTheCamera) {
    FakeSdkScope fake;
    Probe grabber("cam.ini");
    EXPECT_STREQ(grabber.CameraDescription().text, "");
    EXPECT_FALSE(grabber.QueryCameraStatus());
    EXPECT_TRUE(FakeSdk::Calls().empty());

    grabber.OpenCamera(0);
    FakeSdk::Clear();
    EXPECT_STREQ(grabber.CameraDescription().text, "Not implemented yet");
    EXPECT_FALSE(grabber.QueryCameraStatus());
    EXPECT_EQ(FakeSdk::Calls(), std::vector<std::string>{"QueryStatus(7,null)"});

    CerrCapture err;
    int32_t value = 7;
    grabber.SetColor(3, &value);
    EXPECT_EQ(err.Text(), " SET COLOR === 3Value =7\n");

    try {
        grabber.CameraGain(0);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "IdsUeye::CameraGain()  -- Not implemented yet");
    }
    EXPECT_THROW(grabber.CameraGain(0, 5), std::runtime_error);
    try {
        grabber.AdjustCameraGain(0);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "IdsUeye::AdjustCameraGain()  -- Not implemented yet");
    }
    EXPECT_EQ(grabber.ImageWidth(0), 16); // still usable
}
