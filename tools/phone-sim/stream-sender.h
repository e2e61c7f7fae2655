#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "tools/phone-sim/packet-log.h"
#include "tools/phone-sim/stream-transport.h"

namespace phonesim {

// Turns token, pictures and audio blocks into stream packets, hands them to
// the transport and keeps the records a test compares against: the packet log
// and the copy of the video bytes.
class StreamSender {
public:
    struct Counters {
        uint64_t videoPackets = 0;
        uint64_t audioPackets = 0;
        uint64_t bytes = 0;
    };

    // Empty paths: no record of that kind.
    bool OpenRecords(const std::string& logPath, const std::string& videoPath, std::string* error);
    void SetTransport(StreamTransport* transport) { transport_ = transport; }

    bool SendToken(const std::string& key, std::string* error);
    bool SendVideo(uint32_t frameKind, const std::string& payload, std::string* error);
    bool SendAudio(uint32_t sampleRate, uint32_t channels, const std::string& pcm,
                   std::string* error);

    const Counters& counters() const { return counters_; }

private:
    bool Ship(size_t headerSize, std::string* error);

    StreamTransport* transport_ = nullptr;
    PacketLog log_;
    std::ofstream videoCopy_;
    std::string videoPath_;
    std::string packet_;  // reused: no allocation per packet once warm
    Counters counters_;
};

}  // namespace phonesim
