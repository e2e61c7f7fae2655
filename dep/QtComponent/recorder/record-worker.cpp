#include "dep/QtComponent/recorder/record-worker.h"

#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "dep/QtComponent/ffmpeg/pcm-resampler.h"
#include "dep/QtComponent/recorder/ffmpeg-recorder.h"
#include "hublet/log-sink.h"

namespace {

constexpr int64_t kVideoLeadLimitUs = 2000000;
constexpr int64_t kAudioLeadLimitUs = 50000;
constexpr auto kPopWait = std::chrono::milliseconds(10);
// How far the sound may fall behind the pictures, with no sound waiting,
// before silence takes its place. Small against the muxer's interleaving:
// pictures wait in the muxer for sound of the same time.
constexpr int64_t kSilenceAfterUs = 200000;

void SleepOneMs() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

RecordWorker::RecordWorker(FFmpegRecorder* recorder)
    : recorder_(recorder), videoQueue_(kVideoQueueCapacity), audioQueue_(kAudioQueueCapacity) {
    if (AVCodecContext* v = recorder->videoContext()) {
        videoEncoder_ = std::make_unique<VideoEncoder>(recorder);
        scaler_ = std::make_unique<FrameScaler>(AV_PIX_FMT_YUV420P, v->width, v->height);
    }
    if (recorder->audioContext())
        audioEncoder_ = std::make_unique<AudioEncoder>(recorder);
}

RecordWorker::~RecordWorker() {
    // An owner that forgot stop() must not leave threads running on freed state.
    if (videoThread_.joinable() || audioThread_.joinable())
        stop();
}

void RecordWorker::start() {
    if (!stopped_.load() || videoThread_.joinable() || audioThread_.joinable())
        return;
    stopped_ = false;
    audioDropLogged_ = false;
    inSilence_ = false;
    if (videoEncoder_)
        videoThread_ = std::thread(&RecordWorker::videoLoop, this);
    if (audioEncoder_)
        audioThread_ = std::thread(&RecordWorker::audioLoop, this);
}

void RecordWorker::pushVideo(FrameHolder frame) {
    if (stopped_.load() || !videoEncoder_)
        return;
    if (videoQueue_.pushDropOldest(std::move(frame)))
        ++droppedVideo_;
}

void RecordWorker::pushAudio(FrameHolder frame) {
    if (stopped_.load() || !audioEncoder_ || !frame)
        return;
    // The encoder resamples every block to the recording's rate: a rate far
    // below it, or a block of more than a second, would make one block cost
    // unbounded memory and time.
    const AVFrame* f = frame.get();
    if (!PcmResampler::acceptsInput(f->sample_rate, f->ch_layout.nb_channels) ||
        f->nb_samples > f->sample_rate) {
        return;
    }
    if (audioQueue_.bytes() + FrameQueue::FrameBytes(frame) > kAudioQueueByteLimit) {
        ++droppedAudio_;
        if (!audioDropLogged_.exchange(true)) {
            BG_LOGW("record audio queue holds %zu MiB, dropping the newest audio",
                    kAudioQueueByteLimit >> 20);
        }
        return;
    }
    bool dropped =
        audioQueue_.pushWaitThenDrop(std::move(frame), std::chrono::milliseconds(kAudioPushWaitMs));
    if (dropped) {
        ++droppedAudio_;
        if (!audioDropLogged_.exchange(true)) {
            BG_LOGW("record audio queue stayed full for %d ms, dropping the oldest audio",
                    kAudioPushWaitMs);
        }
    }
}

void RecordWorker::stop() {
    stopped_ = true;
    // The empty holders are the end markers; the threads drain what is
    // queued before them.
    if (videoEncoder_)
        videoQueue_.pushDropOldest(FrameHolder());
    if (audioEncoder_) {
        audioQueue_.pushWaitThenDrop(FrameHolder(), std::chrono::milliseconds(kAudioPushWaitMs));
    }
    if (videoThread_.joinable())
        videoThread_.join();
    if (audioThread_.joinable())
        audioThread_.join();
    if (droppedVideo_ || droppedAudio_) {
        BG_LOGI("recording dropped %lu pictures and %lu audio blocks from full queues",
                droppedVideo_.load(), droppedAudio_.load());
    }
}

bool RecordWorker::pacingApplies() const {
    return !stopped_.load() && videoEncoder_ && audioEncoder_ && !recorder_->failed();
}

bool RecordWorker::nextFrame(FrameQueue* queue, FrameHolder* out) {
    // Runs until a frame comes; a stopped worker with an empty queue ends.
    for (;;) {
        if (queue->pop(out, kPopWait))
            return true;
        if (stopped_.load() && queue->size() == 0)
            return false;
    }
}

void RecordWorker::videoLoop() {
    FrameHolder frame;
    while (nextFrame(&videoQueue_, &frame)) {
        // Video waits only for audio that is queued and not yet encoded: a
        // phone that sends no sound (or stops sending it) never advances the
        // audio clock, and waiting for it would drop every picture after 2 s.
        while (pacingApplies() && audioQueue_.size() > 0 &&
               videoEncoder_->lastPts() - audioEncoder_->clockUs() > kVideoLeadLimitUs) {
            SleepOneMs();
        }
        if (!frame) {
            if (stopped_.load())
                break;
            continue;
        }
        // A recording whose file can no longer be written only drains.
        if (recorder_->failed()) {
            frame.reset();
            continue;
        }
        FrameHolder scaled = scaler_->convert(frame);
        if (scaled) {
            scaled.get()->pts = frame.get()->pts;
            videoEncoder_->encode(scaled);
        }
        frame.reset();
    }
    videoError_ = !videoEncoder_->flush();
}

void RecordWorker::audioLoop() {
    FrameHolder frame;
    for (;;) {
        if (!audioQueue_.pop(&frame, kPopWait)) {
            if (stopped_.load() && audioQueue_.size() == 0)
                break;
            fillSilence(false);
            continue;
        }
        while (pacingApplies() &&
               audioEncoder_->clockUs() - videoEncoder_->lastPts() > kAudioLeadLimitUs) {
            SleepOneMs();
        }
        if (!frame) {
            if (stopped_.load())
                break;
            continue;
        }
        if (!recorder_->failed()) {
            // Sound that comes back after silence starts where the pictures are.
            if (inSilence_)
                fillSilence(true);
            inSilence_ = false;
            audioEncoder_->encode(frame);
        }
        frame.reset();
    }
    audioError_ = !audioEncoder_->flush() || audioEncoder_->failed();
}

void RecordWorker::fillSilence(bool soundResumes) {
    if (!videoEncoder_ || recorder_->failed() || stopped_.load())
        return;
    const int64_t videoUs = videoEncoder_->lastPts();
    if (!soundResumes && videoUs - audioEncoder_->queuedUs() <= kSilenceAfterUs)
        return;
    audioEncoder_->encodeSilence(videoUs);
    inSilence_ = true;
}
