#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tools/phone-sim/audio-source.h"
#include "tools/phone-sim/command-channel.h"
#include "tools/phone-sim/pacing-scheduler.h"
#include "tools/phone-sim/phone-sim-options.h"
#include "tools/phone-sim/stream-sender.h"
#include "tools/phone-sim/stream-transport.h"
#include "tools/phone-sim/video-source.h"

namespace phonesim {

// One run of the simulated phone: find the desktop, push-play, open the
// stream, send the token, then pictures, audio blocks and commands on their
// time lines, and end the stream so the desktop has taken every byte.
// Progress goes to `out`, failures to `err`.
class PhoneSession {
public:
    PhoneSession(const PhoneSimOptions& options, std::ostream& out, std::ostream& err);
    ~PhoneSession();
    PhoneSession(const PhoneSession&) = delete;
    PhoneSession& operator=(const PhoneSession&) = delete;

    // 0 when the run completed, 1 on any failure (already reported).
    int Run();

    // Advice appended to a failure's line; "" when there is none.
    static std::string WhatToDo(const std::string& error);

private:
    bool OpenSources(std::string* error);
    bool LocateDesktop(std::string* error);
    bool PushPlay(std::string* error);
    bool OpenTransport(std::string* error);
    bool Stream(std::string* error);
    bool RunTrack(int track, std::string* error);
    bool SendVideoUnit(std::string* error);
    bool SendAudioBlock(std::string* error);
    bool SendCommand(const PhoneCommand& command, std::string* error);
    void EndRunAt(int64_t micros);
    void EndStream();
    void PrintTotals();
    std::string Describe() const;

    PhoneSimOptions options_;
    std::ostream& out_;
    std::ostream& err_;

    std::unique_ptr<VideoSource> video_;
    std::unique_ptr<AudioSource> audio_;
    CommandChannel commands_;
    std::unique_ptr<StreamTransport> transport_;
    StreamSender sender_;
    PacingScheduler scheduler_;

    std::string key_;
    int streamPort_ = 0;
    std::vector<PhoneCommand> timeline_;  // commands in sending order
    size_t nextCommand_ = 0;
    int videoTrack_ = -1;
    int audioTrack_ = -1;
    int commandTrack_ = -1;
    int64_t endMicros_ = 0;  // the run stops before anything due at or after it
    uint64_t pictures_ = 0;
    uint64_t audioBlocks_ = 0;
    uint64_t audioFrames_ = 0;
    size_t blockFrames_ = 0;
    bool shutdownAccepted_ = false;
    std::string pcm_;  // reused audio block
};

}  // namespace phonesim
