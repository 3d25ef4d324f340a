// Our image operations against OpenCV's on the same data, single thread:
// each pair runs alternately, and the table gives the median times and their
// ratio (below 1: we are faster). The frame path is measured against memcpy.
// Arguments: repetitions (7), and a text that names the operations to run.

#include "image/CxImage.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr unsigned long kWidth = 4096, kHeight = 3072;

CxImage MakeSource(unsigned bpp, unsigned long width = kWidth, unsigned long height = kHeight) {
    CxImage image(width, height, bpp);
    if (bpp == 8) image.SetGrayPalette();
    uint32_t state = 12345;
    for (unsigned long y = 0; y < height; ++y) {
        uint8_t* row = image.GetBits(y);
        for (unsigned long i = 0; i < width * bpp / 8; ++i) {
            state = state * 1664525u + 1013904223u;
            // Smooth content with some noise, like a picture.
            row[i] = static_cast<uint8_t>((i / 7 + y / 5) + (state >> 29));
        }
    }
    return image;
}

cv::Mat View(CxImage& image) {
    return cv::Mat(static_cast<int>(image.GetHeight()), static_cast<int>(image.GetWidth()),
                   image.GetBpp() == 24 ? CV_8UC3 : CV_8UC1, image.GetBits(0), image.GetEffWidth());
}

double Milliseconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Only operations whose name contains this text run (all when empty).
const char* gFilter = "";

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// `prepare` runs untimed before each of our runs (a fresh copy where the
// operation changes its image).
void Compare(const char* name, int repetitions, const std::function<void()>& prepare,
             const std::function<void()>& ours, const std::function<void()>& theirs,
             const char* peer = "OpenCV") {
    if (std::strstr(name, gFilter) == nullptr) return;
    std::vector<double> a, b;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        a.push_back(Milliseconds(ours));
        b.push_back(Milliseconds(theirs));
    }
    const double ma = Median(a), mb = Median(b);
    std::printf("| %-44s | %8.1f | %8.1f | %-6s | %6.2f |\n", name, ma, mb, peer, ma / mb);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    if (argc > 2) gFilter = argv[2];
    cv::setNumThreads(1);
    CxImage colour = MakeSource(24), grey = MakeSource(8);
    cv::Mat colourMat = View(colour).clone(), greyMat = View(grey).clone(), out;
    CxImage work, result;
    auto copyOf = [&](CxImage& source) { return [&] { work.Copy(source); }; };
    auto nothing = [] {};

    std::printf("| operation (4096 x 3072) | ours ms | peer ms | peer | ratio |\n");
    std::printf("|---|---|---|---|---|\n");
    Compare(
        "Flip 24 bpp", repetitions, copyOf(colour), [&] { work.Flip(); },
        [&] { cv::flip(colourMat, out, 0); });
    Compare(
        "Mirror 24 bpp", repetitions, copyOf(colour), [&] { work.Mirror(); },
        [&] { cv::flip(colourMat, out, 1); });
    Compare(
        "Negative 24 bpp", repetitions, copyOf(colour), [&] { work.Negative(); },
        [&] { cv::bitwise_not(colourMat, out); });
    Compare(
        "RotateLeft 24 bpp", repetitions, nothing, [&] { colour.RotateLeft(&result); },
        [&] { cv::rotate(colourMat, out, cv::ROTATE_90_COUNTERCLOCKWISE); });
    Compare(
        "RotateLeft 8 bpp", repetitions, nothing, [&] { grey.RotateLeft(&result); },
        [&] { cv::rotate(greyMat, out, cv::ROTATE_90_COUNTERCLOCKWISE); });
    Compare(
        "GrayScale 24 bpp", repetitions, copyOf(colour), [&] { work.GrayScale(); },
        [&] { cv::cvtColor(colourMat, out, cv::COLOR_BGR2GRAY); });
    Compare(
        "Crop 24 bpp to the middle quarter", repetitions, nothing,
        [&] { colour.Crop(1024, 768, 3072, 2304, &result); },
        [&] { out = colourMat(cv::Rect(1024, 768, 2048, 1536)).clone(); });
    Compare(
        "Resample bilinear x1.5, 8 bpp grey", repetitions, nothing,
        [&] { grey.Resample(6144, 4608, 0, &result); },
        [&] { cv::resize(greyMat, out, cv::Size(6144, 4608), 0, 0, cv::INTER_LINEAR); });
    Compare(
        "Resample bilinear x1.5, 24 bpp", repetitions, nothing,
        [&] { colour.Resample(6144, 4608, 0, &result); },
        [&] { cv::resize(colourMat, out, cv::Size(6144, 4608), 0, 0, cv::INTER_LINEAR); });
    Compare(
        "Resample box /3, 24 bpp", repetitions, nothing,
        [&] { colour.Resample(1365, 1024, 0, &result); },
        [&] { cv::resize(colourMat, out, cv::Size(1365, 1024), 0, 0, cv::INTER_AREA); });
    Compare(
        "Resample nearest ~/2, 24 bpp", repetitions, nothing,
        [&] { colour.Resample(2047, 1535, 1, &result); },
        [&] { cv::resize(colourMat, out, cv::Size(2047, 1535), 0, 0, cv::INTER_NEAREST); });
    Compare(
        "Resample2 bilinear x1.25, 24 bpp", repetitions, nothing,
        [&] { colour.Resample2(5120, 3840, CxImage::IM_BILINEAR, CxImage::OM_REPEAT, &result); },
        [&] { cv::resize(colourMat, out, cv::Size(5120, 3840), 0, 0, cv::INTER_LINEAR); });
    Compare(
        "Resample2 bicubic x1.25, 24 bpp", repetitions, nothing,
        [&] { colour.Resample2(5120, 3840, CxImage::IM_BICUBIC, CxImage::OM_REPEAT, &result); },
        [&] { cv::resize(colourMat, out, cv::Size(5120, 3840), 0, 0, cv::INTER_CUBIC); });
    Compare(
        "Resample2 Lanczos x1.25, 24 bpp", std::max(1, repetitions / 3), nothing,
        [&] { colour.Resample2(5120, 3840, CxImage::IM_LANCZOS, CxImage::OM_REPEAT, &result); },
        [&] { cv::resize(colourMat, out, cv::Size(5120, 3840), 0, 0, cv::INTER_LANCZOS4); });
    Compare(
        "Rotate2 30 degrees bilinear, 24 bpp", repetitions, nothing,
        [&] { colour.Rotate2(30.0f, &result, CxImage::IM_BILINEAR); },
        [&] {
            const cv::Point2f centre(kWidth / 2.0f, kHeight / 2.0f);
            cv::Mat turn = cv::getRotationMatrix2D(centre, 30.0, 1.0);
            const cv::Rect box = cv::RotatedRect(centre, colourMat.size(), 30.0f).boundingRect();
            turn.at<double>(0, 2) += box.width / 2.0 - centre.x;
            turn.at<double>(1, 2) += box.height / 2.0 - centre.y;
            cv::warpAffine(colourMat, out, turn, box.size(), cv::INTER_LINEAR);
        });

    // The frame path: a camera frame copied into a reused image, flipped.
    std::vector<uint8_t> frame(2048u * 2048u, 7), copy(frame.size());
    CxImage reused(2048, 2048, 8);
    Compare(
        "CreateFromArray flipped, reused 2048^2 8 bpp", repetitions * 3, nothing,
        [&] { reused.CreateFromArray(frame.data(), 2048, 2048, 8, 2048, true); },
        [&] { std::memcpy(copy.data(), frame.data(), frame.size()); }, "memcpy");

    // Within our own library: the 8 bpp forms against the 24 bpp ones.
    CxImage greyResult, colourResult;
    Compare(
        "DecreaseBpp 1 diffused: 8 bpp vs 24 bpp (1024^2)", repetitions, nothing,
        [&] {
            greyResult = MakeSource(8, 1024, 1024);
            greyResult.DecreaseBpp(1, true);
        },
        [&] {
            colourResult = MakeSource(24, 1024, 1024);
            colourResult.DecreaseBpp(1, true);
        },
        "24 bpp");
    return 0;
}
