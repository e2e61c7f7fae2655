#include "tools/phone-sim/phone-command.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace phonesim {
namespace {

struct KnownCommand {
    const char* name;
    int type;
    int subType;
};

// Types: ping -1, shutdown 2, screenshot 4, record 5 (sub-type 1 start, 0 stop,
// 2 query), hold 6, device-name 1001.
constexpr KnownCommand kKnown[] = {
    {"ping", -1, -1},      {"device-name", 1001, -1}, {"screenshot", 4, -1}, {"record-start", 5, 1},
    {"record-stop", 5, 0}, {"record-query", 5, 2},    {"hold", 6, -1},       {"shutdown", 2, -1},
};

constexpr double kLatestSeconds = 1e6;

bool ParseTime(const std::string& text, double* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0 || v > kLatestSeconds) {
        return false;
    }
    *out = v;
    return true;
}

bool ParseType(const std::string& text, int* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < -1000000 || v > 1000000)
        return false;
    *out = static_cast<int>(v);
    return true;
}

const char* TypeMember(const Json::Value& reply) {
    if (!reply.isObject())
        return "the reply is not a JSON object";
    if (!reply.isMember("type"))
        return "the reply has no \"type\"";
    if (!reply["type"].isInt())
        return "the reply's \"type\" is not an integer";
    return nullptr;
}

std::string RecordState(const Json::Value& reply) {
    const Json::Value& data = reply["data"];
    if (!data.isObject() || !data["state"].isIntegral())
        return "accepted (no state in the reply)";
    bool on = data["state"].asLargestInt() != 0;
    return std::string("accepted, state ") + (on ? "1 (recording)" : "0 (not recording)");
}

}  // namespace

std::string PhoneCommand::KnownNames() {
    std::string names;
    for (const KnownCommand& k : kKnown)
        names += std::string(names.empty() ? "" : ", ") + k.name;
    return names + ", type:N";
}

bool PhoneCommand::Parse(const std::string& text, PhoneCommand* out, std::string* error) {
    PhoneCommand c;
    std::string name = text;
    size_t at = text.find('@');
    if (at != std::string::npos) {
        name = text.substr(0, at);
        if (!ParseTime(text.substr(at + 1), &c.atSeconds)) {
            *error = "bad time in --command " + text + ": expected NAME@SECONDS, seconds >= 0";
            return false;
        }
        c.timed = true;
    }
    c.name = name;
    bool found = false;
    for (const KnownCommand& k : kKnown) {
        if (name == k.name) {
            c.type = k.type;
            c.subType = k.subType;
            found = true;
        }
    }
    if (!found && name.compare(0, 5, "type:") == 0) {
        found = ParseType(name.substr(5), &c.type);
        if (!found) {
            *error = "bad command type in --command " + text + ": expected type:N, N an integer";
            return false;
        }
    }
    if (!found) {
        *error = "unknown command '" + name + "' (known: " + KnownNames() + ")";
        return false;
    }
    *out = c;
    return true;
}

Json::Value PhoneCommand::Request() const {
    Json::Value request(Json::objectValue);
    request["type"] = type;
    request["data"] = Json::Value(Json::objectValue);
    if (subType >= 0)
        request["data"]["type"] = subType;
    return request;
}

int PhoneCommand::expectedReplyType() const {
    if (type == -1)
        return -1;
    if (type == 1001)
        return 1001;
    return 0;
}

Json::Value PushPlayRequest(const std::string& phoneName, bool udp) {
    Json::Value request(Json::objectValue);
    request["type"] = 0;
    request["data"] = Json::Value(Json::objectValue);
    request["data"]["name"] = phoneName;
    // Any non-zero value asks for Zup2p; the desktop does not use the number.
    if (udp)
        request["data"]["udpPort"] = 1;
    return request;
}

std::string SummarizeReply(const PhoneCommand& command, const Json::Value& reply, bool* failed) {
    *failed = true;
    if (const char* wrong = TypeMember(reply))
        return wrong;
    int type = reply["type"].asInt();
    if (type == 1)
        return "refused by the desktop (reply type 1)";
    if (type != command.expectedReplyType()) {
        return "unexpected reply type " + std::to_string(type) + " (expected " +
               std::to_string(command.expectedReplyType()) + ")";
    }
    *failed = false;
    if (command.type == -1)
        return "the desktop is alive";
    if (command.type == 1001) {
        if (!reply["name"].isString()) {
            *failed = true;
            return "the reply has no \"name\" text";
        }
        return "device name \"" + reply["name"].asString() + "\"";
    }
    if (command.type == 5)
        return RecordState(reply);
    if (command.type == 2)
        return "accepted; the desktop closes the link";
    return "accepted";
}

std::string SummarizePushPlay(const Json::Value& reply, bool udp, bool* failed) {
    *failed = true;
    if (const char* wrong = TypeMember(reply))
        return wrong;
    int type = reply["type"].asInt();
    if (type == 1)
        return "refused by the desktop (reply type 1)";
    if (type != 0)
        return "unexpected reply type " + std::to_string(type) + " (expected 0)";
    const Json::Value& data = reply["data"];
    if (!data.isObject())
        return "the reply has no \"data\" object";
    if (!data["key"].isString())
        return "the reply has no \"key\" text";
    const Json::Value& port = data[udp ? "udpPort" : "port"];
    if (!port.isIntegral() || port.asLargestInt() <= 0 || port.asLargestInt() > 65535) {
        return udp ? "the desktop gave no Zup2p port (\"udpPort\" missing or 0)"
                   : "the desktop gave no stream port (\"port\" missing or 0)";
    }
    *failed = false;
    return std::string("accepted, ") + (udp ? "Zup2p port " : "stream port ") +
           std::to_string(port.asLargestInt()) + ", key " + data["key"].asString();
}

}  // namespace phonesim
