#pragma once

#include <json/value.h>

#include <string>

namespace phonesim {

// A command the phone sends on the command connection, as named on the
// command line: ping, device-name, screenshot, record-start, record-stop,
// record-query, hold, shutdown, or type:N for any other number (with an empty
// "data" object). NAME@SECONDS sends it that long after the stream started.
struct PhoneCommand {
    std::string name;
    int type = 0;
    int subType = -1;  // "type" inside "data" (record commands), -1 for none
    bool timed = false;
    double atSeconds = 0;

    static bool Parse(const std::string& text, PhoneCommand* out, std::string* error);
    // "ping, device-name, ..." for the help text and error messages.
    static std::string KnownNames();

    Json::Value Request() const;
    // The reply "type" that means success: -1 for ping, 1001 for device-name, 0 otherwise.
    int expectedReplyType() const;
};

// The push-play request: {"data":{"name":...,"udpPort":1},"type":0}.
Json::Value PushPlayRequest(const std::string& phoneName, bool udp);

// One line that says what a reply means ("accepted, state 1 (recording)").
// *failed is set when the desktop refused or answered something unexpected.
std::string SummarizeReply(const PhoneCommand& command, const Json::Value& reply, bool* failed);
std::string SummarizePushPlay(const Json::Value& reply, bool udp, bool* failed);

}  // namespace phonesim
