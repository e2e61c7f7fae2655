#include "dep/QtComponent/media-socket/udp-data-listener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/stderr-capture.h"
#include "tests/dep/media-socket/test-peer.h"
#include "tests/support/test-host.h"
#include "zup2p/zup2p.h"

namespace media_socket {
namespace {

using mstest::AudioPacket;
using mstest::Be32;
using mstest::TokenPacket;
using mstest::VideoPacket;

class UDPDataListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_.clear();
        listener_.SetVideoCallback([this](const char* d, unsigned n, unsigned kind) {
            std::lock_guard<std::mutex> lock(mutex_);
            media_.push_back("v" + std::to_string(kind) + ":" + std::string(d, n));
        });
        listener_.SetAudioCallback(
            [this](const char* d, unsigned n, unsigned rate, unsigned ch, unsigned bits) {
                std::lock_guard<std::mutex> lock(mutex_);
                media_.push_back("a" + std::to_string(rate) + "/" + std::to_string(ch) + "/" +
                                 std::to_string(bits) + ":" + std::string(d, n));
            });
        listener_.SetCloseFunction([this] { ++closes_; });
        listener_.onConnected(100, "127.0.0.1,5000");  // the phone
    }

    void Binary(const std::string& bytes) {
        listener_.onBinary(100, 1, bytes.data(), static_cast<int>(bytes.size()));
    }
    std::vector<std::string> Media() {
        std::lock_guard<std::mutex> lock(mutex_);
        return media_;
    }

    zutest::TestHost host_;
    UDPDataListener listener_{nullptr};
    std::mutex mutex_;
    std::vector<std::string> media_;
    std::atomic<int> closes_{0};
};

TEST_F(UDPDataListenerTest, AudioPacketInMessagesOfFiveSevenAndTheRest) {
    std::string packet = AudioPacket(48000, 2, 16, mstest::Pattern(3836, 4));
    ASSERT_EQ(packet.size(), 5u + 7u + 3852u);
    Binary(packet.substr(0, 5));
    Binary(packet.substr(5, 7));
    EXPECT_TRUE(Media().empty());
    Binary(packet.substr(12));
    ASSERT_EQ(Media().size(), 1u);
    EXPECT_EQ(Media()[0], "a48000/2/16:" + mstest::Pattern(3836, 4));
    EXPECT_EQ(listener_.BufferedBytes(), 0u);
    EXPECT_EQ(closes_.load(), 0);
}

TEST_F(UDPDataListenerTest, TokenPacketsArePrintedNeverChecked) {
    platform::StderrCapture capture;
    Binary(TokenPacket("anything at all") + TokenPacket("") + VideoPacket(1, "f"));
    EXPECT_EQ(closes_.load(), 0);
    EXPECT_EQ(Media(), (std::vector<std::string>{"v1:f"}));
    EXPECT_NE(capture.stop().find("[token_packet]token='anything at all'\n"), std::string::npos);
}

// What peers say is printed into the log: escaped, cut, one line each.
TEST_F(UDPDataListenerTest, PeersTextsArePrintedAsShortPlainLines) {
    platform::StderrCapture capture;
    ASSERT_TRUE(capture.active());
    Binary(TokenPacket("key\x1b]0;t\x07\nFORGED"));
    listener_.onText(100, ("\r\x1b[2J" + std::string(5000, 'x')).c_str());
    const std::string printed = capture.stop();
    EXPECT_NE(printed.find("token='key\\x1b]0;t\\x07\\nFORGED'\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("onText='\\r\\x1b[2J" + std::string(246, 'x') + "\xE2\x80\xA6'\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find('\x1b'), std::string::npos);
    EXPECT_EQ(printed.find("\nFORGED"), std::string::npos);
}

TEST_F(UDPDataListenerTest, EmptyMessageClosesTheLink) {
    listener_.onBinary(100, 1, "", 0);
    EXPECT_EQ(closes_.load(), 1);
    EXPECT_TRUE(host_.contains("stream connection disconnected"));
}

TEST_F(UDPDataListenerTest, VideoWithTwoExpansionBytesClosesTheLink) {
    Binary(Be32(1) + Be32(2) + "xx" + Be32(1) + "p");
    EXPECT_EQ(closes_.load(), 1);
    EXPECT_TRUE(host_.contains("video packet, expand_len is 0!"));
    // Later messages of the broken stream keep asking for the close.
    Binary(VideoPacket(1, "late"));
    EXPECT_EQ(closes_.load(), 2);
    EXPECT_TRUE(Media().empty());
}

TEST_F(UDPDataListenerTest, WithoutCloseFunctionNothingHappens) {
    UDPDataListener bare(nullptr);
    int videos = 0;
    bare.SetVideoCallback([&](const char*, unsigned, unsigned) { ++videos; });
    std::string p = VideoPacket(1, "x");
    bare.onBinary(1, 1, p.data(), static_cast<int>(p.size()));
    bare.onBinary(1, 1, nullptr, 0);
    EXPECT_EQ(videos, 0);
    EXPECT_EQ(bare.BufferedBytes(), 0u);
}

// After push-play the first peer is the phone: anything another peer sends,
// a packet that would close the link included, is never looked at.
TEST_F(UDPDataListenerTest, OnlyThePhonesPeerIsHeard) {
    listener_.onConnected(101, "127.0.0.1,6000");
    const std::string bad = Be32(7) + Be32(0) + Be32(0);
    listener_.onBinary(101, 1, bad.data(), static_cast<int>(bad.size()));
    listener_.onBinary(101, 1, "", 0);
    const std::string intruder = VideoPacket(1, "intruder");
    listener_.onBinary(101, 1, intruder.data(), static_cast<int>(intruder.size()));
    Binary(VideoPacket(1, "phone"));
    EXPECT_EQ(closes_.load(), 0);
    EXPECT_EQ(Media(), (std::vector<std::string>{"v1:phone"}));
    EXPECT_EQ(listener_.PhonePeer(), 100u);

    // The phone's peer goes with half a packet sent; the next peer is the
    // phone now and starts on a clean stream.
    const std::string half = VideoPacket(1, "cut");
    Binary(half.substr(0, 10));
    listener_.onDisconnected(101, "127.0.0.1,6000");
    EXPECT_EQ(listener_.PhonePeer(), 100u);
    listener_.onDisconnected(100, "127.0.0.1,5000");
    listener_.onConnected(102, "127.0.0.1,7000");
    EXPECT_EQ(listener_.PhonePeer(), 102u);
    EXPECT_EQ(listener_.BufferedBytes(), 0u);
    const std::string again = VideoPacket(1, "back");
    listener_.onBinary(102, 1, again.data(), static_cast<int>(again.size()));
    EXPECT_EQ(Media(), (std::vector<std::string>{"v1:phone", "v1:back"}));
}

TEST_F(UDPDataListenerTest, NotificationsTolerateMissingTexts) {
    listener_.onConnected(100, nullptr);
    listener_.onDisconnected(100, "127.0.0.1,5000");
    listener_.onError(4, nullptr);
    listener_.onText(100, "hello");
    EXPECT_EQ(closes_.load(), 0);
}

TEST_F(UDPDataListenerTest, RealZup2pPeerStreamReachesTheCallbacks) {
    zu::Zup2p desktop;
    desktop.run(&listener_, 0, 100);
    ASSERT_NE(desktop.bindPort(), 0);

    struct Quiet : zu::DataListener {
        void onConnected(unsigned, const char*) override {}
        void onDisconnected(unsigned, const char*) override {}
        void onError(int, const char*) override {}
        void onText(unsigned, const char*) override {}
        void onBinary(unsigned, int, const char*, int) override {}
    } quiet;
    zu::Zup2p phone;
    phone.run(&quiet, 0, 1);
    unsigned peer = phone.makeConnection("127.0.0.1", desktop.bindPort());
    ASSERT_NE(peer, 0u);

    // A video stream cut at arbitrary points into messages of up to 1000 bytes.
    std::string stream = TokenPacket("{KEY}");
    for (unsigned i = 0; i < 20; ++i)
        stream += VideoPacket(i % 3, mstest::Pattern(5000 + i, i));
    for (size_t pos = 0; pos < stream.size();) {
        size_t n = std::min<size_t>(1 + (pos * 7919) % 1000, stream.size() - pos);
        ASSERT_TRUE(phone.sendBinary(peer, zu::kChannelData2, stream.data() + pos,
                                     static_cast<int>(n), true));
        pos += n;
    }
    ASSERT_TRUE(mstest::WaitUntil([&] { return Media().size() == 20; }, 5000));
    auto media = Media();
    for (unsigned i = 0; i < 20; ++i) {
        EXPECT_EQ(media[i], "v" + std::to_string(i % 3) + ":" + mstest::Pattern(5000 + i, i));
    }
    EXPECT_EQ(closes_.load(), 0);
    phone.stop();
    desktop.stop();
}

}  // namespace
}  // namespace media_socket
