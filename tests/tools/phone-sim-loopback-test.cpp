#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/datagram-socket.h"
#include "platform/files.h"
#include "platform/listen-socket.h"
#include "platform/paths.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/phone-sim-fake-desktop.h"
#include "tools/phone-sim/pattern-encoder.h"
#include "tools/phone-sim/tone-generator.h"

namespace phonesim_test {
namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, &text);
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class PhoneSimLoopback : public ::testing::Test {
protected:
    // Runs the real program with a time-out; it must end by itself.
    // With interruptAfterMs >= 0 it gets SIGINT that long after the start.
    RunResult Run(std::vector<std::string> args, int timeoutMs = 20000, int interruptAfterMs = -1) {
        std::string bin = platform::GetEnv("ZUCAM_BIN_DIR");
        if (bin.empty())
            bin = platform::ExecutableDir();
        args.insert(args.begin(), bin + "/zucam-phone-sim");
        platform::ChildProcess child;
        platform::ChildProcess::Options options;
        options.argv = args;
        options.stdoutPath = dir_.file("out.txt");
        options.stderrPath = dir_.file("err.txt");
        RunResult r;
        if (!child.start(options)) {
            ADD_FAILURE() << "cannot start " << args[0];
            return r;
        }
        if (interruptAfterMs >= 0) {
            EXPECT_EQ(child.wait(interruptAfterMs), -1) << "ended before the interruption";
            child.interrupt();
        }
        r.exitCode = child.wait(timeoutMs);
        if (r.exitCode == -1) {
            child.signal(true);
            child.wait(5000);
            ADD_FAILURE() << "zucam-phone-sim did not end within " << timeoutMs << " ms";
        }
        r.out = ReadText(dir_.file("out.txt"));
        r.err = ReadText(dir_.file("err.txt"));
        return r;
    }

    std::vector<StreamPacket> Packets(const FakeDesktop& desktop) {
        std::vector<StreamPacket> packets;
        std::string error;
        EXPECT_TRUE(ParseStream(desktop.streamBytes(), &packets, &error)) << error;
        return packets;
    }

    // Every packet arrived intact and in order: the log lines computed from
    // what arrived equal the lines the phone wrote.
    void ExpectLogMatches(const std::vector<StreamPacket>& packets) {
        std::vector<std::string> arrived;
        for (const StreamPacket& p : packets)
            arrived.push_back(LogLineOf(p));
        EXPECT_EQ(arrived, Lines(ReadText(dir_.file("packets.log"))));
    }

    static std::string VideoBytes(const std::vector<StreamPacket>& packets) {
        std::string bytes;
        for (const StreamPacket& p : packets) {
            if (p.type == 1)
                bytes += p.payload;
        }
        return bytes;
    }

    zutest::TempDir dir_;
};

TEST_F(PhoneSimLoopback, TcpStreamArrivesIntactWithCommandsOnTime) {
    FakeDesktop desktop;
    RunResult r = Run({"--port",        std::to_string(desktop.port()),
                       "--pattern",     "160x120@30",
                       "--tone",        "1000",
                       "--rate",        "16000",
                       "--channels",    "1",
                       "--frames",      "12",
                       "--command",     "ping",
                       "--command",     "device-name",
                       "--command",     "screenshot@0.2",
                       "--log-packets", dir_.file("packets.log"),
                       "--save-video",  dir_.file("sent.h264")});
    desktop.Join();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(desktop.failure(), "");

    auto requests = desktop.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0], R"({"data":{"name":"zucam-phone-sim"},"type":0})");
    EXPECT_EQ(requests[1], R"({"data":{},"type":-1})");
    EXPECT_EQ(requests[2], R"({"data":{},"type":1001})");
    EXPECT_EQ(requests[3], R"({"data":{},"type":4})");
    // The phone starts its clock only after the push-play reply, and the desktop
    // reads requests in order: 0.2 s into the stream is at least 0.2 s after push-play.
    EXPECT_GE(desktop.requestTimes()[3], 0.2);

    auto packets = Packets(desktop);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets[0].type, 0u);
    EXPECT_EQ(packets[0].payload, FakeDesktop::kKey);
    ExpectLogMatches(packets);
    EXPECT_EQ(VideoBytes(packets), ReadText(dir_.file("sent.h264")));

    int pictures = 0, configs = 0, audio = 0;
    for (const StreamPacket& p : packets) {
        if (p.type == 1)
            (p.expansion[1] == 2 ? configs : pictures)++;
        if (p.type == 2) {
            ++audio;
            EXPECT_EQ(p.expansion, (std::vector<uint32_t>{2, 16000, 1, 16}));
            EXPECT_EQ(p.payload.size(), 640u);  // 20 ms of 16 kHz mono
        }
    }
    EXPECT_EQ(pictures, 12);
    EXPECT_EQ(configs, 1);
    EXPECT_EQ(packets[1].type, 1u);
    EXPECT_EQ(packets[1].expansion[1], 2u);  // parameter sets lead the video
    EXPECT_EQ(audio, 20);                    // 12 pictures at 30/s = 0.4 s = 20 blocks

    EXPECT_NE(r.out.find("reply push-play: {\"data\":{\"bite_rate\":4"), std::string::npos);
    EXPECT_NE(r.out.find("ping: the desktop is alive"), std::string::npos);
    EXPECT_NE(r.out.find("device-name: device name \"Fake Desk\""), std::string::npos);
    EXPECT_NE(r.out.find("screenshot: accepted"), std::string::npos);
    EXPECT_NE(r.out.find("the desktop closed the link after the end of the stream"),
              std::string::npos);
}

TEST_F(PhoneSimLoopback, UdpStreamInOddChunksArrivesIntact) {
    FakeDesktop desktop;
    RunResult r =
        Run({"--port", std::to_string(desktop.port()), "--udp", "--udp-chunk", "333", "--pattern",
             "160x120@50", "--tone", "440", "--frames", "10", "--command", "record-start@0.05",
             "--command", "record-query@0.1", "--log-packets", dir_.file("packets.log")});
    desktop.Join();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(desktop.failure(), "");
    auto requests = desktop.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], R"({"data":{"name":"zucam-phone-sim","udpPort":1},"type":0})");
    EXPECT_EQ(requests[1], R"({"data":{"type":1},"type":5})");
    EXPECT_EQ(requests[2], R"({"data":{"type":2},"type":5})");
    auto packets = Packets(desktop);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets[0].payload, FakeDesktop::kKey);
    ExpectLogMatches(packets);
    EXPECT_NE(r.out.find("streaming over Zup2p"), std::string::npos);
    EXPECT_NE(r.out.find("record-start: accepted, state 1 (recording)"), std::string::npos);
}

TEST_F(PhoneSimLoopback, FilesAreSentWholeAndTheRunEndsWithTheVideo) {
    // An Annex B clip of 6 pictures and one second of WAV audio.
    phonesim::PatternEncoder encoder;
    phonesim::PatternEncoder::Settings s;
    s.width = 96;
    s.height = 64;
    s.fps = 30;
    s.gop = 3;
    std::string error, clip;
    ASSERT_TRUE(encoder.Open(s, &error)) << error;
    for (int i = 0; i < 6; ++i) {
        phonesim::AccessUnit unit;
        ASSERT_EQ(encoder.Next(&unit, &error), 1);
        clip += unit.config + unit.picture;
    }
    ASSERT_GE(platform::WriteWholeFile(dir_.file("clip.h264"), clip), 0);
    phonesim::ToneGenerator tone(300, 8000, 1, -20);
    std::string pcm;
    tone.Read(8000, &pcm);
    auto le32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    std::string wav = "RIFF" + le32(36 + uint32_t(pcm.size())) + "WAVEfmt " + le32(16) +
                      std::string("\x01\x00\x01\x00", 4) + le32(8000) + le32(16000) +
                      std::string("\x02\x00\x10\x00", 4) + "data" + le32(uint32_t(pcm.size())) +
                      pcm;
    ASSERT_GE(platform::WriteWholeFile(dir_.file("tone.wav"), wav), 0);

    FakeDesktop desktop;
    RunResult r = Run({"--port", std::to_string(desktop.port()), "--video", dir_.file("clip.h264"),
                       "--fps", "60", "--wav", dir_.file("tone.wav"), "--log-packets",
                       dir_.file("packets.log"), "--save-video", dir_.file("sent.h264")});
    desktop.Join();
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    auto packets = Packets(desktop);
    ExpectLogMatches(packets);
    EXPECT_EQ(VideoBytes(packets), clip);
    EXPECT_EQ(ReadText(dir_.file("sent.h264")), clip);
    // 6 pictures at 60/s end the run at 100 ms: five 20 ms blocks of the WAV data.
    std::string audio;
    for (const StreamPacket& p : packets) {
        if (p.type == 2)
            audio += p.payload;
    }
    EXPECT_EQ(audio, pcm.substr(0, 5 * 320));
}

TEST_F(PhoneSimLoopback, ShutdownEndsTheRunCleanly) {
    FakeDesktop desktop;
    RunResult r = Run({"--port", std::to_string(desktop.port()), "--tone", "440", "--command",
                       "hold", "--command", "shutdown@0.1"});
    desktop.Join();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("shutdown: accepted; the desktop closes the link"), std::string::npos);
    EXPECT_NE(r.out.find("the desktop closed the link after shutdown"), std::string::npos);
}

TEST_F(PhoneSimLoopback, InterruptEndsAnEndlessRunWithCompleteRecords) {
    FakeDesktop desktop;
    RunResult r = Run({"--port", std::to_string(desktop.port()), "--pattern", "96x64@25", "--tone",
                       "440", "--log-packets", dir_.file("packets.log")},
                      20000, 1000);
    desktop.Join();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("stopping on request"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the desktop closed the link after the end of the stream"),
              std::string::npos);
    auto packets = Packets(desktop);
    EXPECT_FALSE(packets.empty());
    ExpectLogMatches(packets);
}

TEST_F(PhoneSimLoopback, CommandsWithoutAStream) {
    FakeDesktop desktop;
    RunResult r = Run({"--port", std::to_string(desktop.port()), "--no-play", "--command", "ping",
                       "--command", "record-stop@0.05"});
    desktop.Join();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    auto requests = desktop.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1], R"({"data":{"type":0},"type":5})");
    EXPECT_NE(r.out.find("record-stop: accepted, state 0 (not recording)"), std::string::npos);
    EXPECT_TRUE(desktop.streamBytes().empty());
}

TEST_F(PhoneSimLoopback, RefusedConnectionIsAClearFailure) {
    uint16_t port;
    {
        platform::ListenSocket probe;
        std::string error;
        ASSERT_TRUE(probe.listen("127.0.0.1", 0, &error)) << error;
        port = probe.port();
    }  // closed again: nothing listens there now
    RunResult r = Run({"--port", std::to_string(port), "--command", "ping"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot connect to the desktop's command port 127.0.0.1:" +
                         std::to_string(port) + ": Connection refused"),
              std::string::npos)
        << r.err;
    // One line, with what to do about it.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("Connection refused; is zucamd (or ZuCam) running and listening there?"),
              std::string::npos)
        << r.err;
}

TEST_F(PhoneSimLoopback, DesktopFailuresEndTheRunWithTheReason) {
    using P = FakeDesktop::PushPlay;
    struct Case {
        P pushPlay;
        int refusedType;  // 0: none
        std::vector<std::string> extra;
        const char* message;
    };
    const Case cases[] = {
        {P::kRefuse, 0, {}, "push-play: refused by the desktop (reply type 1)"},
        {P::kNoPort, 0, {}, "push-play: the desktop gave no stream port"},
        {P::kNoPort, 0, {"--udp"}, "push-play: the desktop gave no Zup2p port"},
        {P::kCloseWithoutReply, 0, {}, "push-play: the desktop closed the command connection"},
        {P::kSilent, 0, {"--timeout", "0.3"}, "push-play: no reply from the desktop within 300 ms"},
        {P::kOversizedReply, 0, {}, "reply of 5000 bytes (at most 4096 expected)"},
        {P::kAccept,
         5,
         {"--tone", "440", "--command", "record-start@0.05"},
         "record-start: refused by the desktop (reply type 1)"},
    };
    for (const Case& c : cases) {
        FakeDesktop::Script script;
        script.pushPlay = c.pushPlay;
        if (c.refusedType)
            script.refusedTypes.insert(c.refusedType);
        FakeDesktop desktop(script);
        std::vector<std::string> args = {"--port", std::to_string(desktop.port())};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        RunResult r = Run(args);
        desktop.Join();
        EXPECT_EQ(r.exitCode, 1) << c.message << "\n" << r.out << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("zucam-phone-sim: error: "), std::string::npos);
    }
}

TEST_F(PhoneSimLoopback, DesktopDroppingTheStreamIsAFailure) {
    FakeDesktop::Script script;
    script.dropAfterBytes = 20000;
    FakeDesktop desktop(script);
    RunResult r = Run({"--port", std::to_string(desktop.port()), "--pattern", "320x240@30",
                       "--tone", "440", "--duration", "10"});
    desktop.Join();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    bool named = r.err.find("the desktop closed the command connection") != std::string::npos ||
                 r.err.find("stream connection lost") != std::string::npos;
    EXPECT_TRUE(named) << r.err;
}

// Announces like the desktop (to 127.0.0.1 only), after one datagram of noise.
class Announcer {
public:
    Announcer(uint16_t target, int desktopPort) {
        thread_ = std::thread([=] {
            platform::DatagramSocket socket;
            std::string error;
            std::string noise = "not an announcement";
            std::string text = "{\"ip\":\"127.0.0.1\",\"name\":\"Fake Desk\",\"port\":" +
                               std::to_string(desktopPort) + "}\n";
            for (int i = 0; i < 100 && !stop_; ++i) {
                socket.sendTo("127.0.0.1", target, noise.data(), noise.size(), &error);
                socket.sendTo("127.0.0.1", target, text.data(), text.size(), &error);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    ~Announcer() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

uint16_t FreeUdpPort() {
    platform::DatagramSocket probe;
    std::string error;
    EXPECT_TRUE(probe.bind("127.0.0.1", 0, &error)) << error;
    return probe.localPort();
}

TEST_F(PhoneSimLoopback, DiscoveryFindsTheAnnouncedDesktop) {
    FakeDesktop desktop;
    uint16_t udp = FreeUdpPort();
    Announcer announcer(udp, desktop.port());
    RunResult r = Run({"--discover", std::to_string(udp), "--no-play", "--command", "ping"});
    desktop.Join();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(
        r.out.find("desktop \"Fake Desk\" announced 127.0.0.1:" + std::to_string(desktop.port())),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("ping: the desktop is alive"), std::string::npos);
}

TEST_F(PhoneSimLoopback, DiscoveryGivesUpWithAReason) {
    uint16_t udp = FreeUdpPort();
    RunResult r = Run({"--discover", std::to_string(udp), "--discover-timeout", "0.3"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no desktop announced itself on UDP port " + std::to_string(udp)),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace phonesim_test
