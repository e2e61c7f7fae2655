// zucamd records what a phone streams: the phone's record commands start and
// stop "ZuCam_recoder[<time>].mp4" in the save directory, and FFmpeg's own
// tools must find in the file what every recording promises: H.264 at a 25
// pictures/s time base with a key picture every 50, 44.1 kHz mono AAC, both
// streams as long as the recording and starting together, and a file that
// plays, also when the phone vanishes halfway.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "tests/devices/audio-test-support.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"
#include "tests/tools/zucamd/media-probe.h"

namespace {

constexpr int kRecordRate = 44100;
constexpr int kToneHz = 1000;
// phone-sim's default --tone-level is -6 dBFS.
const double kTonePeak = 32767.0 * std::pow(10.0, -6.0 / 20.0);
constexpr int kGop = 50;
constexpr int kPhoneLimitMs = 90000;
constexpr int kLogLimitMs = 20000;

// FFmpeg's AAC encoder holds back `initial_padding` samples (its priming
// delay) and stamps every packet with its frame's pts minus that delay. Asked
// of the very encoder the recorder uses, so the check below follows FFmpeg.
int AacEncoderDelay() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        return -1;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    if (!c)
        return -1;
    av_channel_layout_default(&c->ch_layout, 1);
    c->sample_rate = kRecordRate;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->time_base = AVRational{1, kRecordRate};
    int delay = avcodec_open2(c, codec, nullptr) == 0 ? c->initial_padding : -1;
    avcodec_free_context(&c);
    return delay;
}

class ZucamdRecordTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(e2e::StartZucamd(&zucamd_, dir_)) << ZucamdLog(); }

    void TearDown() override {
        if (zucamd_.running()) {
            EXPECT_EQ(zucamd_.stop(20000), 0) << ZucamdLog();
        }
    }

    std::vector<std::string> Phone(const std::vector<std::string>& options) const {
        return e2e::PhoneSim(10080, options);
    }

    // Runs the phone to its end; its exit code.
    int RunPhone(const std::vector<std::string>& options) {
        platform::ChildProcess phone;
        if (!e2e::Start(&phone, dir_, "phone", Phone(options)))
            return -1;
        return phone.wait(kPhoneLimitMs);
    }

    std::string ZucamdLog() const { return e2e::ReadText(e2e::ZucamdLog(dir_)); }
    std::string PhoneOutput() const { return e2e::ReadText(dir_.file("phone.out")); }

    // The one recording in the save directory, or "" (with a failure) when
    // there is none or more than one.
    std::string OnlyRecording() const {
        std::vector<std::string> files = e2e::FilesStartingWith(dir_.path(), "ZuCam_recoder[");
        EXPECT_EQ(files.size(), 1u) << ZucamdLog();
        return files.size() == 1 ? files[0] : std::string();
    }

    // Parses the file and checks it plays cleanly to the end.
    void ProbePlayable(const std::string& path, e2e::ProbedFile* probed) const {
        std::string error;
        ASSERT_TRUE(e2e::ProbeFile(path, probed, &error)) << error;
        int exitCode = -1;
        EXPECT_EQ(e2e::DecodeComplaints(path, &exitCode), "");
        EXPECT_EQ(exitCode, 0);
    }

    zutest::TempDir dir_;
    platform::ChildProcess zucamd_;
};

void ExpectGopOf50(const std::vector<e2e::ProbedPacket>& video) {
    std::vector<size_t> keys = e2e::KeyPacketPositions(video);
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys.front(), 0u) << "the recording must open with a key picture";
    for (size_t i = 1; i < keys.size(); ++i)
        EXPECT_EQ(keys[i] - keys[i - 1], static_cast<size_t>(kGop)) << "key packet " << i;
}

// The 25 pictures/s time base survives the MP4 muxer as any time base with a
// whole number of ticks per picture (FFmpeg makes 1/25 into 1/12800).
void ExpectTimeBaseOf25PerSecond(const e2e::ProbedStream& video) {
    EXPECT_EQ(video.timeBaseNum, 1);
    EXPECT_EQ(video.timeBaseDen % 25, 0) << "time base 1/" << video.timeBaseDen;
}

// Pictures arrive at the phone's pace: a gap far beyond one picture time
// means pictures were lost between the decoder and the file.
double LongestGapSeconds(const e2e::ProbedStream& stream,
                         const std::vector<e2e::ProbedPacket>& packets) {
    double longest = 0;
    for (size_t i = 1; i < packets.size(); ++i) {
        longest = std::max(longest, e2e::Seconds(packets[i].pts - packets[i - 1].pts, stream));
    }
    return longest;
}

TEST_F(ZucamdRecordTest, PhoneCommandsRecordH264AndAacAsPromised) {
    ASSERT_EQ(RunPhone({"--pattern", "640x360@30", "--tone", std::to_string(kToneHz), "--rate",
                        std::to_string(kRecordRate), "--channels", "2", "--duration", "13",
                        "--command", "record-start@1", "--command", "record-query@6", "--command",
                        "record-stop@11", "--command", "record-query@12"}),
              0)
        << e2e::ReadText(dir_.file("phone.err"));
    // Both queries are answered from the recording state of the moment.
    const std::string replies = PhoneOutput();
    EXPECT_EQ(e2e::CountOf(replies, "record-query: accepted, state 1 (recording)"), 1) << replies;
    EXPECT_EQ(e2e::CountOf(replies, "record-query: accepted, state 0 (not recording)"), 1)
        << replies;
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "recording finished", kLogLimitMs));

    const std::string path = OnlyRecording();
    ASSERT_FALSE(path.empty());
    e2e::ProbedFile probed;
    ASSERT_NO_FATAL_FAILURE(ProbePlayable(path, &probed));
    ASSERT_EQ(probed.streams.size(), 2u);
    const e2e::ProbedStream* video = probed.Stream("video");
    const e2e::ProbedStream* audio = probed.Stream("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->codec, "h264");
    EXPECT_EQ(audio->codec, "aac");
    EXPECT_EQ(audio->sampleRate, kRecordRate);
    EXPECT_EQ(audio->channels, 1);
    ExpectTimeBaseOf25PerSecond(*video);

    const std::vector<e2e::ProbedPacket> v = probed.PacketsOf(*video);
    const std::vector<e2e::ProbedPacket> a = probed.PacketsOf(*audio);
    ASSERT_FALSE(v.empty());
    ASSERT_FALSE(a.empty());
    ExpectGopOf50(v);
    // Recorded from the start command (1 s) to the stop command (11 s).
    EXPECT_NEAR(e2e::SpanSeconds(*video, v), 10.0, 1.0);
    EXPECT_NEAR(e2e::SpanSeconds(*audio, a), 10.0, 1.0);
    EXPECT_NEAR(e2e::StartSeconds(*video, v), e2e::StartSeconds(*audio, a), 0.1);

    // The first frame handed to the AAC encoder is stamped 1024 (its own
    // length); ffprobe shows its packet at 1024 minus the encoder's delay.
    const int delay = AacEncoderDelay();
    ASSERT_GE(delay, 0);
    EXPECT_EQ(audio->timeBaseDen, kRecordRate);
    EXPECT_EQ(a.front().pts + delay, 1024) << "first AAC packet at pts " << a.front().pts;
    // A fragment stores no duration for its first sample; the ones after
    // show every AAC packet's 1024 samples.
    ASSERT_GE(a.size(), 2u);
    EXPECT_EQ(a[1].pts - a[0].pts, 1024);
    EXPECT_EQ(a[1].duration, 1024);

    // The phone's 44.1 kHz stereo tone comes out as the same tone in mono.
    std::vector<int16_t> pcm;
    ASSERT_TRUE(e2e::DecodeAudioMono(path, kRecordRate, dir_.file("recorded.raw"), &pcm));
    ASSERT_GE(pcm.size(), static_cast<size_t>(9 * kRecordRate));
    zutest::ToneMeasure tone = zutest::MeasureTone(pcm, kRecordRate, 9 * kRecordRate, kRecordRate);
    EXPECT_NEAR(tone.frequency, kToneHz, 2.0);
    EXPECT_NEAR(tone.peak, kTonePeak, kTonePeak * 0.05);
    EXPECT_NEAR(tone.rms, kTonePeak / std::sqrt(2.0), kTonePeak * 0.05);
}

// A phone without a microphone sends pictures only: the recording holds the
// pictures for the whole time, with no picture lost waiting for sound that
// never comes, and a silent sound track as long as the pictures.
TEST_F(ZucamdRecordTest, RecordingWithoutPhoneAudioHasSilenceForItsWholeLength) {
    ASSERT_EQ(RunPhone({"--pattern", "640x360@30", "--duration", "13", "--command",
                        "record-start@1", "--command", "record-stop@11"}),
              0)
        << e2e::ReadText(dir_.file("phone.err"));
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "recording finished", kLogLimitMs));

    const std::string path = OnlyRecording();
    ASSERT_FALSE(path.empty());
    e2e::ProbedFile probed;
    ASSERT_NO_FATAL_FAILURE(ProbePlayable(path, &probed));
    ASSERT_EQ(probed.streams.size(), 2u);
    const e2e::ProbedStream* video = probed.Stream("video");
    const e2e::ProbedStream* audio = probed.Stream("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->codec, "h264");
    ExpectTimeBaseOf25PerSecond(*video);
    const std::vector<e2e::ProbedPacket> v = probed.PacketsOf(*video);
    const std::vector<e2e::ProbedPacket> a = probed.PacketsOf(*audio);
    ExpectGopOf50(v);
    EXPECT_NEAR(e2e::SpanSeconds(*video, v), 10.0, 1.0);
    EXPECT_LT(LongestGapSeconds(*video, v), 0.5);
    // About 30 pictures a second for 10 s reach the file.
    EXPECT_GE(v.size(), 200u);
    EXPECT_EQ(e2e::CountOf(ZucamdLog(), "recording dropped"), 0) << ZucamdLog();

    // The sound track follows the pictures from start to end, and is silent.
    ASSERT_FALSE(a.empty());
    EXPECT_NEAR(e2e::SpanSeconds(*audio, a), e2e::SpanSeconds(*video, v), 0.5);
    EXPECT_LT(LongestGapSeconds(*audio, a), 0.1);
    std::vector<int16_t> pcm;
    ASSERT_TRUE(e2e::DecodeAudioMono(path, kRecordRate, dir_.file("recorded.raw"), &pcm));
    ASSERT_GE(pcm.size(), static_cast<size_t>(9 * kRecordRate));
    int peak = 0;
    for (int16_t sample : pcm)
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    EXPECT_EQ(peak, 0);
}

// The phone goes away while recording, with or without closing its stream:
// zucamd stops the recording itself and leaves a complete, playable file.
class ZucamdRecordDisconnectTest : public ZucamdRecordTest,
                                   public ::testing::WithParamInterface<bool> {};

TEST_P(ZucamdRecordDisconnectTest, RecordingEndsCleanlyWhenThePhoneGoes) {
    const bool killed = GetParam();
    platform::ChildProcess phone;
    ASSERT_TRUE(
        e2e::Start(&phone, dir_, "phone",
                   Phone({"--pattern", "640x360@30", "--tone", std::to_string(kToneHz), "--rate",
                          std::to_string(kRecordRate), "--channels", "2", "--duration",
                          killed ? "60" : "6", "--command", "record-start@1"})));
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "recording to", kLogLimitMs)) << ZucamdLog();
    if (killed) {
        std::this_thread::sleep_for(std::chrono::seconds(5));
        ASSERT_TRUE(phone.signal(true));
    }
    EXPECT_NE(phone.wait(kPhoneLimitMs), -1);
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "recording finished", kLogLimitMs))
        << ZucamdLog();

    const std::string path = OnlyRecording();
    ASSERT_FALSE(path.empty());
    e2e::ProbedFile probed;
    ASSERT_NO_FATAL_FAILURE(ProbePlayable(path, &probed));
    const e2e::ProbedStream* video = probed.Stream("video");
    const e2e::ProbedStream* audio = probed.Stream("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    const std::vector<e2e::ProbedPacket> v = probed.PacketsOf(*video);
    const std::vector<e2e::ProbedPacket> a = probed.PacketsOf(*audio);
    EXPECT_NEAR(e2e::SpanSeconds(*video, v), 5.0, 1.0);
    EXPECT_NEAR(e2e::SpanSeconds(*audio, a), e2e::SpanSeconds(*video, v), 0.5);
    // zucamd waits for the next phone and keeps working.
    EXPECT_TRUE(zucamd_.running());
}

INSTANTIATE_TEST_SUITE_P(Ways, ZucamdRecordDisconnectTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("PhoneKilled")
                                               : std::string("StreamEnded");
                         });

}  // namespace
