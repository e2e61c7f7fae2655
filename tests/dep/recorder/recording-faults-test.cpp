// What is left of a recording that does not end normally: the process dies
// before the file is closed, or the disk refuses to take more.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "dep/QtComponent/recorder/ffmpeg-recorder.h"
#include "dep/QtComponent/recorder/record-worker.h"
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

// `seconds` of 25 fps pictures and 44.1 kHz stereo in 20 ms blocks; the
// worker keeps running.
void Feed(RecordWorker* worker, double seconds) {
    const int blocks = static_cast<int>(seconds * 50);
    for (int b = 0; b < blocks; ++b) {
        if (b % 2 == 0)
            worker->pushVideo(rectest::Picture(320, 240, b / 2, static_cast<int64_t>(b) * 20000));
        worker->pushAudio(rectest::Tone(44100, 2, 882, static_cast<int64_t>(b) * 882));
        if (b % 10 == 9)
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
}

// The file as a kill -9 would leave it: everything written so far, never
// closed. It plays up to its last complete fragment (a second at most).
TEST(RecordingFaultsTest, FileThatIsNeverClosedPlaysUpToItsLastFragment) {
    zutest::TestHost host;
    const std::string path = host.dir() + "/cut.mp4";
    FFmpegRecorder recorder;
    ASSERT_TRUE(recorder.open(Params(path)));
    RecordWorker worker(&recorder);
    worker.start();
    Feed(&worker, 4.0);
    worker.stop();
    const std::string copy = host.dir() + "/cut-copy.mp4";
    std::filesystem::copy_file(path, copy);
    recorder.close();

    std::vector<rectest::StreamInfo> streams = rectest::Probe(copy);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].codec, AV_CODEC_ID_H264);
    EXPECT_GE(streams[0].packets + static_cast<int>(worker.droppedVideo()), 75);
    EXPECT_GE(streams[1].packets, 1);
}

// Audio no microphone sends (1 Hz) never reaches the encoder: it would have
// become 44,100 samples for every sample that came in.
TEST(RecordingFaultsTest, AudioAtAbsurdRatesIsIgnored) {
    zutest::TestHost host;
    const std::string path = host.dir() + "/absurd.mp4";
    FFmpegRecorder recorder;
    ASSERT_TRUE(recorder.open(Params(path)));
    {
        RecordWorker worker(&recorder);
        worker.start();
        for (int i = 0; i < 10; ++i) {
            worker.pushVideo(rectest::Picture(320, 240, i, i * 40000));
            worker.pushAudio(rectest::Tone(1, 2, 960, 0));
            worker.pushAudio(rectest::Tone(48000, 9, 960, 0));
            worker.pushAudio(rectest::Tone(8000, 1, 8001, 0));  // over a second
        }
        worker.stop();
        EXPECT_EQ(worker.droppedAudio(), 0u);
    }
    recorder.close();
    std::vector<rectest::StreamInfo> streams = rectest::Probe(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[1].packets, 0);
}

// The largest blocks a phone may send (a second at 192 kHz, 8 channels: 3 MB
// each) while no picture comes: the audio waits for the video clock, and
// what it holds meanwhile stays bounded; pushes never wait for room.
TEST(RecordingFaultsTest, AudioWaitingForVideoHoldsBoundedMemory) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    ASSERT_TRUE(recorder.open(Params(host.dir() + "/big-audio.mp4")));
    RecordWorker worker(&recorder);
    worker.start();
    const FrameHolder block = rectest::Tone(192000, 8, 192000, 0);
    const size_t blockBytes = FrameQueue::FrameBytes(block);
    ASSERT_GE(blockBytes, 192000u * 8 * 2);
    const size_t blocks = 2 * RecordWorker::kAudioQueueByteLimit / blockBytes;
    auto producer = std::async(std::launch::async, [&] {
        for (size_t i = 0; i < blocks; ++i)
            worker.pushAudio(block);
    });
    ASSERT_EQ(producer.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    // At most the limit's worth is queued; the encoder may have taken a block.
    EXPECT_GE(worker.droppedAudio(), blocks - RecordWorker::kAudioQueueByteLimit / blockBytes - 1);
    EXPECT_EQ(host.count("dropping the newest audio"), 1);
    worker.stop();
    recorder.close();
}

}  // namespace
