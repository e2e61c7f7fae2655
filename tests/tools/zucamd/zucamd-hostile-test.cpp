// zucamd under attack over loopback: what a hostile host on the network, a
// frozen phone or a failing disk can do to the one phone zucamd serves.
//  - a command connection that is only held open (idle, one byte a second,
//    a phone stopped with SIGSTOP) locks the phone out for 10 s at most;
//    a live session still refuses a second connection;
//  - audio at absurd sample rates costs neither memory nor time;
//  - other peers on the phone's datagram stream are turned away at once and
//    can neither close the phone's session nor fill the host;
//  - a recording cut short by a full disk or a kill -9 keeps its pictures;
//  - a ping flood cannot fill the disk with log.
#include <gtest/gtest.h>

#include <json/value.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/client-socket.h"
#include "platform/files.h"
#include "tests/server/loopback-phone.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"
#include "tests/tools/zucamd/media-probe.h"
#include "tests/zup2p/raw-enet-peer.h"
#include "tools/phone-sim/command-channel.h"
#include "tools/phone-sim/pattern-encoder.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr uint16_t kPort = 10080;
// A session counts as stale after 10 s without signs of life; the phone that
// knocks again and again is served within 12 s of the attack.
constexpr int kServedWithinMs = 12000;
constexpr int kLogLimitMs = 20000;
constexpr int kPhoneLimitMs = 90000;

void Sleep(int ms) {
    std::this_thread::sleep_for(Ms(ms));
}

int MsSince(Clock::time_point t) {
    return static_cast<int>(std::chrono::duration_cast<Ms>(Clock::now() - t).count());
}

// One push-play on a fresh command connection; true when it was answered
// with a stream key (the phone is served).
bool PushPlayServed() {
    phonesim::CommandChannel phone;
    std::string error;
    if (!phone.Connect("127.0.0.1", kPort, 2000, &error))
        return false;
    Json::Value request;
    request["type"] = 0;
    request["data"]["name"] = "Newcomer";
    std::string text;
    Json::Value reply;
    bool served = phone.Request(request, 2000, &text, &reply, &error) &&
                  !reply["data"]["key"].asString().empty();
    phone.Close();
    return served;
}

// Knocks every 200 ms until served or `deadline`; `between` runs between
// knocks (an attacker's next byte, say).
bool ServedBefore(Clock::time_point deadline, const std::function<void()>& between = {}) {
    while (Clock::now() < deadline) {
        if (PushPlayServed())
            return true;
        if (between)
            between();
        Sleep(200);
    }
    return false;
}

long long PeakResidentKb(long pid) {
    std::string status;
    platform::ReadWholeFile("/proc/" + std::to_string(pid) + "/status", &status);
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : std::atoll(status.c_str() + at + 6);
}

class ZucamdHostileTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (zucamd_.running()) {
            EXPECT_EQ(zucamd_.stop(20000), 0) << Log();
        }
    }

    // zucamd on the phone port, recordings into `saveDir` (the test's folder
    // by default), run through `wrapper` (a command line that ends by
    // running the rest) when one is given.
    void StartZucamd(std::vector<std::string> wrapper = {}, std::string saveDir = {}) {
        if (saveDir.empty())
            saveDir = dir_.path();
        std::vector<std::string> argv = std::move(wrapper);
        // No camera output of its own: a kill -9 would leave it behind.
        const std::vector<std::string> zucamd = {e2e::Bin("zucamd"),
                                                 "--port",
                                                 std::to_string(kPort),
                                                 "--no-announce",
                                                 "--no-camera-output",
                                                 "--save-dir",
                                                 saveDir};
        argv.insert(argv.end(), zucamd.begin(), zucamd.end());
        ASSERT_TRUE(e2e::Start(&zucamd_, dir_, "zucamd", argv));
        // Generous: a sanitizer build on a busy machine starts slowly.
        ASSERT_TRUE(WaitLog("serving Wi-Fi phones", 30000)) << Log();
    }

    std::vector<std::string> Phone(const std::vector<std::string>& options) const {
        return e2e::PhoneSim(kPort, options);
    }

    std::string LogPath() const { return e2e::ZucamdLog(dir_); }
    std::string Log() const { return e2e::ReadText(LogPath()); }
    bool WaitLog(const std::string& text, int ms = kLogLimitMs) const {
        return e2e::WaitForText(LogPath(), text, ms);
    }

    zutest::TempDir dir_;
    platform::ChildProcess zucamd_;
};

// ---- lock-outs through the one command connection -------------------------

TEST_F(ZucamdHostileTest, IdleCommandConnectionIsTakenOverByTheNextPhone) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    platform::ClientSocket idle;
    std::string error;
    ASSERT_TRUE(idle.connect("127.0.0.1", kPort, 2000, &error)) << error;
    const Clock::time_point attack = Clock::now();
    EXPECT_TRUE(ServedBefore(attack + Ms(kServedWithinMs))) << Log();
    // Not before its time: the holder had its 10 s.
    EXPECT_GE(MsSince(attack), 10000);
    EXPECT_TRUE(WaitLog("stale cmd connection closed, a new one takes over")) << Log();
    EXPECT_TRUE(idle.waitPeerClosed(5000));
}

TEST_F(ZucamdHostileTest, OneByteASecondNeverCompletingAFrameIsTakenOver) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    platform::ClientSocket dribble;
    std::string error;
    ASSERT_TRUE(dribble.connect("127.0.0.1", kPort, 2000, &error)) << error;
    // A frame that announces 2000 bytes of body and never delivers them.
    ASSERT_TRUE(dribble.sendAll("\0\0\x07\xd0", 4, 1000, &error)) << error;
    const Clock::time_point attack = Clock::now();
    Clock::time_point lastByte = attack;
    auto nextByte = [&] {
        if (MsSince(lastByte) >= 1000) {
            dribble.sendAll("{", 1, 100, &error);
            lastByte = Clock::now();
        }
    };
    EXPECT_TRUE(ServedBefore(attack + Ms(kServedWithinMs), nextByte)) << Log();
    EXPECT_TRUE(WaitLog("stale cmd connection closed, a new one takes over")) << Log();
}

TEST_F(ZucamdHostileTest, StoppedPhoneIsTakenOverByTheNextPhone) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    platform::ChildProcess frozen;
    ASSERT_TRUE(e2e::Start(&frozen, dir_, "frozen",
                           Phone({"--pattern", "320x240@15", "--duration", "120"})));
    ASSERT_TRUE(WaitLog("first picture")) << Log();
    // The app freezes while the kernel keeps its connections answering.
    std::string out;
    ASSERT_EQ(platform::RunProcess({"kill", "-STOP", std::to_string(frozen.pid())}, 5000, &out), 0);
    const Clock::time_point frozenAt = Clock::now();
    EXPECT_TRUE(ServedBefore(frozenAt + Ms(kServedWithinMs))) << Log();
    // The frozen phone's session ended as any disconnection does.
    EXPECT_TRUE(WaitLog("OnClientDisconnnectd")) << Log();
    frozen.signal(true);
    EXPECT_NE(frozen.wait(10000), -1);
}

// The take-over is for stale sessions only: a phone that keeps talking keeps
// its session however long it lasts, and a second connection is refused.
TEST_F(ZucamdHostileTest, LiveSessionStillRefusesASecondConnection) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    phonesim::CommandChannel phone;
    std::string error;
    ASSERT_TRUE(phone.Connect("127.0.0.1", kPort, 2000, &error)) << error;
    Json::Value request;
    request["type"] = 0;
    request["data"]["name"] = "Pixel";
    std::string text;
    Json::Value reply;
    ASSERT_TRUE(phone.Request(request, 5000, &text, &reply, &error)) << error;
    Json::Value ping;
    ping["type"] = -1;
    for (int i = 0; i < 12; ++i) {
        Sleep(1000);
        ASSERT_TRUE(phone.Request(ping, 5000, &text, &reply, &error)) << i << ": " << error;
    }
    phonesim::CommandChannel second;
    ASSERT_TRUE(second.Connect("127.0.0.1", kPort, 2000, &error)) << error;
    EXPECT_TRUE(second.WaitPeerClosed(5000));
    EXPECT_TRUE(phone.Request(ping, 5000, &text, &reply, &error)) << error;
    EXPECT_EQ(reply["type"].asInt(), -1);
    EXPECT_EQ(e2e::CountOf(Log(), "only supported one cmd connection"), 1) << Log();
    EXPECT_EQ(e2e::CountOf(Log(), "stale cmd connection"), 0) << Log();
}

// ---- audio amplification ---------------------------------------------------

// One 20 ms block at 1 Hz once made the recorder resample it into 42 million
// samples: 1.37 GB and 90 s of work, the recording finished 89 s after the
// stop. Such blocks are dropped now, with one warning.
TEST_F(ZucamdHostileTest, AbsurdAudioRatesWhileRecordingCostNothing) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    phonesim::PatternEncoder encoder;
    phonesim::PatternEncoder::Settings settings;
    settings.width = 320;
    settings.height = 240;
    settings.fps = 30;
    std::string error;
    ASSERT_TRUE(encoder.Open(settings, &error)) << error;
    servertest::LoopbackPhone phone;
    ASSERT_TRUE(phone.Connect(kPort));
    ASSERT_GT(phone.PushPlay(), 0);
    auto sendPictures = [&](int n) {
        for (int i = 0; i < n; ++i) {
            phonesim::AccessUnit unit;
            ASSERT_EQ(encoder.Next(&unit, &error), 1) << error;
            if (!unit.config.empty()) {
                ASSERT_TRUE(phone.SendVideo(2, unit.config));
            }
            ASSERT_TRUE(phone.SendVideo(unit.key ? 1 : 0, unit.picture));
            Sleep(33);
        }
    };
    ASSERT_NO_FATAL_FAILURE(sendPictures(15));
    ASSERT_TRUE(WaitLog("first picture")) << Log();
    Json::Value reply;
    ASSERT_FALSE(phone.Request(R"({"type":5,"data":{"type":1}})", &reply).empty());
    ASSERT_TRUE(WaitLog("recording to")) << Log();

    const std::string block(3840, '\x11');
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(phone.SendAudio(1, 2, 16, block));
        ASSERT_TRUE(phone.SendAudio(4000000000u, 2, 16, block));
        ASSERT_NO_FATAL_FAILURE(sendPictures(15));
    }
    ASSERT_FALSE(phone.Request(R"({"type":5,"data":{"type":0}})", &reply).empty());
    const Clock::time_point stop = Clock::now();
    ASSERT_TRUE(WaitLog("recording finished", 60000)) << Log();
    // Generous against a loaded machine; the fault took 89 s.
    EXPECT_LT(MsSince(stop), 5000);
    const long long peakKb = PeakResidentKb(zucamd_.pid());
    EXPECT_GT(peakKb, 0);
    EXPECT_LT(peakKb, 300 * 1024) << "peak resident " << peakKb << " kB";
    EXPECT_EQ(e2e::CountOf(Log(), "phone audio dropped"), 1) << Log();
    phone.Close();
}

// ---- intruders on the datagram stream ------------------------------------

// The Zup2p port of the running stream, from the push-play zucamd printed.
int StreamUdpPort(const std::string& log) {
    const std::string marker = "udpPort:";
    const size_t at = log.rfind(marker);
    return at == std::string::npos ? 0 : std::atoi(log.c_str() + at + marker.size());
}

TEST_F(ZucamdHostileTest, IntrudersOnTheDatagramStreamAreTurnedAway) {
    constexpr int kFrames = 450;  // 15 s at 30 pictures a second
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    platform::ChildProcess camera;
    ASSERT_TRUE(
        e2e::Start(&camera, dir_, "camera",
                   {e2e::Bin("zucam-camera"), "--y4m", dir_.file("camera.y4m"), "--timeout", "4"}));
    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(
        &phone, dir_, "phone",
        Phone({"--udp", "--pattern", "320x240@30", "--frames", std::to_string(kFrames)})));
    ASSERT_TRUE(WaitLog("first picture")) << Log();
    // Printed, not logged: on standard error, or in the log a little later
    // when the log sink has taken standard error over.
    int port = 0;
    for (int t = 0; t < 100 && port == 0; ++t) {
        port = StreamUdpPort(Log() + e2e::ReadText(dir_.file("zucamd.err")));
        Sleep(100);
    }
    ASSERT_GT(port, 0) << Log();

    // A stream packet of an unknown type closed the phone's session.
    zutest::RawEnetPeer intruder(13);
    ASSERT_TRUE(intruder.connect(port, 3000));
    intruder.send(1, std::string("\0\0\0\x07\0\0\0\0\0\0\0\0", 12));
    intruder.pump(200);

    // A crowd of idle peers: each is sent away at once, none keeps a slot.
    std::vector<std::unique_ptr<zutest::RawEnetPeer>> crowd;
    int connected = 0;
    for (int i = 0; i < 150; ++i) {
        crowd.push_back(std::make_unique<zutest::RawEnetPeer>(13));
        if (crowd.back()->connect(port, 1000))
            ++connected;
    }
    EXPECT_EQ(connected, 150);
    int sentAway = 0;
    for (auto& peer : crowd) {
        for (int t = 0; t < 40 && peer->disconnects() == 0; ++t)
            peer->pump(25);
        sentAway += peer->disconnects() > 0 ? 1 : 0;
    }
    EXPECT_EQ(sentAway, connected);
    crowd.clear();

    ASSERT_EQ(phone.wait(kPhoneLimitMs), 0) << e2e::ReadText(dir_.file("phone.err"));
    int cameraExit = camera.wait(30000);
    EXPECT_TRUE(cameraExit == 0 || cameraExit == 4) << e2e::ReadText(dir_.file("camera.err"));
    EXPECT_EQ(e2e::CountOf(Log(), "OnClientConnnectd"), 1) << Log();
    // The phone's pictures kept reaching the camera: its session was never
    // cut (the reader may miss one now and then on a busy machine).
    std::vector<e2e::Picture> pictures;
    std::string error;
    ASSERT_TRUE(e2e::ReadY4m(dir_.file("camera.y4m"), &pictures, &error)) << error;
    EXPECT_GE(pictures.size(), static_cast<size_t>(kFrames * 2 / 3))
        << e2e::ReadText(dir_.file("camera.err"));
}

// ---- recordings cut short -------------------------------------------------

// A recording's pictures as ffprobe reads them; -1 when it cannot read it.
int RecordedPictures(const std::string& path, std::string* error) {
    e2e::ProbedFile probed;
    if (!e2e::ProbeFile(path, &probed, error))
        return -1;
    const e2e::ProbedStream* video = probed.Stream("video");
    if (!video || video->codec != "h264") {
        *error = "no H.264 stream";
        return -1;
    }
    return static_cast<int>(probed.PacketsOf(*video).size());
}

// A full disk ends the recording at once with the cause in the log; the phone
// is told it is no longer recording, and the file keeps its pictures up to
// the failure.
TEST_F(ZucamdHostileTest, FullDiskEndsTheRecordingAndKeepsWhatWasWritten) {
    const std::string saveDir = dir_.file("small-disk");
    std::vector<std::string> smallDisk;
    if (!e2e::SmallDisk(saveDir, &smallDisk))
        GTEST_SKIP() << "mounting a tmpfs in a private mount namespace needs root";
    ASSERT_NO_FATAL_FAILURE(StartZucamd(smallDisk, saveDir));

    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(&phone, dir_, "phone",
                           Phone({"--pattern", "640x360@30", "--duration", "20", "--command",
                                  "record-start@1", "--command", "record-query@19"})));
    ASSERT_TRUE(WaitLog("No space left on device", 60000)) << Log();
    // The file lives in zucamd's mount namespace; copied out while it runs.
    const std::string theirs = e2e::SeenBy(zucamd_.pid(), saveDir);
    std::vector<std::string> files = e2e::FilesStartingWith(theirs, "ZuCam_recoder[");
    ASSERT_EQ(files.size(), 1u) << Log();
    const std::string copy = dir_.file("recording.mp4");
    std::filesystem::copy_file(files[0], copy);

    ASSERT_EQ(phone.wait(kPhoneLimitMs), 0) << e2e::ReadText(dir_.file("phone.err"));
    const std::string replies = e2e::ReadText(dir_.file("phone.out"));
    EXPECT_EQ(e2e::CountOf(replies, "record-query: accepted, state 0 (not recording)"), 1)
        << replies;
    const std::string log = Log();
    EXPECT_NE(log.find("recording failed, cannot write"), std::string::npos) << log;
    EXPECT_EQ(log.find("recording finished"), std::string::npos) << log;

    std::string error;
    EXPECT_GE(RecordedPictures(copy, &error), 25) << error;
}

// A kill -9 in the middle of a recording leaves a file that plays up to its
// last complete fragment.
TEST_F(ZucamdHostileTest, KilledZucamdLeavesAPlayableRecording) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(
        &phone, dir_, "phone",
        Phone({"--pattern", "640x360@30", "--duration", "600", "--command", "record-start@1"})));
    ASSERT_TRUE(WaitLog("recording to")) << Log();
    std::vector<std::string> files;
    for (int t = 0; t < 100 && files.empty(); ++t) {
        files = e2e::FilesStartingWith(dir_.path(), "ZuCam_recoder[");
        Sleep(100);
    }
    ASSERT_EQ(files.size(), 1u) << Log();
    // Three seconds of pictures, whatever the pace: fragments of at most a
    // second have been written by then.
    // The file is read while zucamd writes it: only the count that reached
    // 90 is kept, never a second look that may meet half a fragment.
    std::string error;
    const Clock::time_point deadline = Clock::now() + Ms(60000);
    int before = RecordedPictures(files[0], &error);
    while (Clock::now() < deadline && before < 90) {
        Sleep(500);
        before = RecordedPictures(files[0], &error);
    }
    ASSERT_GE(before, 90) << error;
    ASSERT_EQ(Log().find("recording finished"), std::string::npos) << "the recording ended first";
    ASSERT_TRUE(zucamd_.signal(true));
    EXPECT_NE(zucamd_.wait(10000), -1);
    EXPECT_GE(RecordedPictures(files[0], &error), before) << error;
    phone.signal(true);
    phone.wait(10000);
}

// ---- the log ----------------------------------------------------------------

long long FolderBytes(const std::string& dir) {
    long long total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        total += entry.is_regular_file() ? static_cast<long long>(entry.file_size()) : 0;
    return total;
}

// A peer that pings with near-maximal bodies as fast as it can, never asking
// for a stream: as much as it sends in 15 s, sent at once. Every ping is
// answered; the log stays far below what the pings would fill.
TEST_F(ZucamdHostileTest, PingFloodCannotFillTheLog) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    platform::ClientSocket flood;
    std::string error;
    ASSERT_TRUE(flood.connect("127.0.0.1", kPort, 2000, &error)) << error;
    const std::string body = "{\"type\":-1,\"data\":{\"pad\":\"" + std::string(3900, 'x') + "\"}}";
    std::string frame(4, '\0');
    for (int i = 0; i < 4; ++i)
        frame[i] = static_cast<char>((body.size() >> (24 - 8 * i)) & 0xff);
    frame += body;
    // Each ping waits for its answer, as a phone's do (a delivery may not pass
    // one frame's room). 8,000 of them: every one logged whole would pass
    // 25 MiB.
    constexpr int kPings = 8000;
    const std::string pong = "{\"data\":null,\"type\":-1,\"version\":\"1.0\"}";
    int pongs = 0;
    for (int i = 0; i < kPings; ++i) {
        ASSERT_TRUE(flood.sendAll(frame.data(), frame.size(), 30000, &error)) << error << Log();
        char head[4];
        ASSERT_EQ(flood.recvExact(head, 4, 30000, &error),
                  platform::ClientSocket::RecvResult::kDone)
            << error;
        const size_t size = (static_cast<size_t>(static_cast<unsigned char>(head[0])) << 24) |
                            (static_cast<size_t>(static_cast<unsigned char>(head[1])) << 16) |
                            (static_cast<size_t>(static_cast<unsigned char>(head[2])) << 8) |
                            static_cast<unsigned char>(head[3]);
        ASSERT_LT(size, 4096u);
        std::string reply(size, '\0');
        ASSERT_EQ(flood.recvExact(&reply[0], size, 30000, &error),
                  platform::ClientSocket::RecvResult::kDone)
            << error;
        pongs += reply.find(pong) != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(pongs, kPings);
    flood.close();
    EXPECT_TRUE(WaitLog("[ping_json]:\xe2\x80\xa6 ", 20000)) << "no count of the held-back pings";
    EXPECT_LE(FolderBytes(dir_.file("state") + "/ZuCam"), 25LL * 1024 * 1024);
    EXPECT_TRUE(PushPlayServed()) << Log();
}

}  // namespace
