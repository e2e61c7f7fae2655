// zucamd and input from strangers, over loopback:
//  - a phone's name is shown and logged as text: markup stays markup, terminal
//    control and broken UTF-8 arrive escaped, a line break cannot start a log
//    line of its own, and nothing of it costs memory;
//  - pictures in a format that cannot be shown are named once per connection;
//  - connections that race the phone for its stream port, stay silent or send
//    rubbish, never take the phone's pictures away.
#include <gtest/gtest.h>

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/client-socket.h"
#include "platform/files.h"
#include "tests/dep/ffmpeg/h264-test-stream.h"
#include "tests/server/loopback-phone.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"
#include "tools/phone-sim/packet-builder.h"
#include "tools/phone-sim/pattern-encoder.h"

namespace {

constexpr uint16_t kPort = 10080;
constexpr int kLogLimitMs = 20000;
constexpr int kPhoneLimitMs = 90000;

long long PeakResidentKb(long pid) {
    std::string status;
    platform::ReadWholeFile("/proc/" + std::to_string(pid) + "/status", &status);
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : std::atoll(status.c_str() + at + 6);
}

// Bytes that steer a terminal or break a line: none may reach one.
bool HasControlBytes(const std::string& text) {
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\n') || u == 0x7f)
            return true;
    }
    return false;
}

// Lines that a name's line break would have started.
std::vector<std::string> ForgedLines(const std::string& log) {
    std::vector<std::string> forged;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "FORGED") == 0)
            forged.push_back(line);
    }
    return forged;
}

// Waits until `path` holds `text` at least n times; false after timeoutMs.
bool WaitForCount(const std::string& path, const std::string& text, int n, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (e2e::CountOf(e2e::ReadText(path), text) < n) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class ZucamdForeignInputTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (zucamd_.running()) {
            EXPECT_EQ(zucamd_.stop(20000), 0) << Log();
        }
    }

    void StartZucamd() {
        ASSERT_TRUE(e2e::Start(&zucamd_, dir_, "zucamd",
                               {e2e::Bin("zucamd"), "--port", std::to_string(kPort),
                                "--no-announce", "--no-camera-output", "--save-dir", dir_.path()}));
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
    std::string Terminal() const {
        return e2e::ReadText(dir_.file("zucamd.out")) + e2e::ReadText(dir_.file("zucamd.err"));
    }

    zutest::TempDir dir_;
    platform::ChildProcess zucamd_;
};

TEST_F(ZucamdForeignInputTest, HostileNamesAreShownAndLoggedAsPlainText) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    const struct {
        std::string name;
        std::string shown;  // what the terminal line carries of it
    } phones[] = {
        {"<img src=/dev/zero>", "<img src=/dev/zero>"},
        {"\x1b]0;title\x07\x1b[2J\x1b]52;c;cHduZWQ=\x07", "\\x1b]0;title\\x07\\x1b[2J\\x1b]52;c;"},
        {"overwritten\rFAKE", "overwritten\\rFAKE"},
        {"line\nFORGED 0101-00:00:00[E][bg] forged.cpp 1   : \"forged\"", "line\\nFORGED"},
        {"bad \xff\xfe utf-8 \xc3", "bad \\xff\\xfe utf-8 \\xc3"},
        {std::string(1000, 'N'), std::string(63, 'N') + "\xE2\x80\xA6"},
    };
    int served = 0;
    for (const auto& phone : phones) {
        platform::ChildProcess sim;
        ASSERT_TRUE(
            e2e::Start(&sim, dir_, "phone",
                       Phone({"--name", phone.name, "--pattern", "160x120@15", "--frames", "8"})));
        ASSERT_EQ(sim.wait(kPhoneLimitMs), 0) << e2e::ReadText(dir_.file("phone.err"));
        ++served;
        ASSERT_TRUE(WaitForCount(dir_.file("zucamd.out"), "\" connected", served, kLogLimitMs));
        ASSERT_TRUE(WaitForCount(dir_.file("zucamd.out"), "phone gone", served, kLogLimitMs));
        EXPECT_NE(Terminal().find("phone \"" + phone.shown), std::string::npos) << Terminal();
    }
    const std::string terminal = Terminal();
    EXPECT_FALSE(HasControlBytes(terminal)) << terminal;
    EXPECT_EQ(terminal.find('\xff'), std::string::npos);
    const std::string log = Log();
    EXPECT_FALSE(HasControlBytes(log));
    EXPECT_EQ(log.find('\xff'), std::string::npos);
    EXPECT_TRUE(ForgedLines(log).empty()) << log;
    EXPECT_NE(log.find("device:[line\\nFORGED"), std::string::npos) << log;
    const long long peakKb = PeakResidentKb(zucamd_.pid());
    EXPECT_GT(peakKb, 0);
    EXPECT_LT(peakKb, 300 * 1024) << "peak resident " << peakKb << " kB";
}

// One stranger on the stream port: kind 0 stays silent, 1 sends rubbish, 2 a
// picture before any token. Null when the port refused it.
std::unique_ptr<platform::ClientSocket> Stranger(uint16_t port, int kind) {
    static const std::string rubbish = "GET / HTTP/1.1\r\n\r\n";
    static const std::string video =
        std::string("\0\0\0\1\0\0\0\x08\0\0\0\1\0\0\0\1\0\0\0\4\0\0\0\1", 24);
    std::unique_ptr<platform::ClientSocket> socket(new platform::ClientSocket);
    std::string error;
    if (!socket->connect("127.0.0.1", port, 200, &error))
        return nullptr;
    if (kind % 3 == 1)
        socket->sendAll(rubbish.data(), rubbish.size(), 200, &error);
    else if (kind % 3 == 2)
        socket->sendAll(video.data(), video.size(), 200, &error);
    return socket;
}

// Strangers one after the other while `stop` is clear, each kept open until
// a hundred newer ones are.
void Crowd(uint16_t port, int first, const std::atomic<bool>* stop, std::atomic<int>* connections) {
    std::deque<std::unique_ptr<platform::ClientSocket>> open;
    for (int i = first; !stop->load(); ++i) {
        std::unique_ptr<platform::ClientSocket> socket = Stranger(port, i);
        if (socket) {
            ++*connections;
            open.push_back(std::move(socket));
            if (open.size() > 100)
                open.pop_front();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TEST_F(ZucamdForeignInputTest, StrangersOnTheStreamPortLeaveThePhoneItsPictures) {
    constexpr int kFrames = 375;
    constexpr int kFps = 25;
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    platform::ChildProcess camera;
    ASSERT_TRUE(
        e2e::Start(&camera, dir_, "camera",
                   {e2e::Bin("zucam-camera"), "--y4m", dir_.file("camera.y4m"), "--timeout", "4"}));
    phonesim::PatternEncoder encoder;
    phonesim::PatternEncoder::Settings settings;
    settings.width = 320;
    settings.height = 240;
    settings.fps = kFps;
    std::string error;
    ASSERT_TRUE(encoder.Open(settings, &error)) << error;

    servertest::LoopbackPhone phone;
    ASSERT_TRUE(phone.Connect(kPort));
    Json::Value reply;
    ASSERT_FALSE(phone.Request(R"({"type":0,"data":{"name":"Pixel"}})", &reply).empty());
    const uint16_t streamPort = static_cast<uint16_t>(reply["data"]["port"].asInt());
    ASSERT_GT(streamPort, 0);
    std::atomic<bool> stop{false};
    std::atomic<int> connections{0};
    std::vector<std::unique_ptr<platform::ClientSocket>> first;
    for (int kind = 0; kind < 3; ++kind) {
        first.push_back(Stranger(streamPort, kind));
        ASSERT_NE(first.back(), nullptr);
    }
    std::thread crowdA(Crowd, streamPort, 0, &stop, &connections);
    std::thread crowdB(Crowd, streamPort, 1, &stop, &connections);

    platform::ClientSocket stream;
    std::string token;
    ASSERT_TRUE(stream.connect("127.0.0.1", streamPort, 5000, &error)) << error;
    ASSERT_TRUE(phonesim::PacketBuilder::Token(reply["data"]["key"].asString(), &token));
    bool sent = stream.sendAll(token.data(), token.size(), 5000, &error);
    for (int i = 0; sent && i < kFrames; ++i) {
        phonesim::AccessUnit unit;
        ASSERT_EQ(encoder.Next(&unit, &error), 1) << error;
        std::string packets, packet;
        if (!unit.config.empty()) {
            ASSERT_TRUE(
                phonesim::PacketBuilder::Video(2, unit.config.data(), unit.config.size(), &packet));
            packets += packet;
        }
        ASSERT_TRUE(phonesim::PacketBuilder::Video(unit.key ? 1 : 0, unit.picture.data(),
                                                   unit.picture.size(), &packet));
        packets += packet;
        sent = stream.sendAll(packets.data(), packets.size(), 5000, &error);
        // Paced like a camera; what is measured is the count, never the time.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kFps));
    }
    stop.store(true);
    crowdA.join();
    crowdB.join();
    EXPECT_TRUE(sent) << error;
    EXPECT_GT(connections.load(), 0);
    const int cameraExit = camera.wait(30000);
    EXPECT_TRUE(cameraExit == 0 || cameraExit == 4) << e2e::ReadText(dir_.file("camera.err"));
    // The phone was never cut off, and nearly all its pictures reached the
    // camera (the reader may miss one now and then on a busy machine).
    EXPECT_EQ(e2e::CountOf(e2e::ReadText(dir_.file("zucamd.out")), "phone gone"), 0) << Log();
    EXPECT_EQ(e2e::CountOf(Log(), "OnClientConnnectd"), 1) << Log();
    std::vector<e2e::Picture> pictures;
    ASSERT_TRUE(e2e::ReadY4m(dir_.file("camera.y4m"), &pictures, &error)) << error;
    EXPECT_GE(pictures.size(), static_cast<size_t>(kFrames * 2 / 3))
        << e2e::ReadText(dir_.file("camera.err"));
    phone.Close();
}

// A phone whose pictures are 4:4:4 or 10-bit gets them dropped, as before,
// but the person is told once per connection, on the terminal and in the log.
TEST_F(ZucamdForeignInputTest, PicturesThatCannotBeShownAreNamedOncePerConnection) {
    zutest::H264StreamRecipe recipe;
    recipe.width = 160;
    recipe.height = 120;
    recipe.frames = 10;
    recipe.gop = 5;
    recipe.profile = "high444";
    recipe.pixelFormat = "yuv444p";
    recipe.bFrames = 0;
    std::string error;
    const std::vector<zutest::AccessUnit> units = zutest::MakeAccessUnits(recipe, &error);
    ASSERT_FALSE(units.empty()) << error;
    ASSERT_NO_FATAL_FAILURE(StartZucamd());
    const std::string line = "the phone sends a picture format ZuCam cannot show";
    for (int connection = 1; connection <= 2; ++connection) {
        servertest::LoopbackPhone phone;
        ASSERT_TRUE(phone.Connect(kPort));
        ASSERT_GT(phone.PushPlay(), 0);
        for (int round = 0; round < 3; ++round) {
            for (const zutest::AccessUnit& unit : units) {
                ASSERT_TRUE(phone.SendVideo(unit.idr ? 1 : 0,
                                            std::string(unit.bytes.begin(), unit.bytes.end())));
            }
        }
        ASSERT_TRUE(WaitForCount(LogPath(), line, connection, kLogLimitMs)) << Log();
        ASSERT_TRUE(WaitForCount(dir_.file("zucamd.err"), line, connection, kLogLimitMs))
            << Terminal();
        // A ping answered after all those pictures: the decoder has had them.
        Json::Value reply;
        ASSERT_FALSE(phone.Request(R"({"type":-1})", &reply).empty());
        phone.Close();
        ASSERT_TRUE(WaitForCount(dir_.file("zucamd.out"), "phone gone", connection, kLogLimitMs));
    }
    EXPECT_EQ(e2e::CountOf(Log(), line), 2) << Log();
    EXPECT_EQ(e2e::CountOf(e2e::ReadText(dir_.file("zucamd.err")), line), 2) << Terminal();
    EXPECT_EQ(e2e::CountOf(Log(), "first picture"), 0) << Log();
}

}  // namespace
