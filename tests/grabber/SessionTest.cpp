#include "tests/grabber/GrabberTestSupport.h"

#include <gtest/gtest.h>

using namespace grabber_test;

namespace {

const std::vector<std::string> kOpenSequence = {
    "OpenCamera(0,null)",
    "EnableErrorReport(7,1)",
    "ReadColourDepth(7)",
    "ReadSensorRecord(7)",
    "AllocateImageMemory(7,16,8,8)",
    "SetColourMode(7,6)",
    "ActivateImageMemory(7,mem1,1)",
    "SetImageSize(7,16,8)",
    "Configure(7,1)",
};

class Session : public ::testing::Test {
protected:
    FakeSdkScope fake;
};

int32_t FirstMemoryId() {
    for (const auto& call : FakeSdk::Calls()) {
        const size_t at = call.find(",mem");
        if (at != std::string::npos) return std::stoi(call.substr(at + 4));
    }
    return 0;
}

} // namespace

TEST_F(Session, OpenMakesTheConfigurationCallsInOrder) {
    Probe grabber("C:\\work\\cam.ini");
    CerrCapture err;
    grabber.OpenCamera(0);
    EXPECT_EQ(FakeSdk::Calls(), kOpenSequence);
    EXPECT_TRUE(grabber.cameraOpen);
    EXPECT_EQ(grabber.BitsPerPixel(0), 8);
    EXPECT_EQ(grabber.ImageWidth(0), 16);
    EXPECT_EQ(grabber.ImageHeight(0), 8);
    EXPECT_EQ(err.Text(), "");
}

TEST_F(Session, NonZeroIndexWarnsOnceThenOpensAsForZero) {
    Probe grabber("p.ini");
    CerrCapture err;
    grabber.OpenCamera(3);
    EXPECT_EQ(err.Text(), "Only One Camera Supported\n");
    EXPECT_EQ(FakeSdk::Calls(), kOpenSequence);
}

TEST_F(Session, SecondOpenMakesNoCallAndNoMessage) {
    Probe grabber("p.ini");
    grabber.OpenCamera(0);
    FakeSdk::Clear();
    CerrCapture err;
    grabber.OpenCamera(5);
    EXPECT_TRUE(FakeSdk::Calls().empty());
    EXPECT_EQ(err.Text(), "");
}

TEST_F(Session, OpenFailureReportsAndLeavesTheCameraClosed) {
    FakeSdk::Config().openStatus = 3;
    Probe grabber("p.ini");
    CerrCapture err;
    grabber.OpenCamera(0);
    EXPECT_EQ(err.Text(), "ERROR: Can not open uEye camera!\n");
    EXPECT_EQ(FakeSdk::Calls(), std::vector<std::string>{"OpenCamera(0,null)"});
    EXPECT_FALSE(grabber.cameraOpen);
    EXPECT_EQ(grabber.imageMemory, nullptr);
    unsigned char buffer[4] = {1, 2, 3, 4};
    grabber.CopyImage(0, buffer, false);
    EXPECT_EQ(buffer[0], 1);
}

TEST_F(Session, ErrorReportFailureOnlyWarns) {
    FakeSdk::Config().reportStatus = 9;
    Probe grabber("p.ini");
    CerrCapture err;
    grabber.OpenCamera(0);
    EXPECT_EQ(err.Text(), "ERROR: Can not enable the automatic uEye error report!\n");
    EXPECT_TRUE(grabber.cameraOpen);
    EXPECT_EQ(FakeSdk::Calls().size(), kOpenSequence.size());
}

TEST_F(Session, CloseOnNeverOpenedGrabberOnlyStoresWithHandleZero) {
    Probe grabber("C:\\w\\cam.ini");
    grabber.CloseCamera(0);
    EXPECT_EQ(FakeSdk::Calls(), std::vector<std::string>{"StoreParameters(0,C:\\w\\cam.ini)"});
}

TEST_F(Session, CloseReleasesAndReopenAllocatesNewMemory) {
    Probe grabber("p.ini");
    grabber.OpenCamera(0);
    FakeSdk::Clear();
    CerrCapture err;
    grabber.CloseCamera(2);
    EXPECT_EQ(err.Text(), "Only One Camera Supported\n");
    EXPECT_EQ(FakeSdk::Calls(),
              (std::vector<std::string>{"StoreParameters(7,p.ini)", "FreeImageMemory(7,mem1,1)",
                                        "CloseCamera(7)"}));
    EXPECT_FALSE(grabber.cameraOpen);
    EXPECT_EQ(grabber.imageMemory, nullptr);

    // Closed: a second close only stores the parameters.
    FakeSdk::Clear();
    grabber.CloseCamera(0);
    EXPECT_EQ(FakeSdk::Calls(), std::vector<std::string>{"StoreParameters(7,p.ini)"});

    FakeSdk::Clear();
    grabber.OpenCamera(0);
    EXPECT_TRUE(grabber.cameraOpen);
    EXPECT_NE(grabber.imageMemory, nullptr);
    EXPECT_EQ(FakeSdk::Calls().size(), kOpenSequence.size());
    EXPECT_EQ(FirstMemoryId(), 2);
}

TEST_F(Session, DestroyingAClosedGrabberMakesNoCall) {
    {
        Probe grabber("p.ini");
        grabber.OpenCamera(0);
        grabber.CloseCamera(0);
        FakeSdk::Clear();
    }
    EXPECT_TRUE(FakeSdk::Calls().empty());
}

TEST_F(Session, DestroyingAnOpenGrabberReleasesExactlyOnce) {
    {
        Probe grabber("p.ini");
        grabber.OpenCamera(0);
        FakeSdk::Clear();
    }
    const std::string mem = "mem1,1";
    EXPECT_EQ(FakeSdk::Calls(),
              (std::vector<std::string>{"StoreParameters(7,p.ini)",
                                        "FreeImageMemory(7," + mem + ")", "CloseCamera(7)"}));
}

TEST_F(Session, CheckCameraIndexWritesTheCallersName) {
    Probe grabber("p.ini");
    CerrCapture err;
    grabber.CheckCameraIndex(0, "Grab");
    EXPECT_EQ(err.Text(), "");
    grabber.CheckCameraIndex(2, "Grab");
    EXPECT_EQ(err.Text(), "Grab:  Only One Camera Supported \n");
    EXPECT_TRUE(FakeSdk::Calls().empty());
}
