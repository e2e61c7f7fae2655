#pragma once

#include <string>
#include <vector>

#include "bench/zucamd/zucamd-process.h"
#include "tools/phone-sim/command-channel.h"
#include "tools/phone-sim/tcp-stream-transport.h"
#include "tools/phone-sim/video-source.h"

namespace zubench {

// A phone streaming a file at a fixed rate over TCP that notes when it
// pushed each picture, so a watcher on the camera queue can tell how long
// each took to come out: the desktop publishes pictures in the order sent,
// one for each.
class PacedPhone {
public:
    PacedPhone();
    ~PacedPhone();
    // The access units of an Annex B file; false with a reason.
    static bool Load(const std::string& path, std::vector<phonesim::AccessUnit>* units,
                     std::string* error);
    // Connects to the desktop on `port` (trying again until timeoutMs, the
    // desktop may still be starting) and asks to play.
    bool Connect(int port, int timeoutMs, std::string* error);
    // Sends `units` over and over at `fps` for `seconds`; pushes() then holds
    // the moment each picture went out.
    bool Stream(const std::vector<phonesim::AccessUnit>& units, double fps, double seconds,
                std::string* error);
    const std::vector<Clock::time_point>& pushes() const { return pushes_; }
    // Ends the stream as a phone going away does.
    void Finish();

private:
    phonesim::CommandChannel commands_;
    phonesim::TcpStreamTransport transport_;
    std::vector<Clock::time_point> pushes_;
    bool streaming_ = false;
};

}  // namespace zubench
