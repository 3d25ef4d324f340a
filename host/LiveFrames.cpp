// The live view's frames: one thread takes them from the grabber, and each
// frame's JPEG, PNG and histogram are made once for every viewer.
#include "host/LiveFrames.h"

#include "grabber/FrameGrabber.h"
#include "host/FrameFiles.h"

#include <turbojpeg.h>

#include <algorithm>
#include <vector>

namespace {

typedef std::array<uint8_t, 256> GreyTable;

// The grey level each palette index shows; true when it is the index itself.
bool ReadGreyTable(const DibLayout& dib, GreyTable& grey) {
    bool identity = true;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t level = 0;
        if (i < dib.colours) {
            const RGBQUAD& c = dib.palette[i];
            level = (299u * c.rgbRed + 587u * c.rgbGreen + 114u * c.rgbBlue + 500u) / 1000u;
        }
        grey[i] = uint8_t(level);
        identity = identity && level == i;
    }
    return identity;
}

// The layout and grey levels of an 8-bit frame; `identity` when its palette
// is the grey ramp.
bool ReadGreyFrame(CxImage& image, DibLayout& dib, GreyTable& grey, bool& identity,
                   std::string& error) {
    if (!ReadDibLayout(image, dib, error)) return false;
    if (dib.bpp != 8) {
        error = "only 8-bit frames are shown";
        return false;
    }
    identity = ReadGreyTable(dib, grey);
    return true;
}

struct JpegCompressor {
    tjhandle handle = tjInitCompress();
    ~JpegCompressor() {
        if (handle != nullptr) tjDestroy(handle);
    }
};

// Recent frames weigh this much in the mean encoding time.
const double kEncodeTimeWeight = 0.1;
// Between two looks at a camera that sends nothing.
const std::chrono::milliseconds kIdlePause(10);
// The rate is measured over the frames of this long a time.
const std::chrono::seconds kRateWindow(2);

} // namespace

std::string EncodeJpeg(CxImage& image, int quality, std::string& error) {
    DibLayout dib;
    GreyTable grey;
    bool identity = false;
    if (!ReadGreyFrame(image, dib, grey, identity, error)) return std::string();
    // A camera frame's palette is the grey ramp: its rows go in as they are
    // stored. Any other palette is applied first.
    const uint8_t* rows = dib.pixels;
    std::vector<uint8_t> mapped;
    if (!identity) {
        mapped.resize(dib.stride * dib.height);
        for (size_t i = 0; i < mapped.size(); ++i) mapped[i] = grey[dib.pixels[i]];
        rows = mapped.data();
    }
    JpegCompressor compressor;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    // The stored rows are bottom-up; the JPEG starts with the top row.
    if (compressor.handle == nullptr ||
        tjCompress2(compressor.handle, rows, int(dib.width), int(dib.stride), int(dib.height),
                    TJPF_GRAY, &jpeg, &size, TJSAMP_GRAY, quality, TJFLAG_BOTTOMUP) != 0) {
        error = compressor.handle ? tjGetErrorStr2(compressor.handle) : "no JPEG encoder";
        tjFree(jpeg);
        return std::string();
    }
    std::string bytes(reinterpret_cast<const char*>(jpeg), size);
    tjFree(jpeg);
    return bytes;
}

GreyHistogram CountGreyLevels(CxImage& image) {
    GreyHistogram levels{};
    DibLayout dib;
    GreyTable grey;
    bool identity = false;
    std::string error;
    if (!ReadGreyFrame(image, dib, grey, identity, error)) return levels;
    GreyHistogram indices{};
    for (uint32_t y = 0; y < dib.height; ++y) {
        const uint8_t* row = dib.pixels + dib.stride * y;
        for (uint32_t x = 0; x < dib.width; ++x) ++indices[row[x]];
    }
    for (size_t i = 0; i < indices.size(); ++i) levels[grey[i]] += indices[i];
    return levels;
}

const std::string& LiveFrame::Jpeg() const {
    std::call_once(jpegOnce, [this] {
        std::string error;
        jpeg = EncodeJpeg(image, LivePipeline::JpegQuality, error);
    });
    return jpeg;
}

const std::string& LiveFrame::Png() const {
    std::call_once(pngOnce, [this] {
        std::vector<uint8_t> png;
        std::string error;
        if (EncodePng(image, png, error)) pngImage.assign(png.begin(), png.end());
    });
    return pngImage;
}

const GreyHistogram& LiveFrame::Histogram() const {
    std::call_once(histogramOnce, [this] { histogram = CountGreyLevels(image); });
    return histogram;
}

LivePipeline::LivePipeline(FrameGrabber& grabber, std::function<LiveDeviceCounts()> counts)
    : liveGrabber(grabber), deviceCounts(std::move(counts)) {}

LivePipeline::~LivePipeline() {
    Stop();
}

void LivePipeline::Start(std::function<void()> onFrame) {
    frameHandler = std::move(onFrame);
    startTime = last = deviceCounts();
    stop = false;
    thread = std::thread(&LivePipeline::Run, this);
}

void LivePipeline::Stop() {
    stop = true;
    if (thread.joinable()) thread.join();
}

void LivePipeline::Run() {
    const int32_t width = liveGrabber.ImageWidth(0);
    const int32_t height = liveGrabber.ImageHeight(0);
    if (width <= 0 || height <= 0) return;
    // CopyImage is only the wait for a new frame: the frame itself comes
    // from GrabImage, as a host gets it.
    std::vector<unsigned char> scratch(size_t(width) * size_t(height));
    bool negative = !wantNegative; // the switch is applied before the first frame
    uint64_t lastDelivered = startTime.delivered;
    while (!stop) {
        if (wantNegative != negative) {
            negative = wantNegative;
            liveGrabber.SetNegative(negative);
        }
        liveGrabber.CopyImage(0, scratch.data(), true);
        if (stop) break;
        const LiveDeviceCounts counts = deviceCounts();
        // The wait ends without a frame when the camera stops sending; a
        // device that cannot count has every wait taken as a frame.
        if (counts.counted && counts.delivered == lastDelivered) {
            {
                std::lock_guard<std::mutex> lock(stateLock);
                last = counts;
            }
            // A grabber that is not live does not wait at all.
            std::this_thread::sleep_for(kIdlePause);
            continue;
        }
        lastDelivered = counts.delivered;
        auto frame = std::make_shared<LiveFrame>(frameStats.taken + 1);
        liveGrabber.GrabImage(0, &frame->Image());
        if (!frame->Image().IsValid()) continue;
        Publish(std::move(frame), counts);
        if (frameHandler) frameHandler();
    }
}

void LivePipeline::Publish(std::shared_ptr<LiveFrame> frame, const LiveDeviceCounts& counts) {
    double encodeMs = -1;
    if (viewers > 0) {
        const auto start = std::chrono::steady_clock::now();
        frame->Jpeg();
        encodeMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(stateLock);
    latest = std::move(frame);
    last = counts;
    ++frameStats.taken;
    if (encodeMs >= 0) {
        frameStats.encodeMs =
            frameStats.encodeMs == 0
                ? encodeMs
                : frameStats.encodeMs * (1 - kEncodeTimeWeight) + encodeMs * kEncodeTimeWeight;
    }
    recent.push_back(now);
    while (now - recent.front() > kRateWindow) recent.pop_front();
}

std::shared_ptr<const LiveFrame> LivePipeline::Latest() const {
    std::lock_guard<std::mutex> lock(stateLock);
    return latest;
}

LiveStats LivePipeline::Stats() const {
    std::lock_guard<std::mutex> lock(stateLock);
    LiveStats stats = frameStats;
    const auto now = std::chrono::steady_clock::now();
    // The rate of the frames in the window, none when the last is too old.
    if (recent.size() >= 2 && now - recent.back() < kRateWindow) {
        const double seconds =
            std::chrono::duration<double>(recent.back() - recent.front()).count();
        if (seconds > 0) stats.fps = double(recent.size() - 1) / seconds;
    }
    // A device that cannot count has delivered what was taken.
    stats.frames = !last.counted                           ? stats.taken
                   : last.delivered >= startTime.delivered ? last.delivered - startTime.delivered
                                                           : 0;
    const uint64_t dropped =
        last.dropped >= startTime.dropped ? last.dropped - startTime.dropped : 0;
    const uint64_t notTaken = stats.frames > stats.taken ? stats.frames - stats.taken : 0;
    stats.missed = dropped + notTaken;
    stats.lost = last.lost;
    return stats;
}
