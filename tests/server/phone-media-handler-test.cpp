#include "server/phone-media-handler.h"

#include <gtest/gtest.h>

#include <string>

extern "C" {
#include <libavutil/frame.h>
}

#include "tests/server/fake-media-callback.h"
#include "tests/support/test-host.h"

namespace {

constexpr const char* kDropped = "phone audio dropped";

// One 3840-byte block, as a phone sends 20 ms of 48 kHz stereo.
const std::string kBlock(3840, '\x01');

void Push(PhoneMediaHandler* h, servertest::FakeMediaCallback* cb, unsigned rate, unsigned channels,
          const std::string& block = kBlock) {
    h->OnAudio(block.data(), static_cast<unsigned>(block.size()), rate, channels, 16, cb);
}

// A rate of 1 Hz would make the 48 kHz microphone resampler turn every input
// sample into 48,000: such packets, every rate or channel count no real
// microphone has, and packets of more than a second never become frames.
TEST(PhoneMediaHandlerAudioTest, AudioOutsideTheLimitsIsDropped) {
    zutest::TestHost host;
    PhoneMediaHandler handler;
    servertest::FakeMediaCallback cb;
    const unsigned bad[][2] = {{1, 2},     {7999, 1},  {192001, 2}, {4000000000u, 2},
                               {48000, 0}, {48000, 9}, {0, 1}};
    for (const auto& p : bad)
        Push(&handler, &cb, p[0], p[1]);
    Push(&handler, &cb, 8000, 1, std::string(16002, '\0'));
    EXPECT_TRUE(cb.audio().empty());
    Push(&handler, &cb, 8000, 1, std::string(16000, '\0'));
    Push(&handler, &cb, 192000, 8);
    ASSERT_EQ(cb.audio().size(), 2u);
    EXPECT_EQ(cb.audio()[0].get()->nb_samples, 8000);
    EXPECT_EQ(cb.audio()[1].get()->ch_layout.nb_channels, 8);
}

// One warning per connection, however many packets are dropped; a new
// connection (a new decoder start) warns again. Other sample sizes stay
// silent, as before.
TEST(PhoneMediaHandlerAudioTest, DropsAreLoggedOncePerConnection) {
    zutest::TestHost host;
    PhoneMediaHandler handler;
    servertest::FakeMediaCallback cb;
    handler.OnAudio(kBlock.data(), 3840, 1, 2, 8, &cb);
    EXPECT_EQ(host.count(kDropped), 0);
    for (int i = 0; i < 50; ++i)
        Push(&handler, &cb, 1, 2);
    EXPECT_EQ(host.count(kDropped), 1);
    EXPECT_TRUE(host.contains("phone audio dropped: 1 Hz, 2 channels, 3840 bytes"));
    handler.SetDeviceTypes({});  // software: no hardware probing here
    handler.StartDecoder(nullptr);
    handler.StopDecoder();
    Push(&handler, &cb, 1, 2);
    EXPECT_EQ(host.count(kDropped), 2);
}

}  // namespace
