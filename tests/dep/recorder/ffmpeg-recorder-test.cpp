#include "dep/QtComponent/recorder/ffmpeg-recorder.h"

#include <gtest/gtest.h>

#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "dep/QtComponent/recorder/record-worker.h"
#include "platform/files.h"
#include "tests/dep/recorder/recorder-test-util.h"
#include "tests/support/test-host.h"

namespace {

RecordParams Params(const std::string& path) {
    RecordParams p;
    p.path = path;
    p.width = 320;
    p.height = 240;
    return p;
}

std::string PrivOption(AVCodecContext* c, const char* name) {
    uint8_t* value = nullptr;
    if (av_opt_get(c->priv_data, name, 0, &value) < 0 || !value)
        return "";
    std::string s(reinterpret_cast<char*>(value));
    av_free(value);
    return s;
}

// What the worker dropped from full queues: on a busy machine the encoders
// fall behind, and the worker sheds the oldest pictures (and, after a wait,
// audio blocks) rather than hold up the phone.
struct Dropped {
    int pictures = 0;
    int audioBlocks = 0;
};

// Feeds `seconds` of 25 fps pictures and 44.1 kHz stereo audio in 20 ms blocks,
// interleaved as a phone delivers them, then stops the worker.
Dropped Record(FFmpegRecorder* recorder, RecordParams params, double seconds, bool withAudio) {
    RecordWorker worker(recorder);
    worker.start();
    const int blocks = static_cast<int>(seconds * 50);
    for (int b = 0; b < blocks; ++b) {
        int64_t us = static_cast<int64_t>(b) * 20000;
        if (b % 2 == 0) {
            worker.pushVideo(rectest::Picture(params.width, params.height, b / 2, us));
        }
        if (withAudio)
            worker.pushAudio(rectest::Tone(44100, 2, 882, static_cast<int64_t>(b) * 882));
        // Keep the queues from overflowing: real time is not needed, order is.
        if (b % 10 == 9)
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    worker.stop();
    EXPECT_FALSE(worker.videoFailed());
    EXPECT_FALSE(worker.audioFailed());
    return {static_cast<int>(worker.droppedVideo()), static_cast<int>(worker.droppedAudio())};
}

TEST(FFmpegRecorderTest, SoftwareEncoderIsTunedForLatencyWithGopOfTwoSeconds) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    ASSERT_TRUE(recorder.open(Params(host.dir() + "/a.mp4")));
    AVCodecContext* v = recorder.videoContext();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->gop_size, 50);
    EXPECT_EQ(v->time_base.num, 1);
    EXPECT_EQ(v->time_base.den, 25);
    EXPECT_EQ(v->max_b_frames, 0);
    EXPECT_EQ(PrivOption(v, "preset"), "ultrafast");
    EXPECT_EQ(PrivOption(v, "tune"), "zerolatency");
    ASSERT_NE(recorder.audioContext(), nullptr);
    EXPECT_EQ(recorder.audioContext()->sample_fmt, AV_SAMPLE_FMT_FLTP);
    recorder.close();
}

TEST(FFmpegRecorderTest, RecordsPlayableH264AndAacOfTheRightLength) {
    zutest::TestHost host;
    const std::string path = host.dir() + "/rec.mp4";
    FFmpegRecorder recorder;
    RecordParams params = Params(path);
    ASSERT_TRUE(recorder.open(params));
    const Dropped dropped = Record(&recorder, params, 3.0, true);
    recorder.close();

    std::vector<rectest::StreamInfo> streams = rectest::Probe(path);
    ASSERT_EQ(streams.size(), 2u);
    const rectest::StreamInfo& video = streams[0];
    const rectest::StreamInfo& audio = streams[1];
    EXPECT_EQ(video.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(audio.codec, AV_CODEC_ID_AAC);
    // Every picture is written or counted as dropped; the newest always stays.
    EXPECT_EQ(video.packets + dropped.pictures, 75);
    EXPECT_GE(video.packets, 1);
    EXPECT_NEAR(rectest::Seconds(video.endPts, video.timeBase), 3.0, 0.05);
    // The last picture is written with one frame's duration: 40 ms at 25 fps.
    EXPECT_NEAR(rectest::Seconds(video.lastDuration, video.timeBase), 0.040, 0.001);
    // The sound is as long as the blocks that were kept.
    EXPECT_NEAR(rectest::Seconds(audio.endPts, audio.timeBase), 3.0 - 0.02 * dropped.audioBlocks,
                0.1);
    EXPECT_NEAR(rectest::Seconds(video.firstPts, video.timeBase),
                rectest::Seconds(audio.firstPts, audio.timeBase), 0.1);
}

TEST(FFmpegRecorderTest, RecordingWithoutAudioHasOnlyVideo) {
    zutest::TestHost host;
    const std::string path = host.dir() + "/video-only.mp4";
    FFmpegRecorder recorder;
    RecordParams params = Params(path);
    params.withAudio = false;
    ASSERT_TRUE(recorder.open(params));
    EXPECT_EQ(recorder.audioContext(), nullptr);
    {
        RecordWorker worker(&recorder);
        EXPECT_TRUE(worker.hasVideo());
        EXPECT_FALSE(worker.hasAudio());
    }
    const Dropped dropped = Record(&recorder, params, 1.0, false);
    recorder.close();
    std::vector<rectest::StreamInfo> streams = rectest::Probe(path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].codec, AV_CODEC_ID_H264);
    EXPECT_EQ(streams[0].packets + dropped.pictures, 25);
    EXPECT_GE(streams[0].packets, 1);
}

TEST(FFmpegRecorderTest, OpenFailuresLeaveNothingOpen) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    EXPECT_FALSE(recorder.open(Params(host.dir() + "/missing-dir/x.mp4")));
    EXPECT_TRUE(host.contains("Could not open"));
    EXPECT_EQ(recorder.videoContext(), nullptr);

    RecordParams noSize = Params(host.dir() + "/nosize.mp4");
    noSize.width = 0;
    EXPECT_FALSE(recorder.open(noSize));

    EXPECT_FALSE(recorder.open(Params(host.dir() + "/x.unknownextension")));
    EXPECT_TRUE(host.contains("avformat_alloc_output_context2 fail"));
    recorder.close();
    recorder.close();
}

// A save folder everybody may write to, where someone planted a link under
// the recording's name: the recording becomes a file of its own there, and
// the file the link names keeps every byte.
TEST(FFmpegRecorderTest, APlantedLinkNeitherTakesNorTruncatesTheRecording) {
    zutest::TestHost host;
    namespace fs = std::filesystem;
    const std::string shared = host.dir() + "/shared";
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::all);
    const std::string victim = host.dir() + "/victim";
    ASSERT_EQ(platform::WriteWholeFile(victim, "precious"), 8);
    const std::string path = shared + "/ZuCam_recoder[20260101120000].mp4";
    fs::create_symlink(victim, path);

    FFmpegRecorder recorder;
    RecordParams params = Params(path);
    params.withAudio = false;
    ASSERT_TRUE(recorder.open(params));
    Record(&recorder, params, 0.4, false);
    recorder.close();

    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(victim, &text));
    EXPECT_EQ(text, "precious");
    EXPECT_FALSE(fs::is_symlink(path));
    std::vector<rectest::StreamInfo> streams = rectest::Probe(path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].codec, AV_CODEC_ID_H264);
}

TEST(FFmpegRecorderTest, FirstAudioFrameIsStampedWithItsOwnLength) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    RecordParams params = Params(host.dir() + "/pts.mp4");
    ASSERT_TRUE(recorder.open(params));
    AudioEncoder encoder(&recorder);
    EXPECT_EQ(encoder.clockUs(), 0);
    // 1024 samples after resampling from 44.1 kHz stereo: a little more in,
    // since the resampler holds a few samples back.
    encoder.encode(rectest::Tone(44100, 2, 1100, 0));
    EXPECT_EQ(encoder.clockUs(), 1024LL * 1000000 / 44100);
    EXPECT_TRUE(encoder.flush());
    recorder.close();
}

}  // namespace
