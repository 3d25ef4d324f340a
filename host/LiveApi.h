#pragma once

// The live view's requests: which handler a request goes to, where the
// server listens, and the bodies and answers of the JSON endpoints. No
// network and no camera here.

#include "host/LiveFrames.h"

#include <cstdint>
#include <string>

enum class LiveRoute {
    Page,        // GET /
    Snapshot,    // GET /snapshot.png
    Status,      // GET /api/status
    Stream,      // GET /stream.mjpg
    Exposure,    // POST /api/exposure
    Negative,    // POST /api/negative
    NotFound,    // any other path
    WrongMethod, // a known path with another method
};

// The handler for a request; the query part of the target is ignored.
LiveRoute RouteRequest(const std::string& method, const std::string& target);

// Where the server listens: "[ADDRESS:]PORT", the address 127.0.0.1 when
// left out, an IPv6 address in brackets.
struct ListenAddress {
    std::string host = "127.0.0.1";
    uint16_t port = 0;
};
bool ParseListenAddress(const std::string& text, ListenAddress& address, std::string& error);

// The body {"exposure_us": N}: N a number from low to high, rounded to whole
// microseconds.
bool ParseExposureBody(const std::string& body, int32_t low, int32_t high, uint32_t& microseconds,
                       std::string& error);

// The body {"negative": true|false}.
bool ParseNegativeBody(const std::string& body, bool& negative, std::string& error);

// Everything /api/status tells.
struct LiveStatus {
    LiveStats stats;
    uint32_t exposureUs = 0;
    int32_t minExposureUs = 0, maxExposureUs = 0;
    int32_t width = 0, height = 0;
    bool negative = false;
    std::string device, simdLevel, pluginVersion;
    const GreyHistogram* histogram = nullptr; // of the latest frame, null before the first
};
std::string StatusJson(const LiveStatus& status);

// A JSON object with one member, for the answers of the POST endpoints.
std::string JsonMember(const std::string& name, uint32_t value);
std::string JsonMember(const std::string& name, bool value);
