#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/phone-sim/phone-command.h"

namespace phonesim {

// Everything the command line says, checked: values in range, no options that
// contradict each other or would have no effect.
struct PhoneSimOptions {
    enum class Result { kRun, kHelp, kVersion, kError };

    static constexpr int kDefaultPort = 10080;

    // Where the desktop is.
    std::string host = "127.0.0.1";
    int port = kDefaultPort;
    int discoverPort = 0;  // 0: no discovery
    double discoverTimeout = 5;

    std::string phoneName = "zucam-phone-sim";
    bool noPlay = false;
    bool udp = false;
    int udpChunk = 0;  // 0: one data message per packet

    // Video: a file or the pattern (neither: no video).
    std::string videoFile;
    int fps = 30;
    bool pattern = false;
    int width = 0;
    int height = 0;
    // More pattern sizes: picture n has size n modulo the list's length, the
    // --pattern size first (a phone turning or switching resolution at once).
    std::vector<std::pair<int, int>> moreSizes;
    int gop = 0;  // 0: two seconds
    int bitrateKbps = 0;

    // Audio: a WAV file or a tone (neither: no audio).
    std::string wavFile;
    bool tone = false;
    double toneHz = 0;
    int sampleRate = 48000;
    int channels = 2;
    double toneLevelDb = -6;
    int blockMs = 20;

    bool loop = false;
    double duration = 0;   // seconds, 0: unbounded
    long long frames = 0;  // 0: unbounded
    std::vector<PhoneCommand> commands;

    std::string logPackets;
    std::string saveVideo;
    double timeout = 5;  // seconds, every network wait

    bool hasVideo() const { return pattern || !videoFile.empty(); }
    bool hasAudio() const { return tone || !wavFile.empty(); }
    int timeoutMs() const { return static_cast<int>(timeout * 1000); }

    static Result Parse(int argc, const char* const* argv, PhoneSimOptions* out,
                        std::string* error);
    static std::string HelpText();
};

}  // namespace phonesim
