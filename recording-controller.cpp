#include "recording-controller.h"

#include <QCoreApplication>
#include <QString>

extern "C" {
#include <libavutil/frame.h>
}

#include "dep/QtComponent/recorder/ffmpeg-recorder.h"
#include "dep/QtComponent/recorder/record-worker.h"
#include "hublet/clock.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "output-path.h"
#include "platform/time.h"

namespace {

int64_t NowUs() {
    return CD && CD->clock ? CD->clock->now() : platform::MonotonicMicros();
}

}  // namespace

RecordingController::RecordingController() = default;

RecordingController::~RecordingController() {
    Stop();
}

RecordingController::StartResult RecordingController::Start(const std::string& saveDir, int width,
                                                            int height,
                                                            std::string* failureMessage) {
    // A recording that failed is torn down before a new one takes its place.
    EndIfFailed();
    if (IsRecording())
        return StartResult::kAlreadyRecording;
    const std::string path = output_path::Compose(saveDir, output_path::kRecordName);
    if (!output_path::Check(saveDir, path, failureMessage))
        return StartResult::kFailed;

    std::unique_ptr<FFmpegRecorder> recorder;
    std::unique_ptr<RecordWorker> worker;
    if (width > 0 && height > 0) {
        RecordParams params;
        params.path = path;
        params.width = width;
        params.height = height;
        params.frameRate = kFrameRate;
        params.videoBitRate = kVideoBitRate;
        params.audioSampleRate = kAudioSampleRate;
        params.audioChannels = kAudioChannels;
        recorder = std::make_unique<FFmpegRecorder>();
        if (recorder->open(params)) {
            worker = std::make_unique<RecordWorker>(recorder.get());
            worker->start();
        } else {
            recorder.reset();
        }
    }
    std::lock_guard<std::mutex> lock(recordLock_);
    if (!recorder || !worker) {
        if (failureMessage)
            *failureMessage = output_path::kMsgRecordFailed;
        return StartResult::kFailed;
    }
    recorder_ = std::move(recorder);
    worker_ = std::move(worker);
    recordStart_ = NowUs();
    recordPath_ = path;
    BG_LOGI("recording to %s (%dx%d)", path.c_str(), width, height);
    return StartResult::kStarted;
}

std::string RecordingController::Stop() {
    std::unique_ptr<FFmpegRecorder> recorder;
    std::unique_ptr<RecordWorker> worker;
    {
        std::lock_guard<std::mutex> lock(recordLock_);
        recorder = std::move(recorder_);
        worker = std::move(worker_);
        recordStart_ = 0;
    }
    return Finish(std::move(recorder), std::move(worker));
}

std::string RecordingController::Finish(std::unique_ptr<FFmpegRecorder> recorder,
                                        std::unique_ptr<RecordWorker> worker) {
    // The worker is stopped outside the lock: the producers take the lock
    // for each frame and must not wait for the encoders to drain.
    if (worker)
        worker->stop();
    worker.reset();
    if (!recorder)
        return std::string();
    recorder->close();
    const std::string path = RecordPath();
    if (recorder->failed()) {
        const std::string cause = recorder->failureText();
        BG_LOGE("recording ended by a write error (%s), kept up to the failure: %s", cause.c_str(),
                path.c_str());
        if (onFailure_)
            onFailure_(RecordingFailure{path, cause, FailureMessage(path, cause)});
        return std::string();
    }
    BG_LOGI("recording finished: %s", path.c_str());
    return path;
}

std::string RecordingController::FailureMessage(const std::string& path, const std::string& cause) {
    return QCoreApplication::translate("output_path", output_path::kMsgRecordWriteFailed)
        .arg(QString::fromStdString(cause), QString::fromStdString(path))
        .toStdString();
}

void RecordingController::EndIfFailed() {
    std::unique_ptr<FFmpegRecorder> recorder;
    std::unique_ptr<RecordWorker> worker;
    {
        std::lock_guard<std::mutex> lock(recordLock_);
        if (!recorder_ || !recorder_->failed())
            return;
        recorder = std::move(recorder_);
        worker = std::move(worker_);
        recordStart_ = 0;
    }
    Finish(std::move(recorder), std::move(worker));
}

bool RecordingController::IsRecording() const {
    std::lock_guard<std::mutex> lock(recordLock_);
    return recorder_ != nullptr && !recorder_->failed();
}

std::string RecordingController::RecordPath() const {
    std::lock_guard<std::mutex> lock(recordLock_);
    return recordPath_;
}

int64_t RecordingController::ElapsedUs() const {
    std::lock_guard<std::mutex> lock(recordLock_);
    return recordStart_ ? NowUs() - recordStart_ : 0;
}

void RecordingController::PushVideo(const FrameHolder& frame) {
    {
        std::lock_guard<std::mutex> lock(recordLock_);
        if (!worker_ || !frame)
            return;
        if (!recorder_->failed()) {
            FrameHolder ref(frame);
            ref.get()->pts = NowUs() - recordStart_;
            worker_->pushVideo(std::move(ref));
            return;
        }
    }
    EndIfFailed();
}

void RecordingController::PushAudio(const FrameHolder& frame) {
    {
        std::lock_guard<std::mutex> lock(recordLock_);
        if (!worker_ || !frame)
            return;
        if (!recorder_->failed()) {
            worker_->pushAudio(frame);
            return;
        }
    }
    EndIfFailed();
}
