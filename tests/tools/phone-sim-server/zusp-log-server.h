#pragma once

#include <json/value.h>

#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "tests/tools/phone-sim-server/log-server-options.h"
#include "tools/phone-sim/packet-log.h"

namespace media_socket {
class ZuSPServer;
}

namespace zusplog {

// A ZuSPServer whose callbacks record what the phone delivered: every video
// and audio packet as one line of the phone simulator's packet log (so the
// two logs can be compared line by line), and the link's events on `events`.
// The callbacks run on the server's loop thread or, for a Zup2p stream, on
// Zup2p's dispatch thread; one lock keeps the lines whole and in order.
class ZuspLogServer {
public:
    ZuspLogServer(const LogServerOptions& options, std::ostream& events);
    // Stops the server (joining its threads) before the log goes.
    ~ZuspLogServer();
    ZuspLogServer(const ZuspLogServer&) = delete;
    ZuspLogServer& operator=(const ZuspLogServer&) = delete;

    // Opens the log and listens; false with the reason otherwise.
    bool Start(std::string* error);
    void Event(const std::string& line);

private:
    void OnVideo(const char* data, unsigned len, unsigned kind);
    void OnAudio(const char* data, unsigned len, unsigned rate, unsigned channels, unsigned bits);
    bool OnCommand(int type, const Json::Value& data, Json::Value* reply);
    void Record(bool written);

    LogServerOptions options_;
    std::ostream& events_;
    std::mutex mutex_;
    phonesim::PacketLog log_;
    bool logFailed_ = false;
    // Last member: destroyed first, so no callback outlives the log.
    std::unique_ptr<media_socket::ZuSPServer> server_;
};

}  // namespace zusplog
