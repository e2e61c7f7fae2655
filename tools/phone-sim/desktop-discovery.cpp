#include "tools/phone-sim/desktop-discovery.h"

#include <json/value.h>

#include "platform/client-socket.h"
#include "platform/datagram-socket.h"
#include "platform/stop-request.h"
#include "platform/time.h"
#include "tools/phone-sim/command-channel.h"

namespace phonesim {

namespace {
constexpr int64_t kSliceMs = 200;
}  // namespace

bool DesktopDiscovery::ParseAnnouncement(const std::string& text, Announcement* out,
                                         std::string* error) {
    Json::Value root;
    if (!CommandChannel::ParseJson(text, &root, error)) {
        *error = "not JSON";
        return false;
    }
    if (!root.isObject()) {
        *error = "not a JSON object";
        return false;
    }
    const Json::Value& ip = root["ip"];
    const Json::Value& port = root["port"];
    const Json::Value& name = root["name"];
    if (!ip.isString() || !platform::IsIPv4Address(ip.asString())) {
        *error = "no IPv4 address in \"ip\"";
        return false;
    }
    if (!port.isIntegral() || port.asLargestInt() < 1 || port.asLargestInt() > 65535) {
        *error = "no port from 1 to 65535 in \"port\"";
        return false;
    }
    if (!name.isNull() && !name.isString()) {
        *error = "\"name\" is not text";
        return false;
    }
    out->ip = ip.asString();
    out->port = static_cast<int>(port.asLargestInt());
    out->name = name.isString() ? name.asString() : "";
    return true;
}

bool DesktopDiscovery::Listen(uint16_t port, int timeoutMs, Announcement* out, std::string* error) {
    platform::DatagramSocket socket;
    std::string why;
    if (!socket.bind("0.0.0.0", port, &why)) {
        *error = "cannot listen for announcements on UDP port " + std::to_string(port) + ": " + why;
        return false;
    }
    int64_t deadline = platform::MonotonicMicros() + int64_t(timeoutMs) * 1000;
    char buffer[65536];
    for (;;) {
        int64_t left = (deadline - platform::MonotonicMicros()) / 1000;
        if (left <= 0)
            break;
        if (platform::StopRequested()) {
            *error = "stopped while waiting for an announcement";
            return false;
        }
        // Short slices, so that a stop request is seen while nothing arrives.
        int slice = static_cast<int>(left < kSliceMs ? left : kSliceMs);
        std::string from;
        long n = socket.receive(buffer, sizeof buffer, slice, &from, &why);
        if (n < 0 && !why.empty()) {
            *error = "listening for announcements failed: " + why;
            return false;
        }
        if (n < 0)
            continue;
        Announcement a;
        if (ParseAnnouncement(std::string(buffer, static_cast<size_t>(n)), &a, &why)) {
            a.sender = from;
            *out = a;
            return true;
        }
        if (note_)
            note_("ignoring a datagram from " + from + " that is no announcement: " + why);
    }
    *error = "no desktop announced itself on UDP port " + std::to_string(port) + " within " +
             std::to_string(timeoutMs) + " ms (is ZuCam running in Wi-Fi mode on this network?)";
    return false;
}

}  // namespace phonesim
