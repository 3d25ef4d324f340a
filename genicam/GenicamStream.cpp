// Live capture from a GenICam camera: the stream and its pool of buffers, and
// the receiver thread that copies each whole frame into the active image
// memory and then sets the frame events. Incomplete frames, and frames whose
// size or pixel format no longer match what was set up, are counted as
// dropped and never reach the image memory.
#include "genicam/GenicamDevice.h"

#include <boost/thread/locks.hpp>

#include <algorithm>
#include <cstring>

namespace {

const unsigned kBuffers = 16;
const guint64 kPopTimeoutUs = 100000; // how soon the receiver sees a stop request
// A camera that sends nothing for this long beyond a few frame times is lost:
// sooner than the grabber's longest wait for a frame, so that a host that
// waited in vain learns why.
const double kSilenceSeconds = 2.0;
const double kSilenceFrames = 4.0;
// Socket buffer for GigE Vision streams: a few frames, so that bursts on a
// busy machine are not lost before the stream thread reads them.
const guint kSmallestSocketBuffer = 4u << 20;
const guint kLargestSocketBuffer = 64u << 20;

} // namespace

void UpdateSilenceLimit(GenicamDevice& device) {
    double frameSeconds = 0;
    GError* error = nullptr;
    if (device.hasFrameRate) {
        const double rate = arv_camera_get_frame_rate(device.camera, &error);
        if (error == nullptr && rate > 0) frameSeconds = 1.0 / rate;
        g_clear_error(&error);
    }
    if (!device.exposureFeature.empty()) {
        const double exposureUs =
            arv_camera_get_float(device.camera, device.exposureFeature.c_str(), &error);
        if (error == nullptr && exposureUs > 0) {
            frameSeconds = std::max(frameSeconds, exposureUs / 1e6);
        }
        g_clear_error(&error);
    }
    device.silenceLimit = kSilenceSeconds + kSilenceFrames * frameSeconds;
}

namespace {

// Copies a whole, matching frame into the active memory and sets the events;
// anything else is counted as dropped.
void Deliver(GenicamDevice& device, ArvBuffer* buffer) {
    if (arv_buffer_get_status(buffer) != ARV_BUFFER_STATUS_SUCCESS ||
        arv_buffer_get_payload_type(buffer) != ARV_BUFFER_PAYLOAD_TYPE_IMAGE) {
        ++device.dropped;
        return;
    }
    const int width = arv_buffer_get_image_width(buffer);
    const int height = arv_buffer_get_image_height(buffer);
    const ArvPixelFormat format = arv_buffer_get_image_pixel_format(buffer);
    const unsigned bits = ARV_PIXEL_FORMAT_BIT_PER_PIXEL(format);
    size_t size = 0;
    const void* data = arv_buffer_get_image_data(buffer, &size);
    const size_t pixels = size_t(device.width) * size_t(device.height);
    if (width != device.width || height != device.height || format != device.pixelCode ||
        data == nullptr || size < pixels * ((bits + 7) / 8)) {
        ++device.dropped;
        device.Notice("GenICam camera " + device.name + ": frames of " + std::to_string(width) +
                          " x " + std::to_string(height) +
                          " no longer match the image memory; they are dropped",
                      device.mismatchNoticed);
        return;
    }
    boost::lock_guard<boost::mutex> lock(device.mutex);
    CameraMemories::Memory* active = device.memories.Active();
    if (active == nullptr || size_t(active->width) * size_t(active->height) != pixels) {
        ++device.dropped;
        return;
    }
    CopyFramePixels(static_cast<const unsigned char*>(data), pixels, bits, active->bytes.get());
    ++device.delivered;
    device.memories.SignalFrame();
}

void Receive(std::shared_ptr<GenicamDevice> device, ArvStream* stream) {
    auto lastArrival = std::chrono::steady_clock::now();
    while (!device->stopReceiving.load()) {
        ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream, kPopTimeoutUs);
        const auto now = std::chrono::steady_clock::now();
        if (buffer == nullptr) {
            const double silent = std::chrono::duration<double>(now - lastArrival).count();
            if (device->lost.load() || silent > device->silenceLimit.load()) {
                if (!device->lost.load()) {
                    device->Lose("no frame for " + std::to_string(int(silent)) +
                                 " s; the camera is taken as lost");
                }
                // Aravis's teardown of the stream takes seconds now: it
                // starts at once, off the host's thread.
                device->streamReleased = true;
                RunOffThread([device, stream] { StopAcquisition(*device, stream); });
                return;
            }
            continue;
        }
        lastArrival = now;
        Deliver(*device, buffer);
        arv_stream_push_buffer(stream, buffer);
    }
}

} // namespace

// The host reads the image memory without a lock, as it reads memory a
// camera's DMA fills, and Aravis hands its buffer over through GLib's queue,
// whose locks the race checker cannot see: the checker is not told about
// these loads and stores. It sees memcpy's wherever memcpy is called, so its
// builds copy byte by byte.
__attribute__((noinline, no_sanitize("thread"))) void
CopyFramePixels(const unsigned char* source, size_t pixels, unsigned bits, unsigned char* target) {
    if (bits <= 8) {
#if defined(__SANITIZE_THREAD__)
        for (size_t i = 0; i < pixels; ++i) target[i] = source[i];
#else
        std::memcpy(target, source, pixels);
#endif
        return;
    }
    // Unpacked samples: two bytes each, low byte first, `bits` of them used.
    const unsigned shift = bits > 16 ? 8 : bits - 8;
    for (size_t i = 0; i < pixels; ++i) {
        const unsigned sample = unsigned(source[2 * i]) | unsigned(source[2 * i + 1]) << 8;
        target[i] = static_cast<unsigned char>(std::min(sample >> shift, 255u));
    }
}

std::string ErrorText(GError*& error) {
    const std::string text = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

bool StartStream(GenicamDevice& device, std::string& reason) {
    GError* error = nullptr;
    const guint payload = arv_camera_get_payload(device.camera, &error);
    if (error != nullptr) {
        reason = "cannot read the payload size: " + ErrorText(error);
        return false;
    }
    ArvStream* stream = arv_camera_create_stream(device.camera, nullptr, nullptr, &error);
    if (stream == nullptr) {
        reason = "cannot open a stream: " + ErrorText(error);
        return false;
    }
    if (ARV_IS_GV_STREAM(stream)) {
        const guint64 wanted = guint64(payload) * 4;
        const guint socketBuffer = guint(std::min<guint64>(
            std::max<guint64>(wanted, kSmallestSocketBuffer), kLargestSocketBuffer));
        g_object_set(stream, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_FIXED,
                     "socket-buffer-size", socketBuffer, nullptr);
    }
    for (unsigned i = 0; i < kBuffers; ++i) {
        arv_stream_push_buffer(stream, arv_buffer_new_allocate(payload));
    }
    arv_camera_set_acquisition_mode(device.camera, ARV_ACQUISITION_MODE_CONTINUOUS, &error);
    g_clear_error(&error); // cameras without the feature stream continuously
    arv_camera_start_acquisition(device.camera, &error);
    if (error != nullptr) {
        reason = "cannot start acquisition: " + ErrorText(error);
        g_object_unref(stream);
        return false;
    }
    UpdateSilenceLimit(device);
    device.stream = stream;
    device.stopReceiving = false;
    device.streamReleased = false;
    device.receiver = boost::thread(Receive, device.shared_from_this(), stream);
    return true;
}

ArvStream* TakeStream(GenicamDevice& device) {
    device.stopReceiving = true;
    if (device.receiver.joinable()) device.receiver.join();
    ArvStream* stream = device.streamReleased.load() ? nullptr : device.stream;
    device.stream = nullptr;
    return stream;
}

void StopAcquisition(GenicamDevice& device, ArvStream* stream) {
    if (stream == nullptr) return;
    // A camera that no longer answers would only make the stop wait out
    // its time-outs.
    if (!device.lost.load()) {
        GError* error = nullptr;
        arv_camera_stop_acquisition(device.camera, &error);
        if (error != nullptr) device.Lose("cannot stop acquisition: " + ErrorText(error));
    }
    g_object_unref(stream);
}
