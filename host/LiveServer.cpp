// The live view's HTTP server over Boost.Beast. One thread runs every
// connection; the grabber's exposure calls and the PNG encodings run on a
// small pool beside it, so that a slow one never holds up the stream.
#include "host/LiveServer.h"

#include "grabber/CameraDevice.h"
#include "grabber/FrameGrabber.h"
#include "host/LiveApi.h"
#include "host/LivePage.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <array>
#include <csignal>
#include <iostream>
#include <optional>
#include <vector>

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
typedef http::response<http::string_body> Response;

// Requests are small: the largest body is an exposure's JSON.
const size_t kHeaderLimit = 8 * 1024;
const size_t kBodyLimit = 4 * 1024;
const int kConnectionLimit = 64;
const auto kReadTimeout = std::chrono::seconds(30);
// A viewer that takes no bytes for this long is dropped.
const auto kWriteTimeout = std::chrono::seconds(10);
// After a refusal, what the client still sends is read and dropped for a
// while, so that closing does not reset the connection before the answer is
// read.
const auto kLingerTimeout = std::chrono::seconds(2);
const size_t kLingerLimit = 1024 * 1024;
// A stream's socket holds less than a frame (the system doubles this): a slow
// viewer gets the newest frame when it is ready, not a backlog.
const int kStreamSendBuffer = 64 * 1024;
const auto kAcceptRetry = std::chrono::milliseconds(100);

Response Answer(http::status status, const char* type, std::string body) {
    Response response{status, 11};
    response.set(http::field::server, "framegrab");
    response.set(http::field::content_type, type);
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    response.body() = std::move(body);
    response.prepare_payload();
    return response;
}

Response Refusal(http::status status, const std::string& reason) {
    return Answer(status, "text/plain; charset=utf-8", reason + "\n");
}

Response JsonAnswer(std::string json) {
    return Answer(http::status::ok, "application/json", std::move(json));
}

// The answer to a request the parser gave up on.
Response ParseRefusal(const beast::error_code& code) {
    if (code == http::error::header_limit || code == http::error::buffer_overflow) {
        return Refusal(http::status::request_header_fields_too_large, "request header too large");
    }
    if (code == http::error::body_limit) {
        return Refusal(http::status::payload_too_large, "request body too large");
    }
    return Refusal(http::status::bad_request, "malformed request");
}

class StreamSession;

// A Content-Type of JSON, with or without parameters.
bool IsJson(beast::string_view type) {
    const beast::string_view json = "application/json";
    return type.size() >= json.size() && beast::iequals(type.substr(0, json.size()), json) &&
           (type.size() == json.size() || type[json.size()] == ';' || type[json.size()] == ' ');
}

// What every connection shares. Members are destroyed in reverse order: the
// pool's pending work and the connections go before the pipeline they use.
class Server {
public:
    Server(FrameGrabber& grabber, const LiveJob& job, const LiveDevice& device)
        : grabber(grabber), job(job), device(device), width(grabber.ImageWidth(0)),
          height(grabber.ImageHeight(0)), minExposure(grabber.MinExposure()),
          maxExposure(grabber.MaxExposure()), pipeline(grabber, device.counts) {
        uint32_t current = 0; // asks for the exposure without changing it
        grabber.Exposure(0, &current);
        exposure = current;
        pipeline.SetNegative(job.negative);
    }

    int Run(const ListenAddress& address);
    std::string StatusText() const;
    // Streams waiting for a frame newer than the one they sent.
    void WaitForFrame(std::shared_ptr<StreamSession> stream) {
        waiting.push_back(std::move(stream));
    }
    void StopWaiting(const StreamSession* stream) {
        waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                                     [stream](const auto& s) { return s.get() == stream; }),
                      waiting.end());
    }

    FrameGrabber& grabber;
    const LiveJob& job;
    const LiveDevice& device;
    const int32_t width, height, minExposure, maxExposure;
    std::atomic<uint32_t> exposure{0};
    std::atomic<int> connections{0};
    LivePipeline pipeline;
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::signal_set signals{io};
    asio::steady_timer acceptRetry{io};
    asio::thread_pool workers{2};
    // The grabber's exposure calls, one at a time.
    asio::strand<asio::thread_pool::executor_type> exposureCalls{workers.get_executor()};

private:
    void Accept();
    void WakeStreams();
    void Shutdown();

    std::vector<std::shared_ptr<StreamSession>> waiting; // touched by the io thread only
};

// The stream of one viewer: a multipart answer whose parts are the frames'
// JPEGs. The next part is always the newest frame: frames that came while
// the viewer was still reading the last one are skipped.
class StreamSession : public std::enable_shared_from_this<StreamSession> {
public:
    StreamSession(Server& server, tcp::socket socket) : owner(server), stream(std::move(socket)) {
        ++owner.connections;
        owner.pipeline.AddViewer();
    }
    ~StreamSession() {
        owner.pipeline.RemoveViewer();
        --owner.connections;
    }

    void Start() {
        beast::error_code ignored;
        stream.socket().set_option(asio::socket_base::send_buffer_size(kStreamSendBuffer), ignored);
        header.result(http::status::ok);
        header.version(11);
        header.set(http::field::server, "framegrab");
        header.set(http::field::content_type, "multipart/x-mixed-replace; boundary=frame");
        header.set(http::field::cache_control, "no-store");
        header.keep_alive(false); // the stream ends with the connection
        stream.expires_after(kWriteTimeout);
        http::async_write_header(stream, serializer,
                                 [self = shared_from_this()](beast::error_code code, size_t) {
                                     if (!code) self->Next();
                                 });
        WatchForClose();
    }

    // Sends the newest frame, or waits for one newer than the last sent.
    void Next() {
        auto frame = owner.pipeline.Latest();
        if (!frame || frame->Number() == sent) return owner.WaitForFrame(shared_from_this());
        sent = frame->Number();
        const std::string& jpeg = frame->Jpeg();
        if (jpeg.empty()) return Next(); // waits for the next frame
        part = "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
               std::to_string(jpeg.size()) + "\r\n\r\n";
        currentFrame = std::move(frame); // the JPEG stays while it is written
        const std::array<asio::const_buffer, 3> parts{asio::buffer(part), asio::buffer(jpeg),
                                                      asio::buffer("\r\n", 2)};
        stream.expires_after(kWriteTimeout);
        asio::async_write(stream, parts,
                          [self = shared_from_this()](beast::error_code code, size_t) {
                              self->currentFrame.reset();
                              if (!code) self->Next();
                          });
    }

private:
    // A viewer sends nothing after its request: its connection becoming
    // readable is its end (what it sends anyway is dropped). The stream ends
    // at once, even while no frame comes to find the connection closed.
    void WatchForClose() {
        stream.socket().async_wait(tcp::socket::wait_read, [self = shared_from_this()](
                                                               beast::error_code code) {
            if (code == asio::error::operation_aborted) return;
            beast::error_code error;
            const size_t waiting = self->stream.socket().available(error);
            if (!code && !error && waiting > 0) {
                self->stream.socket().read_some(
                    asio::buffer(self->ignoredError, std::min(waiting, self->ignoredError.size())),
                    error);
                if (!error) return self->WatchForClose();
            }
            self->stream.socket().close(error); // ends a write under way
            self->owner.StopWaiting(self.get());
        });
    }

    Server& owner;
    beast::tcp_stream stream;
    std::array<char, 512> ignoredError;
    http::response<http::empty_body> header;
    http::response_serializer<http::empty_body> serializer{header};
    std::shared_ptr<const LiveFrame> currentFrame;
    std::string part;
    uint64_t sent = 0;
};

// One connection's requests, one after the other; a stream request hands
// the connection over to a StreamSession.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(Server& server, tcp::socket socket) : owner(server), stream(std::move(socket)) {
        ++owner.connections;
    }
    ~HttpSession() { --owner.connections; }

    void Read() {
        parser.emplace();
        parser->header_limit(kHeaderLimit);
        parser->body_limit(kBodyLimit);
        stream.expires_after(kReadTimeout);
        http::async_read(
            stream, buffer, *parser,
            [self = shared_from_this()](beast::error_code code, size_t) { self->OnRead(code); });
    }

private:
    void OnRead(const beast::error_code& code) {
        if (code == http::error::end_of_stream || code == http::error::partial_message) return;
        if (code && code.category() == beast::error_code(http::error::bad_target).category()) {
            return Send(ParseRefusal(code), false);
        }
        if (code) return; // timeout or a broken connection: closed as the session ends
        Handle(parser->get());
    }

    void Handle(const http::request<http::string_body>& request) {
        const bool keepAlive = request.keep_alive();
        std::string error;
        const LiveRoute route =
            RouteRequest(std::string(request.method_string()), std::string(request.target()));
        // Only JSON changes the camera: a browser asks before it lets another
        // site's page send JSON, and this server never agrees.
        if ((route == LiveRoute::Exposure || route == LiveRoute::Negative) &&
            !IsJson(request[http::field::content_type])) {
            return Send(
                Refusal(http::status::unsupported_media_type, "the body must be application/json"),
                keepAlive);
        }
        switch (route) {
        case LiveRoute::Page:
            return Send(Answer(http::status::ok, "text/html; charset=utf-8", LivePageHtml()),
                        keepAlive);
        case LiveRoute::Status:
            return Send(JsonAnswer(owner.StatusText()), keepAlive);
        case LiveRoute::Stream:
            std::make_shared<StreamSession>(owner, stream.release_socket())->Start();
            return;
        case LiveRoute::Snapshot:
            return Snapshot(keepAlive);
        case LiveRoute::Exposure: {
            uint32_t microseconds = 0;
            if (!ParseExposureBody(request.body(), owner.minExposure, owner.maxExposure,
                                   microseconds, error)) {
                return Send(Refusal(http::status::bad_request, error), keepAlive);
            }
            return SetExposure(microseconds, keepAlive);
        }
        case LiveRoute::Negative: {
            bool negative = false;
            if (!ParseNegativeBody(request.body(), negative, error)) {
                return Send(Refusal(http::status::bad_request, error), keepAlive);
            }
            owner.pipeline.SetNegative(negative);
            return Send(JsonAnswer(JsonMember("negative", negative)), keepAlive);
        }
        case LiveRoute::WrongMethod:
            return Send(Refusal(http::status::method_not_allowed, "method not allowed"), keepAlive);
        case LiveRoute::NotFound:
            break;
        }
        return Send(Refusal(http::status::not_found, "not found"), keepAlive);
    }

    // The newest frame's PNG, encoded on the pool the first time it is asked for.
    void Snapshot(bool keepAlive) {
        auto frame = owner.pipeline.Latest();
        if (!frame) {
            return Send(Refusal(http::status::service_unavailable, "no frame yet"), keepAlive);
        }
        OnPool(owner.workers.get_executor(), keepAlive, [frame] {
            const std::string& png = frame->Png();
            if (png.empty()) {
                return Refusal(http::status::internal_server_error, "the frame cannot be encoded");
            }
            Response answer = Answer(http::status::ok, "image/png", png);
            answer.set(http::field::content_disposition,
                       "inline; filename=\"frame-" + std::to_string(frame->Number()) + ".png\"");
            return answer;
        });
    }

    // The grabber waits for the exposure to settle: the call runs on the
    // pool, and this connection alone waits for it.
    void SetExposure(uint32_t microseconds, bool keepAlive) {
        Server& server = owner;
        OnPool(server.exposureCalls, keepAlive, [&server, microseconds] {
            uint32_t taken = microseconds;
            server.grabber.Exposure(0, &taken);
            server.exposure = taken;
            return JsonAnswer(JsonMember("exposure_us", taken));
        });
    }

    // Makes the answer on `executor` and sends it from the io thread.
    template <typename Executor, typename Work>
    void OnPool(const Executor& executor, bool keepAlive, Work work) {
        auto io = stream.get_executor();
        asio::post(executor, [self = shared_from_this(), io, keepAlive, work]() mutable {
            Response answer = work();
            // The session goes back to the io thread with the answer, so it
            // ends there.
            asio::post(io, [self = std::move(self), answer = std::move(answer),
                            keepAlive]() mutable { self->Send(std::move(answer), keepAlive); });
        });
    }

    void Send(Response answer, bool keepAlive) {
        auto message = std::make_shared<Response>(std::move(answer));
        message->keep_alive(keepAlive);
        stream.expires_after(kWriteTimeout);
        http::async_write(stream, *message,
                          [self = shared_from_this(), message](beast::error_code code, size_t) {
                              if (code) return;
                              if (message->keep_alive()) return self->Read();
                              self->Linger();
                          });
    }

    // Ends the connection politely: no more sending, and what the client
    // still sends is read and dropped until it closes or the time is up.
    void Linger() {
        beast::error_code ignored;
        stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream.expires_after(kLingerTimeout);
        Drain();
    }

    void Drain() {
        stream.async_read_some(asio::buffer(drain),
                               [self = shared_from_this()](beast::error_code code, size_t size) {
                                   self->drained += size;
                                   if (!code && self->drained < kLingerLimit) self->Drain();
                               });
    }

    Server& owner;
    beast::tcp_stream stream;
    beast::flat_buffer buffer{kHeaderLimit + kBodyLimit};
    std::optional<http::request_parser<http::string_body>> parser;
    std::array<char, 4096> drain;
    size_t drained = 0;
};

std::string UrlHost(const std::string& host) {
    return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

int Server::Run(const ListenAddress& address) {
    beast::error_code code;
    const tcp::endpoint endpoint(asio::ip::make_address(address.host, code), address.port);
    if (!code) acceptor.open(endpoint.protocol(), code);
    if (!code) acceptor.set_option(asio::socket_base::reuse_address(true), code);
    if (!code) acceptor.bind(endpoint, code);
    if (!code) acceptor.listen(asio::socket_base::max_listen_connections, code);
    if (code) {
        std::cerr << "framegrab: cannot serve on " << UrlHost(address.host) << ":" << address.port
                  << ": " << code.message() << std::endl;
        return FramegrabServeFailed;
    }
    signals.add(SIGINT);
    signals.add(SIGTERM);
    signals.async_wait([this](beast::error_code error, int) {
        if (!error) Shutdown();
    });
    pipeline.Start([this] { asio::post(io, [this] { WakeStreams(); }); });
    Accept();
    std::cout << "Serving on http://" << UrlHost(address.host) << ":"
              << acceptor.local_endpoint().port() << "/" << std::endl;

    io.run();
    // Nothing may use the grabber once this returns.
    pipeline.Stop();
    workers.stop();
    workers.join();
    return FramegrabSuccess;
}

void Server::Accept() {
    acceptor.async_accept(io, [this](beast::error_code code, tcp::socket socket) {
        if (code == asio::error::operation_aborted) return;
        if (code) { // out of descriptors, say: try again a little later
            acceptRetry.expires_after(kAcceptRetry);
            acceptRetry.async_wait([this](beast::error_code error) {
                if (!error) Accept();
            });
            return;
        }
        if (connections < kConnectionLimit) {
            std::make_shared<HttpSession>(*this, std::move(socket))->Read();
        }
        Accept(); // a connection over the limit is closed with its socket
    });
}

void Server::WakeStreams() {
    std::vector<std::shared_ptr<StreamSession>> streams;
    streams.swap(waiting);
    for (const auto& stream : streams) stream->Next();
}

void Server::Shutdown() {
    beast::error_code ignored;
    acceptor.close(ignored);
    acceptRetry.cancel();
    io.stop();
}

std::string Server::StatusText() const {
    LiveStatus status;
    status.stats = pipeline.Stats();
    status.exposureUs = exposure;
    status.minExposureUs = minExposure;
    status.maxExposureUs = maxExposure;
    status.width = width;
    status.height = height;
    status.negative = pipeline.Negative();
    status.device = device.name;
    status.simdLevel = CxImage::GetSimdLevel();
    status.pluginVersion = job.pluginVersion;
    const auto frame = pipeline.Latest();
    if (frame) status.histogram = &frame->Histogram();
    return StatusJson(status);
}

} // namespace

LiveDevice ChosenCameraDevice() {
    LiveDevice device;
    device.name = CameraDevice::Choice();
    if (device.name.empty()) device.name = "sim"; // the platform's own camera
    device.counts = [] {
        const CameraDeviceCounters counters = CameraDevice::Counters();
        LiveDeviceCounts counts;
        counts.delivered = counters.delivered;
        counts.dropped = counters.dropped;
        counts.lost = counters.lost;
        counts.counted = counters.counted;
        return counts;
    };
    return device;
}

int ServeLive(FrameGrabber& grabber, const LiveJob& job, const LiveDevice& device) {
    ListenAddress address;
    std::string error;
    if (!ParseListenAddress(job.address, address, error)) {
        std::cerr << "framegrab: --serve " << job.address << ": " << error << std::endl;
        return FramegrabUsage;
    }
    Server server(grabber, job, device);
    return server.Run(address);
}
