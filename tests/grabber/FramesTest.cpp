#include "sim/SimulatedCamera.h"
#include "tests/grabber/GrabberTestSupport.h"

#include <gtest/gtest.h>

using namespace grabber_test;

namespace {

class Frames : public ::testing::Test {
protected:
    FakeSdkScope fake; // 16 x 8 memory holding (x + 2y) mod 256
};

// The camera's first row is the picture's top row: stored row height-1-y.
void ExpectFrame(CxImage& image, const unsigned char* memory, int w, int h, bool negative) {
    ASSERT_TRUE(image.IsValid());
    ASSERT_EQ(image.GetWidth(), unsigned(w));
    ASSERT_EQ(image.GetHeight(), unsigned(h));
    ASSERT_EQ(image.GetBpp(), 8);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned char camera = memory[y * w + x];
            ASSERT_EQ(image.GetPixelIndex(x, h - 1 - y), negative ? 255 - camera : camera)
                << x << "," << y;
        }
    }
}

} // namespace

TEST_F(Frames, GrabIntoImageKeepsOrientationAndGreyPalette) {
    Probe grabber("cam.ini");
    grabber.OpenCamera(0);
    CxImage image;
    CerrCapture err;
    grabber.GrabImage(0, &image);
    ExpectFrame(image, grabber.imageMemory, 16, 8, false);
    for (int i : {0, 10, 128, 255}) {
        const RGBQUAD entry = image.GetPaletteColor(static_cast<unsigned char>(i));
        EXPECT_EQ(entry.rgbRed, i);
        EXPECT_EQ(entry.rgbGreen, i);
        EXPECT_EQ(entry.rgbBlue, i);
    }
    EXPECT_EQ(err.Text(), "");
}

TEST_F(Frames, NegativeFlagInvertsTheImage) {
    Probe grabber("cam.ini");
    grabber.OpenCamera(0);
    grabber.SetNegative(true);
    CxImage image;
    grabber.GrabImage(0, &image);
    ExpectFrame(image, grabber.imageMemory, 16, 8, true);
    // Camera byte 10 is at x = 10, y = 0 (top row).
    EXPECT_EQ(image.GetPixelIndex(10, 7), 245);
    CxImage returned = grabber.GrabImage(0);
    ExpectFrame(returned, grabber.imageMemory, 16, 8, true);
}

TEST_F(Frames, RepeatedGrabsReuseTheBufferAndOtherSizesAreRecreated) {
    Probe grabber("cam.ini");
    grabber.OpenCamera(0);
    CxImage image;
    grabber.GrabImage(0, &image);
    const void* bits = image.GetBits();
    grabber.GrabImage(0, &image);
    EXPECT_EQ(image.GetBits(), bits);

    CxImage other(40, 30, 8);
    grabber.GrabImage(0, &other);
    ExpectFrame(other, grabber.imageMemory, 16, 8, false);
}

TEST_F(Frames, WithoutImageMemoryNothingHappens) {
    Probe grabber("cam.ini");
    CxImage image(4, 3, 8);
    image.SetPixelIndex(1, 1, 77);
    CerrCapture err;
    grabber.GrabImage(5, &image);
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetPixelIndex(1, 1), 77);
    EXPECT_EQ(err.Text(), "");

    CxImage returned = grabber.GrabImage(0);
    EXPECT_FALSE(returned.IsValid());
    EXPECT_EQ(err.Text(), "");
}

TEST_F(Frames, OtherDepthFailsAndLeavesTheTargetUnchanged) {
    Probe grabber("cam.ini");
    grabber.OpenCamera(0);
    grabber.SetNegative(true);
    grabber.bitsPerPixel = 24;
    CxImage image(4, 3, 8);
    image.SetPixelIndex(1, 1, 77);
    CerrCapture err;
    grabber.GrabImage(0, &image);
    EXPECT_EQ(err.Text(), "Creating Bitmap Failed\n");
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetPixelIndex(1, 1), 77); // not inverted either
}

TEST_F(Frames, FailedCreationStillAppliesTheNegative) {
    Probe grabber("cam.ini");
    grabber.OpenCamera(0);
    CxImage image;
    grabber.GrabImage(0, &image); // a grey frame to work on
    grabber.SetNegative(true);
    grabber.imageWidth = 0; // no image can be made of it
    CerrCapture err;
    grabber.GrabImage(0, &image);
    EXPECT_EQ(err.Text(), "Creating Bitmap Failed\n");
    ExpectFrame(image, grabber.imageMemory, 16, 8, true);
}

TEST_F(Frames, ReturnedImageWithOtherIndexWarnsForEachQuery) {
    Probe grabber("cam.ini");
    grabber.OpenCamera(0);
    CerrCapture err;
    CxImage returned = grabber.GrabImage(1);
    ExpectFrame(returned, grabber.imageMemory, 16, 8, false);
    std::string expected;
    for (int i = 0; i < 4; ++i) expected += "Only One Camera Supported\n";
    EXPECT_EQ(err.Text(), expected);
}

TEST(SimulatedFrames, GrabbedImageShowsTheCameraPatternUpright) {
    SimulatedCameraScope camera(40, 24, 500);
    TempWorkingDirectory dir;
    CerrCapture err;
    Probe grabber("cam.ini");
    grabber.OpenCamera(0);
    grabber.StartLive();
    while (SimulatedCamera::FramesDelivered(grabber.sdkCamera) < 3) {
        boost::this_thread::sleep_for(boost::chrono::milliseconds(2));
    }
    grabber.StopLive();
    CxImage image = grabber.GrabImage(0);
    ASSERT_TRUE(image.IsValid());
    const unsigned n = image.GetPixelIndex(0, 23); // top left
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(image.GetPixelIndex(x, 23 - y), (x + 2 * y + n) & 0xFF);
    grabber.CloseCamera(0);
}
