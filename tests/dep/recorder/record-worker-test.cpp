#include "dep/QtComponent/recorder/record-worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "dep/QtComponent/recorder/ffmpeg-recorder.h"
#include "tests/dep/recorder/recorder-test-util.h"
#include "tests/support/test-host.h"

namespace {

using Clock = std::chrono::steady_clock;

RecordParams Params(const std::string& path) {
    RecordParams p;
    p.path = path;
    p.width = 160;
    p.height = 120;
    return p;
}

TEST(FrameQueueTest, DropOldestKeepsTheNewest) {
    FrameQueue q(3);
    for (int i = 0; i < 5; ++i)
        q.pushDropOldest(rectest::Picture(16, 16, i, i));
    EXPECT_EQ(q.size(), 3u);
    FrameHolder f;
    ASSERT_TRUE(q.pop(&f, std::chrono::milliseconds(0)));
    EXPECT_EQ(f.get()->pts, 2);
}

TEST(FrameQueueTest, WaitThenDropGivesUpAfterTheLimit) {
    FrameQueue q(2);
    EXPECT_FALSE(q.pushWaitThenDrop(rectest::Picture(16, 16, 0, 0), std::chrono::milliseconds(50)));
    EXPECT_FALSE(q.pushWaitThenDrop(rectest::Picture(16, 16, 1, 1), std::chrono::milliseconds(50)));
    auto t0 = Clock::now();
    EXPECT_TRUE(q.pushWaitThenDrop(rectest::Picture(16, 16, 2, 2), std::chrono::milliseconds(50)));
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(45));
    FrameHolder f;
    ASSERT_TRUE(q.pop(&f, std::chrono::milliseconds(0)));
    EXPECT_EQ(f.get()->pts, 1);
}

TEST(FrameQueueTest, PushWaitsForRoomMadeByAConsumer) {
    FrameQueue q(1);
    q.pushDropOldest(rectest::Picture(16, 16, 0, 0));
    auto consumer = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        FrameHolder f;
        return q.pop(&f, std::chrono::milliseconds(100));
    });
    EXPECT_FALSE(q.pushWaitThenDrop(rectest::Picture(16, 16, 1, 1), std::chrono::seconds(5)));
    EXPECT_TRUE(consumer.get());
}

TEST(FrameQueueTest, PopTimesOutOnEmpty) {
    FrameQueue q(1);
    FrameHolder f;
    EXPECT_FALSE(q.pop(&f, std::chrono::milliseconds(5)));
}

// Audio keeps arriving while video has stalled: the audio thread waits for
// the video clock, its queue fills, and pushAudio must still return.
TEST(RecordWorkerTest, StalledVideoNeverBlocksTheAudioProducer) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    ASSERT_TRUE(recorder.open(Params(host.dir() + "/stall.mp4")));
    RecordWorker worker(&recorder);
    worker.start();
    auto producer = std::async(std::launch::async, [&] {
        for (size_t i = 0; i < RecordWorker::kAudioQueueCapacity + 60; ++i) {
            worker.pushAudio(rectest::Tone(48000, 1, 960, static_cast<int64_t>(i) * 960));
        }
    });
    ASSERT_EQ(producer.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_GT(worker.droppedAudio(), 0u);
    EXPECT_EQ(host.count("dropping the oldest audio"), 1);

    auto stopper = std::async(std::launch::async, [&] { worker.stop(); });
    EXPECT_EQ(stopper.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    recorder.close();
}

TEST(RecordWorkerTest, StopWithFullQueuesReturns) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    ASSERT_TRUE(recorder.open(Params(host.dir() + "/full.mp4")));
    RecordWorker worker(&recorder);
    worker.start();
    for (int i = 0; i < 40; ++i)
        worker.pushVideo(rectest::Picture(160, 120, i, i * 40000LL));
    for (int i = 0; i < 200; ++i) {
        worker.pushAudio(rectest::Tone(44100, 1, 441, static_cast<int64_t>(i) * 441));
    }
    auto stopper = std::async(std::launch::async, [&] { worker.stop(); });
    ASSERT_EQ(stopper.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    recorder.close();
}

// A phone that sends no sound never moves the audio clock: the pictures must
// still be recorded, not held back (and dropped) waiting for it.
TEST(RecordWorkerTest, SilentPhoneStillRecordsEveryPicture) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    const std::string path = host.dir() + "/silent.mp4";
    ASSERT_TRUE(recorder.open(Params(path)));
    ASSERT_NE(recorder.audioContext(), nullptr);
    RecordWorker worker(&recorder);
    worker.start();
    // Four seconds of pictures, fed a little faster than real time but never
    // faster than the queue can hold.
    for (int i = 0; i < 100; ++i) {
        worker.pushVideo(rectest::Picture(160, 120, i, i * 40000LL));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.stop();
    EXPECT_EQ(worker.droppedVideo(), 0u);
    recorder.close();
    std::vector<rectest::StreamInfo> streams = rectest::Probe(path);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0].packets, 100);
}

// Sound that starts late lands at its own time: the sound track holds
// silence up to the pictures it came with, so it ends with the pictures.
TEST(RecordWorkerTest, LateSoundFollowsSilenceUpToThePictures) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    const std::string path = host.dir() + "/late-sound.mp4";
    ASSERT_TRUE(recorder.open(Params(path)));
    RecordWorker worker(&recorder);
    worker.start();
    int picture = 0;
    const auto pictures = [&](int until) {
        for (; picture < until; ++picture) {
            worker.pushVideo(rectest::Picture(160, 120, picture, picture * 40000LL));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    // Four seconds of pictures without sound: silence follows them.
    pictures(100);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (worker.audioClockUs() < 3500000 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(worker.audioClockUs(), 3500000);
    // Then one second of sound with one more second of pictures.
    for (int block = 0; block < 44; ++block)
        worker.pushAudio(rectest::Tone(44100, 1, 1000, block * 1000LL));
    pictures(125);
    worker.stop();
    recorder.close();

    std::vector<rectest::StreamInfo> streams = rectest::Probe(path);
    ASSERT_EQ(streams.size(), 2u);
    const rectest::StreamInfo& video = streams[0];
    const rectest::StreamInfo& audio = streams[1];
    ASSERT_EQ(audio.type, AVMEDIA_TYPE_AUDIO);
    const double videoEnd = av_q2d(video.timeBase) * static_cast<double>(video.endPts);
    const double audioEnd = av_q2d(audio.timeBase) * static_cast<double>(audio.endPts);
    EXPECT_NEAR(videoEnd, 5.0, 0.1);
    // Without the silence the sound would be one second long.
    EXPECT_NEAR(audioEnd, videoEnd, 0.3);
    EXPECT_GE(audio.packets, 200);
}

TEST(RecordWorkerTest, PushesBeforeStartOrAfterStopAreIgnored) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    const std::string path = host.dir() + "/ignored.mp4";
    ASSERT_TRUE(recorder.open(Params(path)));
    RecordWorker worker(&recorder);
    worker.pushVideo(rectest::Picture(160, 120, 0, 0));
    worker.start();
    worker.pushVideo(rectest::Picture(160, 120, 1, 0));
    worker.pushVideo(rectest::Picture(160, 120, 2, 40000));
    worker.stop();
    worker.pushVideo(rectest::Picture(160, 120, 3, 80000));
    recorder.close();
    std::vector<rectest::StreamInfo> streams = rectest::Probe(path);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0].packets, 2);
}

TEST(RecordWorkerTest, PicturesOfAnotherSizeAreScaledToTheRecordingSize) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    RecordParams params = Params(host.dir() + "/scaled.mp4");
    params.withAudio = false;
    ASSERT_TRUE(recorder.open(params));
    RecordWorker worker(&recorder);
    worker.start();
    for (int i = 0; i < 5; ++i)
        worker.pushVideo(rectest::Picture(320, 200, i, i * 40000LL));
    worker.stop();
    EXPECT_FALSE(worker.videoFailed());
    recorder.close();
    std::vector<rectest::StreamInfo> streams = rectest::Probe(params.path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].packets, 5);
}

}  // namespace
