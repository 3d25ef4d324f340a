// Runs the built framegrab program against the plug-in and checks what it
// writes and how it fails.
#include "image/CxImage.h"
#include "image/SimdLevel.h"
#include "platform/ProgramDirectory.h"
#include "tests/TempDirectory.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The camera keeps writing while a frame is read, so the rows read after the
// first pixel may belong to the frame before or after it; under load
// (sanitizers, parallel tests) a few frames may pass during one read.
const int kFramesPassingDuringARead = 4;

// Frame distance of a pixel from the expected pattern value, -128..127.
int FrameDistance(unsigned value, unsigned expected) {
    return static_cast<int8_t>(static_cast<uint8_t>(value - expected));
}

#if defined(_WIN32)
// Built beside the tests; the shell is cmd.exe.
const char kFramegrab[] = "/framegrab.exe";
const char kChangeDirectory[] = "cd /d ";
int ExitCode(int status) {
    return status;
}
#else
const char kFramegrab[] = "/../host/framegrab";
const char kChangeDirectory[] = "cd ";
int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

class FramegrabProgram : public ::testing::Test {
protected:
    // Runs framegrab in the test's folder; arguments are quoted with double
    // quotes, which both shells understand.
    // Shell commands in the prefix (limits, for one) apply to the program.
    int Run(const std::string& arguments, const std::string& prefix = "") {
        const std::string command = kChangeDirectory + ("\"" + dir + "\" && ") + prefix + "\"" +
                                    ProgramDirectory() + kFramegrab + "\" " + arguments + " >\"" +
                                    dir + "/log\" 2>&1";
        return ExitCode(std::system(command.c_str()));
    }
    std::string LogText() {
        const std::vector<uint8_t> log = Read("log");
        return std::string(log.begin(), log.end());
    }
    bool Exists(const std::string& name) { return std::filesystem::exists(dir + "/" + name); }
    std::vector<uint8_t> Read(const std::string& name) {
        std::ifstream file(dir + "/" + name, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
    }
    TempDirectory temp{"framegrab-test"};
    const std::string dir = temp.Path();
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The bitmap holds the camera pattern, the top row last.
void ExpectPatternBmp(const std::vector<uint8_t>& bmp, bool negative) {
    ASSERT_GT(bmp.size(), 54u);
    ASSERT_EQ(bmp[0], 'B');
    ASSERT_EQ(bmp[1], 'M');
    ASSERT_EQ(Le32(bmp, 2), bmp.size());
    const uint32_t offset = Le32(bmp, 10);
    const int32_t width = int32_t(Le32(bmp, 18)), height = int32_t(Le32(bmp, 22));
    ASSERT_EQ(width, 1280);
    ASSERT_EQ(height, 1024);
    ASSERT_EQ(bmp[28], 8);
    ASSERT_EQ(offset, 14u + 40u + 1024u);
    auto camera = [&](int x, int y) {
        const uint8_t stored = bmp[offset + size_t(height - 1 - y) * width + x];
        return negative ? uint8_t(255 - stored) : stored;
    };
    // Each pixel belongs to the frame of the top-left pixel or a later one.
    const uint8_t n = camera(0, 0);
    for (int y = 0; y < height; y += 37) {
        for (int x = 0; x < width; x += 53) {
            const int distance = FrameDistance(camera(x, y), x + 2 * y + n);
            ASSERT_LE(std::abs(distance), kFramesPassingDuringARead) << x << "," << y;
        }
    }
}

void ExpectValidPng(const std::vector<uint8_t>& png) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GT(png.size(), 33u);
    ASSERT_TRUE(std::equal(signature, signature + 8, png.begin()));
    ASSERT_EQ(Be32(png, 16), 1280u); // IHDR width
    ASSERT_EQ(Be32(png, 20), 1024u);
    size_t at = 8;
    std::string last;
    while (at + 12 <= png.size()) {
        const uint32_t length = Be32(png, at);
        ASSERT_LE(at + 12 + length, png.size());
        last.assign(png.begin() + at + 4, png.begin() + at + 8);
        ASSERT_EQ(Crc32(&png[at + 4], length + 4), Be32(png, at + 8 + length)) << last;
        at += 12 + length;
    }
    EXPECT_EQ(last, "IEND");
    EXPECT_EQ(at, png.size());
}

} // namespace

TEST_F(FramegrabProgram, WritesTheRequestedFramesAsReadablePictures) {
    ASSERT_EQ(Run("-n 3 -o out --negative"), 0) << Read("log").data();
    for (int i = 0; i < 3; ++i) {
        const std::string base = "out/frame_000" + std::to_string(i);
        ExpectPatternBmp(Read(base + ".bmp"), true);
        ExpectValidPng(Read(base + ".png"));
    }
    EXPECT_TRUE(Read("out/frame_0003.bmp").empty());
    const std::vector<uint8_t> log = Read("log");
    const std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("FrameGrabber $Revision: 1.26 $"), std::string::npos);
    EXPECT_NE(text.find("frames per second"), std::string::npos);
    EXPECT_FALSE(Read("framegrab.ini").empty()); // the camera stored its parameters
    // Not a terminal: a line of its own for each frame, none rewritten in place.
    for (const char* line : {"\nframe 1/3", "\nframe 2/3", "\nframe 3/3"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
    }
    EXPECT_EQ(text.find("\rframe"), std::string::npos) << text;

    ASSERT_EQ(Run("-n 1 -o quiet --quiet"), 0) << LogText();
    EXPECT_EQ(LogText().find("frame 1/1"), std::string::npos) << LogText();
    EXPECT_NE(LogText().find("frames per second"), std::string::npos);
}

// --version names the image kernels' level in use, which UEYE_IMAGE_SIMD caps.
TEST_F(FramegrabProgram, VersionNamesTheKernelLevel) {
    ASSERT_EQ(Run("--version"), 0) << LogText();
    EXPECT_NE(LogText().find("Image kernels: " + std::string(CxImage::GetSimdLevel())),
              std::string::npos)
        << LogText();
#if defined(_WIN32)
    ASSERT_EQ(Run("--version", "set UEYE_IMAGE_SIMD=none&& "), 0) << LogText();
#else
    ASSERT_EQ(Run("--version", "UEYE_IMAGE_SIMD=none "), 0) << LogText();
#endif
    EXPECT_NE(LogText().find("Image kernels: none"), std::string::npos) << LogText();
    // An unknown cap, or one of another machine's levels, leaves the best
    // level the machine has.
    const std::string best = "Image kernels: " + std::string(SimdLevelName(SupportedSimdLevel()));
    for (const std::string cap : {"bogus", "avx512", "neon"}) {
#if defined(_WIN32)
        ASSERT_EQ(Run("--version", "set UEYE_IMAGE_SIMD=" + cap + "&& "), 0) << LogText();
#else
        ASSERT_EQ(Run("--version", "UEYE_IMAGE_SIMD=" + cap + " "), 0) << LogText();
#endif
        EXPECT_NE(LogText().find(best), std::string::npos) << cap << ": " << LogText();
    }
}

TEST_F(FramegrabProgram, FailuresHaveDistinctExitCodes) {
    EXPECT_EQ(Run("--frames 0"), 1);
    EXPECT_EQ(Run("-o \"\""), 1);
    EXPECT_EQ(Run("--plugin \"" + dir + "/missing.so\""), 2);
    EXPECT_EQ(Run("--plugin \"" FOREIGN_PLUGIN "\""), 2);
    EXPECT_NE(LogText().find("not a camera plug-in of interface"), std::string::npos);
    EXPECT_EQ(Run("--sim-open-fails -o out/sub"), 3);
    EXPECT_FALSE(Exists("out")); // no empty folder left
    std::ofstream(dir + "/file") << "x";
    EXPECT_EQ(Run("-o file/sub"), 4);
}

#if !defined(_WIN32) // a file size limit needs a POSIX shell
TEST_F(FramegrabProgram, AFullDiskLeavesNoPartialPictureAndSaysWhy) {
    // Files may not grow beyond 100 KiB: the first picture cannot be written.
    ASSERT_EQ(Run("-n 2 -o out", "trap '' XFSZ; ulimit -f 200; "), 4);
    EXPECT_NE(LogText().find(std::strerror(EFBIG)), std::string::npos) << LogText();
    // Removed as it stayed empty: no picture, whole or partial.
    EXPECT_FALSE(Exists("out"));
}
#endif

TEST_F(FramegrabProgram, EveryOptionIsCheckedBeforeTheCamera) {
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"--rotate nan", "finite number of degrees"},
        {"--rotate inf", "finite number of degrees"},
        {"--rotate 1e39", "finite number of degrees"},
        {"--dither 8", "dither method must be from 0 to 7"},
        {"--dither -1", "dither method must be from 0 to 7"},
        {"--resample 0x10", "each from 1 to 8192"},
        {"--resample 8193x10", "each from 1 to 8192"},
        {"--plugin \"\"", "plug-in path must not be empty"},
        {"--threads 0", "thread count must be a number from 1 to 256"},
        {"--threads 257", "thread count must be a number from 1 to 256"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(std::string(c.arguments) + " -o out"), 1) << c.arguments;
        EXPECT_NE(LogText().find(c.message), std::string::npos) << c.arguments << ": " << LogText();
        EXPECT_FALSE(Exists("out")) << c.arguments;
    }
}
