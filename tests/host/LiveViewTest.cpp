// The live view without the network: its requests' routes and bodies, and
// the frame pipeline on a live simulated camera.
#include "grabber/IdsUeye.h"
#include "grabber/UeyeSdk.h"
#include "host/FrameFiles.h"
#include "host/LiveApi.h"
#include "host/LiveFrames.h"
#include "host/LiveServer.h"
#include "sim/SimulatedCamera.h"
#include "tests/TempDirectory.h"

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <turbojpeg.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

TEST(LiveRequests, RouteByMethodAndPathOnly) {
    const struct {
        const char* method;
        const char* target;
        LiveRoute route;
    } cases[] = {
        {"GET", "/", LiveRoute::Page},
        {"GET", "/?reload=1", LiveRoute::Page},
        {"GET", "/snapshot.png", LiveRoute::Snapshot},
        {"GET", "/api/status", LiveRoute::Status},
        {"GET", "/stream.mjpg?123", LiveRoute::Stream},
        {"POST", "/api/exposure", LiveRoute::Exposure},
        {"POST", "/api/negative", LiveRoute::Negative},
        {"GET", "/api/exposure", LiveRoute::WrongMethod},
        {"POST", "/", LiveRoute::WrongMethod},
        {"HEAD", "/snapshot.png", LiveRoute::WrongMethod},
        {"GET", "/../etc/passwd", LiveRoute::NotFound},
        {"GET", "/%2e%2e/framegrab.ini", LiveRoute::NotFound},
        {"GET", "//snapshot.png", LiveRoute::NotFound},
        {"GET", "/index.html", LiveRoute::NotFound},
        {"GET", "", LiveRoute::NotFound},
        {"GET", "http://example/", LiveRoute::NotFound},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RouteRequest(c.method, c.target), c.route) << c.method << " " << c.target;
    }
}

TEST(LiveRequests, ListenAddresses) {
    const struct {
        const char* text;
        const char* host; // null: refused
        uint16_t port;
    } cases[] = {
        {"8080", "127.0.0.1", 8080},
        {"0", "127.0.0.1", 0},
        {"127.0.0.2:80", "127.0.0.2", 80},
        {"[::1]:9000", "::1", 9000},
        {"65535", "127.0.0.1", 65535},
        {"", nullptr, 0},
        {"65536", nullptr, 0},
        {"-1", nullptr, 0},
        {"+80", nullptr, 0},
        {"80a", nullptr, 0},
        {" 80", nullptr, 0},
        {"localhost:80", nullptr, 0},
        {":80", nullptr, 0},
        {"127.0.0.1:", nullptr, 0},
        {"999999999999", nullptr, 0},
        {"1.2.3.4.5:80", nullptr, 0},
    };
    for (const auto& c : cases) {
        ListenAddress address;
        std::string error;
        const bool parsed = ParseListenAddress(c.text, address, error);
        EXPECT_EQ(parsed, c.host != nullptr) << c.text;
        if (parsed && c.host != nullptr) {
            EXPECT_EQ(address.host, c.host) << c.text;
            EXPECT_EQ(address.port, c.port) << c.text;
        } else {
            EXPECT_FALSE(error.empty()) << c.text;
        }
    }
}

TEST(LiveRequests, ExposureBodies) {
    const struct {
        const char* body;
        uint32_t taken; // 0: refused
    } cases[] = {
        {R"({"exposure_us": 5000})", 5000},
        {R"({"exposure_us":5000.4})", 5000},
        {R"( {"exposure_us": 50} )", 50},
        {R"({"exposure_us": 200000})", 200000},
        {R"({"exposure_us": 49})", 0},
        {R"({"exposure_us": 200001})", 0},
        {R"({"exposure_us": -5000})", 0},
        {R"({"exposure_us": 0})", 0},
        {R"({"exposure_us": 1e400})", 0},
        {R"({"exposure_us": 18446744073709551616})", 0},
        {R"({"exposure_us": NaN})", 0},
        {R"({"exposure_us": "5000"})", 0},
        {R"({"exposure_us": true})", 0},
        {R"({"exposure_us": null})", 0},
        {R"({"exposure_us": [5000]})", 0},
        {R"({"exposure_us": 5000, "gain": 2})", 0},
        {R"({"exposure": 5000})", 0},
        {R"({"exposure_us": 5000)", 0},
        {R"([5000])", 0},
        {"5000", 0},
        {"", 0},
        {"\xff\xfe{", 0},
    };
    for (const auto& c : cases) {
        uint32_t taken = 0;
        std::string error;
        const bool parsed = ParseExposureBody(c.body, 50, 200000, taken, error);
        EXPECT_EQ(parsed, c.taken != 0) << c.body;
        EXPECT_EQ(parsed ? taken : 0, c.taken) << c.body;
        EXPECT_EQ(error.empty(), parsed) << c.body;
    }
}

TEST(LiveRequests, NegativeBodies) {
    bool negative = false;
    std::string error;
    EXPECT_TRUE(ParseNegativeBody(R"({"negative": true})", negative, error));
    EXPECT_TRUE(negative);
    EXPECT_TRUE(ParseNegativeBody(R"({"negative":false})", negative, error));
    EXPECT_FALSE(negative);
    for (const char* bad : {R"({"negative": "true"})", R"({"negative": 1})", "{}", "true"}) {
        EXPECT_FALSE(ParseNegativeBody(bad, negative, error)) << bad;
    }
}

TEST(LiveRequests, StatusIsJsonWithEveryField) {
    LiveStatus status;
    status.stats.fps = 29.97;
    status.stats.frames = 120;
    status.stats.missed = 3;
    status.exposureUs = 33000;
    status.minExposureUs = 50;
    status.maxExposureUs = 200000;
    status.width = 1280;
    status.height = 1024;
    status.device = "genicam:\xff bad bytes";
    status.simdLevel = "avx2";
    GreyHistogram histogram{};
    histogram[7] = 9;
    status.histogram = &histogram;
    const auto json = nlohmann::json::parse(StatusJson(status));
    EXPECT_EQ(json["fps"], 30.0);
    EXPECT_EQ(json["frames"], 120);
    EXPECT_EQ(json["missed"], 3);
    EXPECT_EQ(json["exposure_us"], 33000);
    EXPECT_EQ(json["exposure_range_us"], nlohmann::json({50, 200000}));
    EXPECT_EQ(json["width"], 1280);
    EXPECT_EQ(json["height"], 1024);
    EXPECT_EQ(json["simd_level"], "avx2");
    EXPECT_TRUE(json["device"].is_string());
    EXPECT_EQ(json["histogram"].size(), 256u);
    EXPECT_EQ(json["histogram"][7], 9);
}

// A live simulated camera 256 pixels wide: every row then holds each grey
// level once, so each level's count is the height.
class LivePipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimulatedCamera::Config config;
        config.width = kWidth;
        config.height = kHeight;
        SimulatedCamera::Configure(config);
        grabber.OpenCamera(0);
        ASSERT_EQ(grabber.ImageWidth(0), kWidth);
        acquisition = grabber.StartAcquisition();
        grabber.StartLive();
    }
    void TearDown() override {
        pipeline.Stop();
        grabber.StopLive();
        grabber.StopAcquisition();
        if (acquisition != nullptr) acquisition->join();
        delete acquisition;
        grabber.CloseCamera(0);
        SimulatedCamera::Configure(SimulatedCamera::Config());
    }

    // The first frame published after `after`, waiting at most two seconds.
    std::shared_ptr<const LiveFrame> FrameAfter(uint64_t after) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < limit) {
            auto frame = pipeline.Latest();
            if (frame && frame->Number() > after) return frame;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return nullptr;
    }

    // The camera frame number n behind the picture, or -1 when any pixel
    // breaks the pattern (x + 2y + n) mod 256, row 0 at the top.
    static int PatternFrame(const LiveFrame& frame, bool negative) {
        DibLayout dib;
        std::string error;
        if (!ReadDibLayout(frame.Image(), dib, error)) return -1;
        const uint8_t* top = dib.pixels + dib.stride * (dib.height - 1);
        const int n = ((negative ? 255 - top[0] : top[0]) + 256) % 256;
        for (uint32_t y = 0; y < dib.height; ++y) {
            const uint8_t* row = dib.pixels + dib.stride * (dib.height - 1 - y);
            for (uint32_t x = 0; x < dib.width; ++x) {
                const int expected = int((x + 2 * y + unsigned(n)) % 256);
                if (row[x] != (negative ? 255 - expected : expected)) return -1;
            }
        }
        return n;
    }

    static constexpr int kWidth = 256, kHeight = 24;
    TempDirectory temp{"live-pipeline"};
    struct Grabber : IdsUeye {
        using IdsUeye::IdsUeye;
        uint32_t Handle() const { return sdkCamera; }
    } grabber{temp.Path() + "/camera.ini"};
    boost::thread* acquisition = nullptr;
    LivePipeline pipeline{grabber, ChosenCameraDevice().counts};
};

TEST_F(LivePipelineTest, PublishesEachNewFrameUprightWithItsHistogram) {
    pipeline.Start(nullptr);
    auto first = FrameAfter(0);
    ASSERT_TRUE(first);
    auto second = FrameAfter(first->Number());
    ASSERT_TRUE(second);
    const int n1 = PatternFrame((*first), false);
    const int n2 = PatternFrame((*second), false);
    ASSERT_GE(n1, 0);
    ASSERT_GE(n2, 0);
    EXPECT_NE(n1, n2); // a fresh frame each time, not the same one again
    for (uint64_t count : second->Histogram()) ASSERT_EQ(count, uint64_t(kHeight));

    const LiveStats stats = pipeline.Stats();
    EXPECT_GE(stats.taken, 2u);
    EXPECT_GE(stats.frames, stats.taken);
    EXPECT_EQ(stats.missed, stats.frames - stats.taken);
}

TEST_F(LivePipelineTest, NegativeSwitchReachesTheNextFrames) {
    pipeline.Start(nullptr);
    pipeline.SetNegative(true);
    auto frame = FrameAfter(0);
    // The frame being taken when the switch came may still be positive.
    frame = FrameAfter(frame ? frame->Number() : 0);
    ASSERT_TRUE(frame);
    EXPECT_GE(PatternFrame((*frame), true), 0);
}

TEST_F(LivePipelineTest, ViewersGetEachFrameEncodedOnceAsJpeg) {
    pipeline.AddViewer();
    pipeline.Start(nullptr);
    auto first = FrameAfter(0);
    auto frame = first ? FrameAfter(first->Number()) : nullptr;
    ASSERT_TRUE(frame);
    EXPECT_GT(pipeline.Stats().encodeMs, 0); // encoded on the pipeline's thread
    const std::string& jpeg = frame->Jpeg();
    ASSERT_FALSE(jpeg.empty());
    EXPECT_EQ(&frame->Jpeg(), &jpeg);

    tjhandle decoder = tjInitDecompress();
    std::vector<unsigned char> grey(size_t(kWidth) * kHeight);
    ASSERT_EQ(tjDecompress2(decoder, reinterpret_cast<const unsigned char*>(jpeg.data()),
                            jpeg.size(), grey.data(), kWidth, kWidth, kHeight, TJPF_GRAY, 0),
              0);
    tjDestroy(decoder);
    // Top row first, as the picture shows; JPEG keeps the values close away
    // from the wrap from 255 to 0.
    const int n = PatternFrame((*frame), false);
    ASSERT_GE(n, 0);
    for (int y : {0, kHeight / 2, kHeight - 1}) {
        const int x = (256 + 128 - 2 * y - n) % 256; // grey level 128
        EXPECT_NEAR(grey[size_t(y) * kWidth + size_t(x)], 128, 6) << y;
    }
    pipeline.RemoveViewer();
}

TEST_F(LivePipelineTest, StopsPromptlyAndIdleCameraAddsNoFrames) {
    std::atomic<int> published{0};
    pipeline.Start([&] { ++published; });
    ASSERT_TRUE(FrameAfter(0));
    // The camera sends nothing more, while the grabber is still live.
    UeyeSdk::Current().StopLiveCapture(grabber.Handle(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const int before = published;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(published, before); // waits that end without a frame publish nothing
    const auto start = std::chrono::steady_clock::now();
    pipeline.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500));
}

// The server in this process on a live simulated camera, ended by the
// signal it ends on.
class LiveServerTest : public LivePipelineTest {
protected:
    void SetUp() override {
        LivePipelineTest::SetUp();
        const int probe = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(0);
        socklen_t size = sizeof address;
        bind(probe, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
        close(probe);
        port = ntohs(address.sin_port);
        job.address = "127.0.0.1:" + std::to_string(port);
        server = std::thread([this] { result = ServeLive(grabber, job, ChosenCameraDevice()); });
        // Its signal handler is in place once it takes connections.
        for (int i = 0; i < 300 && !serving; ++i) {
            const int connection = Connect();
            serving = connection >= 0;
            if (serving)
                close(connection);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(serving);
    }
    void TearDown() override {
        if (serving) kill(getpid(), SIGTERM);
        server.join();
        EXPECT_EQ(result, serving ? int(FramegrabSuccess) : result);
        LivePipelineTest::TearDown();
    }

    static sockaddr_in Loopback(uint16_t port) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    int Connect() const {
        const int connection = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = Loopback(port);
        if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return connection;
        close(connection);
        return -1;
    }
    static int OpenFiles() {
        const std::filesystem::directory_iterator files("/proc/self/fd");
        return int(std::distance(begin(files), end(files)));
    }

    uint16_t port = 0;
    LiveJob job;
    std::thread server;
    bool serving = false;
    int result = -1;
};

TEST_F(LiveServerTest, AViewerThatLeavesWhileNoFrameComesIsLetGoAtOnce) {
    UeyeSdk::Current().StopLiveCapture(grabber.Handle(), 1); // no frame comes any more
    const int viewer = Connect();
    ASSERT_GE(viewer, 0);
    const std::string request = "GET /stream.mjpg HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(send(viewer, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    char reply[16] = {};
    ASSERT_GT(recv(viewer, reply, sizeof reply - 1, 0), 0);
    EXPECT_EQ(std::string(reply).rfind("HTTP/1.1 200", 0), 0u) << reply;
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the probes are closed
    const int open = OpenFiles();
    close(viewer);
    // The server's side goes too, though no frame comes to find it closed.
    for (int i = 0; i < 100 && OpenFiles() > open - 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(OpenFiles(), open - 2);
    UeyeSdk::Current().StartLiveCapture(grabber.Handle(), 0); // frames end the server's wait
}

} // namespace
