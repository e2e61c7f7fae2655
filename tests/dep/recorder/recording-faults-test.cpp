// A phone that sends the largest audio blocks it may while no picture comes.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "dep/QtComponent/recorder/ffmpeg-recorder.h"
#include "dep/QtComponent/recorder/record-worker.h"
#include "tests/dep/recorder/recorder-test-util.h"
#include "tests/support/test-host.h"

namespace {

// A second at 192 kHz and 8 channels is 3 MB a block; the audio waits for
// the video clock, and what it holds meanwhile stays bounded. Pushes never
// wait for room.
TEST(RecordingFaultsTest, AudioWaitingForVideoHoldsBoundedMemory) {
    zutest::TestHost host;
    FFmpegRecorder recorder;
    RecordParams params;
    params.path = host.dir() + "/big-audio.mp4";
    params.width = 320;
    params.height = 240;
    ASSERT_TRUE(recorder.open(params));
    RecordWorker worker(&recorder);
    worker.start();
    const FrameHolder block = rectest::Tone(192000, 8, 192000, 0);
    const size_t blockBytes = FrameQueue::FrameBytes(block);
    ASSERT_GE(blockBytes, 192000u * 8 * 2);
    const size_t fit = RecordWorker::kAudioQueueByteLimit / blockBytes;
    auto producer = std::async(std::launch::async, [&] {
        for (size_t i = 0; i < 2 * fit; ++i)
            worker.pushAudio(block);
    });
    ASSERT_EQ(producer.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    // At most the limit's worth is queued; the encoder may have taken a block.
    EXPECT_GE(worker.droppedAudio(), fit - 1);
    EXPECT_EQ(host.count("dropping the newest audio"), 1);
    worker.stop();
    recorder.close();
}

}  // namespace
