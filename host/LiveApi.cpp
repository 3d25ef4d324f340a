// The live view's routes, its listening address and its JSON bodies.
#include "host/LiveApi.h"

#include <boost/asio/ip/address.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>

namespace {

using Json = nlohmann::json;

struct RouteEntry {
    const char* path;
    const char* method;
    LiveRoute route;
};

const RouteEntry kRoutes[] = {
    {"/", "GET", LiveRoute::Page},
    {"/snapshot.png", "GET", LiveRoute::Snapshot},
    {"/api/status", "GET", LiveRoute::Status},
    {"/stream.mjpg", "GET", LiveRoute::Stream},
    {"/api/exposure", "POST", LiveRoute::Exposure},
    {"/api/negative", "POST", LiveRoute::Negative},
};

// The one member `name` of a JSON object body; null with the reason when the
// body is not such an object.
const Json* OnlyMember(const Json& body, const char* name, std::string& error) {
    if (body.is_discarded() || !body.is_object()) {
        error = std::string("the body must be a JSON object {\"") + name + "\": ...}";
        return nullptr;
    }
    const auto member = body.find(name);
    if (member == body.end() || body.size() != 1) {
        error = std::string("the object must have exactly one member, \"") + name + "\"";
        return nullptr;
    }
    return &*member;
}

std::string Dump(const Json& json) {
    // Text from the camera need not be UTF-8: bad bytes are replaced.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace

LiveRoute RouteRequest(const std::string& method, const std::string& target) {
    const std::string path = target.substr(0, target.find('?'));
    for (const RouteEntry& entry : kRoutes) {
        if (path == entry.path) {
            return method == entry.method ? entry.route : LiveRoute::WrongMethod;
        }
    }
    return LiveRoute::NotFound;
}

bool ParseListenAddress(const std::string& text, ListenAddress& address, std::string& error) {
    std::string port = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        std::string host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        }
        boost::system::error_code code;
        boost::asio::ip::make_address(host, code);
        if (code) {
            error = "\"" + host + "\" is not a numeric IP address";
            return false;
        }
        address.host = host;
    }
    const bool digits = !port.empty() && port.size() <= 5 &&
                        port.find_first_not_of("0123456789") == std::string::npos;
    const long number = digits ? std::strtol(port.c_str(), nullptr, 10) : -1;
    if (number < 0 || number > 65535) {
        error = "the port must be a number from 0 to 65535";
        return false;
    }
    address.port = uint16_t(number);
    return true;
}

bool ParseExposureBody(const std::string& body, int32_t low, int32_t high, uint32_t& microseconds,
                       std::string& error) {
    const Json json = Json::parse(body, nullptr, false);
    const Json* value = OnlyMember(json, "exposure_us", error);
    if (value == nullptr) return false;
    const double number = value->is_number() ? value->get<double>() : NAN;
    if (!std::isfinite(number)) {
        error = "exposure_us must be a number of microseconds";
        return false;
    }
    const double rounded = std::round(number);
    if (rounded < low || rounded > high || rounded < 1) {
        error = "exposure_us must lie from " + std::to_string(std::max<int32_t>(low, 1)) + " to " +
                std::to_string(high);
        return false;
    }
    microseconds = uint32_t(rounded);
    return true;
}

bool ParseNegativeBody(const std::string& body, bool& negative, std::string& error) {
    const Json json = Json::parse(body, nullptr, false);
    const Json* value = OnlyMember(json, "negative", error);
    if (value == nullptr) return false;
    if (!value->is_boolean()) {
        error = "negative must be true or false";
        return false;
    }
    negative = value->get<bool>();
    return true;
}

std::string StatusJson(const LiveStatus& status) {
    Json json = {
        {"fps", std::round(status.stats.fps * 10) / 10},
        {"frames", status.stats.frames},
        {"missed", status.stats.missed},
        {"lost", status.stats.lost},
        {"exposure_us", status.exposureUs},
        {"exposure_range_us", {status.minExposureUs, status.maxExposureUs}},
        {"width", status.width},
        {"height", status.height},
        {"negative", status.negative},
        {"device", status.device},
        {"simd_level", status.simdLevel},
        {"plugin_version", status.pluginVersion},
        {"encode_ms", std::round(status.stats.encodeMs * 100) / 100},
        {"histogram", status.histogram ? Json(*status.histogram) : Json::array()},
    };
    return Dump(json);
}

std::string JsonMember(const std::string& name, uint32_t value) {
    return Dump(Json{{name, value}});
}

std::string JsonMember(const std::string& name, bool value) {
    return Dump(Json{{name, value}});
}
