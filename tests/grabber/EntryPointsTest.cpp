#include "grabber/GrabberEntryPoints.h"
#include "tests/grabber/GrabberTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace grabber_test;

namespace {

// The parameter file path, as the grabber hands it to the SDK when closing.
std::string PathFor(uint32_t camera, const std::string& name) {
    FakeSdkScope fake;
    FrameGrabber* grabber = MakeGrabber(camera, name);
    EXPECT_NE(grabber, nullptr);
    if (grabber == nullptr) return "";
    grabber->CloseCamera(0);
    DeleteGrabber(grabber);
    const std::vector<std::string> calls = FakeSdk::Calls();
    const std::string prefix = "StoreParameters(0,";
    if (calls.size() != 1 || calls[0].compare(0, prefix.size(), prefix) != 0) return "?";
    return calls[0].substr(prefix.size(), calls[0].size() - prefix.size() - 1);
}

} // namespace

TEST(EntryPoints, ParameterFilePathFollowsTheIniRule) {
    TempWorkingDirectory dir("/work");
    const std::string base = dir.Path() + "\\";
    EXPECT_EQ(PathFor(0, "cam1"), base + "cam1.ini");
    EXPECT_EQ(PathFor(0, "cam1.ini"), base + "cam1.ini");
    EXPECT_EQ(PathFor(0, "cam1.ini.bak"), base + "cam1.ini.bak");
    EXPECT_EQ(PathFor(0, "cam1.INI"), base + "cam1.INI.ini");
    EXPECT_EQ(PathFor(0, ""), base + ".ini");
}

TEST(EntryPoints, IniInTheWorkingDirectorySuppressesTheSuffix) {
    TempWorkingDirectory dir("/old.ini/run");
    EXPECT_EQ(PathFor(0, "cam1"), dir.Path() + "\\cam1");
}

TEST(EntryPoints, EmptyNameWithNonZeroIndexWarnsOnceAndStillCreates) {
    TempWorkingDirectory dir;
    {
        CerrCapture err;
        EXPECT_EQ(PathFor(0, ""), dir.Path() + "\\.ini");
        EXPECT_EQ(err.Text(), "");
    }
    CerrCapture err;
    EXPECT_EQ(PathFor(1, ""), dir.Path() + "\\.ini");
    EXPECT_EQ(err.Text(), "Only One Camera Supported\n");
}

TEST(EntryPoints, NewGrabberIsClosedAndUntouched) {
    FakeSdkScope fake;
    {
        Probe probe("cam.ini");
        EXPECT_FALSE(probe.cameraOpen);
        EXPECT_FALSE(probe.live);
        EXPECT_EQ(probe.spare1, 0);
        EXPECT_EQ(probe.spare2, 2);
    }
    FrameGrabber* grabber = MakeGrabber(0, "cam");
    ASSERT_NE(grabber, nullptr);
    EXPECT_EQ(grabber->ImageWidth(0), 0);
    EXPECT_EQ(grabber->ImageHeight(0), 0);
    EXPECT_EQ(grabber->BitsPerPixel(0), 0);
    EXPECT_EQ(DeleteGrabber(grabber), 0);
    EXPECT_TRUE(FakeSdk::Calls().empty());
}

TEST(EntryPoints, UnreadableWorkingDirectoryGivesNoGrabber) {
    TempWorkingDirectory dir;
    // A working directory of 256 characters, one more than the query accepts
    // and within what Windows allows for a working directory.
    const size_t length = 256;
    std::string deep = dir.Path();
    ASSERT_LT(deep.size(), length - 2);
    const size_t missing = length - deep.size();
    const size_t parts = (missing + 40) / 41; // names of at most 40 characters
    for (size_t i = 0; i < parts; ++i) {
        const size_t step = missing / parts + (i < missing % parts ? 1 : 0);
        deep += "/" + std::string(step - 1, 'd');
        ASSERT_TRUE(std::filesystem::create_directory(deep));
    }
    ASSERT_EQ(deep.size(), length);
    std::filesystem::current_path(deep);
    EXPECT_EQ(MakeGrabber(0, "cam"), nullptr);
}

TEST(EntryPoints, DeleteNullAndVersionText) {
    EXPECT_EQ(DeleteGrabber(nullptr), 0);
    const char* first = GrabberApiVersion();
    EXPECT_STREQ(first, "FrameGrabber $Revision: 1.26 $");
    EXPECT_EQ(GrabberApiVersion(), first);
}
