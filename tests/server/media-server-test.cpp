#include "server/media-server.h"

#include <gtest/gtest.h>

#include <json/json.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "app-context.h"
#include "platform/client-socket.h"
#include "platform/files.h"
#include "platform/network-interfaces.h"
#include "tests/server/fake-media-callback.h"
#include "tests/server/loopback-phone.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"
#include "tools/phone-sim/command-channel.h"
#include "tools/phone-sim/packet-builder.h"
#include "tools/phone-sim/pattern-encoder.h"

namespace {

using servertest::FakeMediaCallback;

constexpr int kWaitMs = 5000;

class FakeAppContext : public AppContext {
public:
    bool recording = false;
    bool IsRecording() const override { return recording; }
    std::string DeviceName() const override { return "Desk"; }
    zutest::TempDir folder;
    std::string saveDir = folder.path();
    std::string SaveDir() const override { return saveDir; }
    zu::QAdbTools* AdbTools() override { return nullptr; }
    void ReleaseAdbTools() override {}
    void UpdateVolumn(int) override {}
    bool PlayAudio() const override { return false; }
};

using Phone = servertest::LoopbackPhone;

class MediaServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppContext::setInstance(&app_);
        server_ = MediaServer::Create(&callback_);
        QObject::connect(server_.get(), &MediaServer::sig_DecoderInitFailed,
                         [this](const QString& text) { failures_.push_back(text.toStdString()); });
        ASSERT_TRUE(server_->Start(0));
        port_ = server_->Port();
        ASSERT_GT(port_, 0);
    }
    void TearDown() override {
        server_.reset();
        AppContext::setInstance(nullptr);
    }

    // Encodes `count` pattern pictures: the first unit is an IDR with its
    // parameter sets split off as the configuration.
    static std::vector<phonesim::AccessUnit> Pictures(int count, int w = 320, int h = 240) {
        phonesim::PatternEncoder encoder;
        phonesim::PatternEncoder::Settings s;
        s.width = w;
        s.height = h;
        s.fps = 30;
        std::string error;
        std::vector<phonesim::AccessUnit> units;
        if (!encoder.Open(s, &error))
            return units;
        for (int i = 0; i < count; ++i) {
            phonesim::AccessUnit unit;
            if (encoder.Next(&unit, &error) != 1)
                break;
            units.push_back(unit);
        }
        return units;
    }

    zutest::TestHost host_;
    FakeAppContext app_;
    FakeMediaCallback callback_;
    std::unique_ptr<MediaServer> server_;
    std::vector<std::string> failures_;
    int port_ = 0;
};

TEST_F(MediaServerTest, DecodesThePhonesPicturesAfterPushPlay) {
    std::vector<phonesim::AccessUnit> units = Pictures(5);
    ASSERT_EQ(units.size(), 5u);
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    ASSERT_GT(phone.PushPlay(), port_);
    ASSERT_TRUE(callback_.waitEvent("connected:Pixel", kWaitMs));
    for (const phonesim::AccessUnit& u : units) {
        if (!u.config.empty()) {
            ASSERT_TRUE(phone.SendVideo(2, u.config));
        }
        ASSERT_TRUE(phone.SendVideo(u.key ? 1 : 0, u.picture));
    }
    // A picture waits in the decoder for the next packet; four of five come out.
    ASSERT_TRUE(callback_.waitPictures(4, kWaitMs));
    FakeMediaCallback::Picture p = callback_.pictures().front();
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    EXPECT_TRUE(failures_.empty());
}

TEST_F(MediaServerTest, ConfigurationIsJoinedOnceToTheNextPicture) {
    std::vector<std::string> seen;
    std::mutex m;
    server_->Media().SetPacketObserver([&](const PacketHolder& p) {
        std::lock_guard<std::mutex> lock(m);
        seen.emplace_back(reinterpret_cast<const char*>(p.data()), static_cast<size_t>(p.size()));
    });
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    ASSERT_GT(phone.PushPlay(), port_);
    ASSERT_TRUE(callback_.waitEvent("connected:Pixel", kWaitMs));
    // Two configuration packets in a row: only the second one is joined.
    ASSERT_TRUE(phone.SendVideo(2, "OLDCFG"));
    ASSERT_TRUE(phone.SendVideo(2, "NEWCFG"));
    ASSERT_TRUE(phone.SendVideo(1, "PIC1"));
    ASSERT_TRUE(phone.SendVideo(0, "PIC2"));
    ASSERT_TRUE(phone.SendVideo(2, ""));
    ASSERT_TRUE(phone.SendVideo(0, "PIC3"));
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard<std::mutex> lock(m);
            if (seen.size() >= 3)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "NEWCFGPIC1");
    EXPECT_EQ(seen[1], "PIC2");
    EXPECT_EQ(seen[2], "PIC3");
}

TEST_F(MediaServerTest, ThreeFailedDecoderInitsStillReportTheConnection) {
    server_->Media().SetDeviceTypes({"no-such-device-type"});
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    ASSERT_GT(phone.PushPlay(), port_);
    ASSERT_TRUE(callback_.waitEvent("connected:Pixel", kWaitMs));
    ASSERT_EQ(failures_.size(), 1u);
    EXPECT_EQ(failures_[0], "解码器初始化失败");
    EXPECT_FALSE(server_->Media().HasDecoder());
    // Pictures are dropped until the next connection.
    for (const phonesim::AccessUnit& u : Pictures(3)) {
        if (!u.config.empty()) {
            phone.SendVideo(2, u.config);
        }
        phone.SendVideo(1, u.picture);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(callback_.pictures().empty());
}

TEST_F(MediaServerTest, FirstDisconnectionKeepsThePictureUnlessHoldIsRenewed) {
    for (int round = 0; round < 3; ++round) {
        Phone phone;
        ASSERT_TRUE(phone.Connect(port_));
        ASSERT_GT(phone.PushPlay(), port_);
        ASSERT_TRUE(callback_.waitEvent("connected:Pixel", kWaitMs));
        if (round == 1) {
            // The phone went to the background: keep the picture again.
            Json::Value reply;
            phone.Request(R"({"type":6,"data":{}})", &reply);
            EXPECT_EQ(reply["type"].asInt(), 0);
        }
        callback_.clear();
        phone.Close();
        const char* expected = round == 2 ? "disconnected" : "disconnected-delay";
        ASSERT_TRUE(callback_.waitEvent(expected, kWaitMs)) << "round " << round;
        callback_.clear();
    }
}

TEST_F(MediaServerTest, RecordCommandRepliesWithTheState) {
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    std::string text;
    text = phone.Request(R"({"type":5,"data":{"type":1}})");
    EXPECT_EQ(text, "{\"data\":{\"state\":1},\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(callback_.waitEvent("record-start", kWaitMs));
    text = phone.Request(R"({"type":5,"data":{"type":0}})");
    EXPECT_EQ(text, "{\"data\":{\"state\":0},\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(callback_.waitEvent("record-stop", kWaitMs));

    callback_.clear();
    app_.recording = true;
    text = phone.Request(R"({"type":5,"data":{"type":2}})");
    EXPECT_EQ(text, "{\"data\":{\"state\":1},\"type\":0,\"version\":\"1.0\"}\n");
    app_.recording = false;
    text = phone.Request(R"({"type":5,"data":{"type":2}})");
    EXPECT_EQ(text, "{\"data\":{\"state\":0},\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(callback_.events().empty()) << "a query starts or stops nothing";

    text = phone.Request(R"({"type":5,"data":{"type":7}})");
    EXPECT_EQ(text, "{\"type\":1,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(phone.WaitClosed());
}

TEST_F(MediaServerTest, ScreenshotCommandReachesTheOwner) {
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    std::string text;
    text = phone.Request(R"({"type":4,"data":{}})");
    EXPECT_EQ(text, "{\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(callback_.waitEvent("screenshot", kWaitMs));
}

TEST_F(MediaServerTest, SaveFolderThatCannotTakeFilesFailsScreenshotAndRecordStart) {
    const std::string file = app_.folder.file("a-file");
    ASSERT_GT(platform::WriteWholeFile(file, "x"), 0);
    const struct {
        std::string dir;
        const char* logged;
    } folders[] = {{app_.folder.file("missing"), "输出目录不存在"}, {file, "输出目录无法写入"}};
    for (const auto& folder : folders) {
        app_.saveDir = folder.dir;
        for (const char* request : {R"({"type":4,"data":{}})", R"({"type":5,"data":{"type":1}})"}) {
            host_.clear();
            Phone phone;
            ASSERT_TRUE(phone.Connect(port_));
            EXPECT_EQ(phone.Request(request), "{\"type\":1,\"version\":\"1.0\"}\n") << request;
            EXPECT_TRUE(phone.WaitClosed());
            EXPECT_TRUE(host_.contains(folder.logged)) << folder.dir;
        }
        // Stopping and asking need no folder.
        Phone phone;
        ASSERT_TRUE(phone.Connect(port_));
        EXPECT_EQ(phone.Request(R"({"type":5,"data":{"type":0}})"),
                  "{\"data\":{\"state\":0},\"type\":0,\"version\":\"1.0\"}\n");
        // Hangs up, so the next phone finds the port free.
        phone.Request(R"({"type":2,"data":{}})");
        EXPECT_TRUE(phone.WaitClosed());
    }
    // The owner hears of a request before the phone gets its reply.
    for (const std::string& event : callback_.events()) {
        EXPECT_NE(event, "screenshot");
        EXPECT_NE(event, "record-start");
    }
}

TEST_F(MediaServerTest, MalformedCommandDataIsRefusedAndLogged) {
    for (const char* request :
         {R"({"type":5,"data":{"type":"a"}})", R"({"type":5,"data":{"type":{"x":1}}})",
          R"({"type":9,"data":{}})"}) {
        Phone phone;
        ASSERT_TRUE(phone.Connect(port_));
        std::string text;
        text = phone.Request(request);
        EXPECT_EQ(text, "{\"type\":1,\"version\":\"1.0\"}\n") << request;
        EXPECT_TRUE(phone.WaitClosed()) << request;
    }
    EXPECT_EQ(host_.count("parse custom cmd error"), 2);
    // A "data" that is not an object never reaches the phone commands: the
    // stream server closes the link without a reply.
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    std::string text;
    text = phone.Request(R"({"type":5,"data":"x"})");
    EXPECT_EQ(text, "");
    EXPECT_TRUE(phone.WaitClosed());
    for (const std::string& e : callback_.events()) {
        EXPECT_EQ(e.find("record"), std::string::npos) << e;
    }
}

TEST_F(MediaServerTest, OnlySixteenBitAudioWithChannelsBecomesFrames) {
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    ASSERT_GT(phone.PushPlay(), port_);
    std::string block(3840, '\x01');
    ASSERT_TRUE(phone.SendAudio(48000, 2, 8, block));
    ASSERT_TRUE(phone.SendAudio(48000, 2, 32, block));
    ASSERT_TRUE(phone.SendAudio(48000, 0, 16, block));
    ASSERT_TRUE(phone.SendAudio(44100, 2, 16, block));
    ASSERT_TRUE(callback_.waitAudio(1, kWaitMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<FrameHolder> audio = callback_.audio();
    ASSERT_EQ(audio.size(), 1u);
    AVFrame* f = audio[0].get();
    EXPECT_EQ(f->sample_rate, 44100);
    EXPECT_EQ(f->ch_layout.nb_channels, 2);
    EXPECT_EQ(f->nb_samples, 960);
    EXPECT_EQ(f->format, 1);  // signed 16-bit interleaved
    EXPECT_EQ(f->data[0][0], 1);
    EXPECT_EQ(f->data[0][3839], 1);
}

TEST(PhoneMediaHandlerTest, AudioFramesNeedAWholeSampleAndSaneChannels) {
    std::string two(2, '\0');
    EXPECT_FALSE(PhoneMediaHandler::MakeAudioFrame(two.data(), 2, 48000, 2, 16));
    EXPECT_TRUE(PhoneMediaHandler::MakeAudioFrame(two.data(), 2, 48000, 1, 16));
    EXPECT_FALSE(PhoneMediaHandler::MakeAudioFrame(two.data(), 2, 48000, 1000000, 16));
    EXPECT_FALSE(PhoneMediaHandler::MakeAudioFrame(nullptr, 2, 48000, 1, 16));
    // An odd byte at the end is not part of any sample.
    std::string odd(5, '\x02');
    FrameHolder f = PhoneMediaHandler::MakeAudioFrame(odd.data(), 5, 8000, 1, 16);
    ASSERT_TRUE(f);
    EXPECT_EQ(f.get()->nb_samples, 2);
}

TEST(MediaServerAddressTest, VirtualMachineAdaptersAndLoopbackAreNotAnnounced) {
    std::vector<platform::NetworkAdapter> adapters = {
        {"eth0", "eth0", "192.168.1.20", false},
        {"lo", "lo", "127.0.0.1", false},
        {"vm0", "VMware Network Adapter VMnet8", "192.168.56.1", false},
        {"hv", "vEthernet (HYPER-V switch)", "172.20.0.1", false},
        {"vb", "VirtualBox Host-Only", "192.168.99.1", false},
        {"none", "none", "0.0.0.0", false},
        {"wlan0", "wlan0", "10.0.0.7", false},
        // What the platform layer reports for bridges and tunnels on Linux.
        {"docker0", "docker0 (virtual adapter)", "172.17.0.1", false},
        {"virbr0", "virbr0 (virtual adapter)", "192.168.122.1", false},
    };
    EXPECT_EQ(MediaServer::AnnounceAddresses(adapters),
              (std::vector<std::string>{"192.168.1.20", "10.0.0.7"}));
}

TEST(MediaServerAddressTest, StartOnAPortInUseFails) {
    zutest::TestHost host;
    FakeMediaCallback cb;
    auto first = MediaServer::Create(&cb);
    ASSERT_TRUE(first->Start(0));
    auto second = MediaServer::Create(&cb);
    EXPECT_FALSE(second->Start(first->Port()));
}

}  // namespace
