#include "tools/zucam-camera/camera-pump.h"

#include <string>
#include <thread>

#include "platform/stop-request.h"
#include "tools/zucam-camera/camera-say.h"

namespace {

// Short enough to add no visible latency at 60 pictures a second, long
// enough to leave the core idle while nothing happens.
constexpr auto kPollInterval = std::chrono::milliseconds(2);
constexpr auto kAttachInterval = std::chrono::milliseconds(100);
// How long the queue may stay silent before we look whether ZuCam has gone.
constexpr auto kWriterCheckInterval = std::chrono::seconds(1);

}  // namespace

CameraPump::CameraPump(const CameraOptions& options) : options_(options), writer_(options.fps) {
    reader_.setCopyPause(options_.copyPauseMs);
}

int CameraPump::run() {
    int code = attachAtStart();
    if (code != kContinue)
        return code;
    std::string error;
    if (!writer_.open(options_.y4mPath, &error)) {
        Say("%s", error.c_str());
        return kExitOutputFailed;
    }
    Say("reading the camera queue \"%s\"", VirtualCameraQueue::Name().c_str());
    code = loop();
    if (!writer_.close() && code == kExitOk) {
        Say("cannot finish the output: its last pictures could not be written (is the disk "
            "full, or did the reader go away?)");
        code = kExitOutputFailed;
    }
    if (options_.stats)
        printStats();
    return code;
}

int CameraPump::attachAtStart() {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(options_.timeoutSeconds));
    for (;;) {
        switch (reader_.attach()) {
            case QueueReader::Attach::Ok:
                return kContinue;
            case QueueReader::Attach::Unreadable:
                Say("cannot read the camera queue: %s; run zucam-camera as the user who runs "
                    "ZuCam",
                    reader_.error().c_str());
                return kExitQueueUnreadable;
            case QueueReader::Attach::NotRunning:
                break;
        }
        if (platform::StopRequested())
            return kExitOk;
        if (options_.timeoutSeconds <= 0 || Clock::now() >= deadline) {
            Say("ZuCam is not running: there is no camera queue \"%s\". Start ZuCam first%s.",
                VirtualCameraQueue::Name().c_str(),
                options_.timeoutSeconds > 0 ? "" : ", or give --timeout S to wait for it");
            return kExitNotRunning;
        }
        std::this_thread::sleep_for(kAttachInterval);
    }
}

int CameraPump::loop() {
    auto timeout = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options_.timeoutSeconds));
    lastNewsAt_ = lastCheckAt_ = Clock::now();
    auto lastAttachAt = lastNewsAt_;
    while (!platform::StopRequested()) {
        Clock::time_point now = Clock::now();
        if (reader_.attached()) {
            int code = take(reader_.poll(&picture_), now);
            if (code != kContinue)
                return code;
            if (lastNewsAt_ == now)
                continue;  // more may be waiting
            followWriter(now);
        } else if (now - lastAttachAt >= kAttachInterval) {
            lastAttachAt = now;
            if (reader_.attach() == QueueReader::Attach::Ok) {
                Say("ZuCam is back, reading goes on");
                lastCheckAt_ = now;
            }
        }
        if (options_.timeoutSeconds > 0 && now - lastNewsAt_ > timeout) {
            Say("no new picture for %g seconds, giving up (is a phone connected to ZuCam?)",
                options_.timeoutSeconds);
            return kExitTimeout;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return kExitOk;
}

int CameraPump::take(QueueReader::Poll result, Clock::time_point now) {
    switch (result) {
        case QueueReader::Poll::None:
            return kContinue;
        case QueueReader::Poll::Torn:
            ++torn_;
            lastNewsAt_ = now;  // the writer is alive, only faster than us
            return kContinue;
        case QueueReader::Poll::Invalid:
            ++invalid_;
            return kContinue;
        case QueueReader::Poll::Picture:
            break;
    }
    switch (writer_.write(picture_)) {
        case Y4mWriter::Result::Ok:
            break;
        case Y4mWriter::Result::SizeChanged:
            Say("the picture size changed from %dx%d to %ux%u; a YUV4MPEG2 stream cannot change "
                "size, so it ends here. Start zucam-camera again to follow the new size.",
                writer_.width(), writer_.height(), picture_.header.width, picture_.header.height);
            return kExitSizeChanged;
        case Y4mWriter::Result::WriteFailed:
            if (platform::StopRequested())
                return kExitOk;  // the signal cut the write short
            Say("%s", writer_.error().c_str());
            return kExitOutputFailed;
    }
    if (pictures_++ == 0)
        firstPictureAt_ = now;
    lastPictureAt_ = lastNewsAt_ = now;
    if (options_.frames > 0 && static_cast<long long>(pictures_) >= options_.frames) {
        return kExitOk;
    }
    return kContinue;
}

void CameraPump::followWriter(Clock::time_point now) {
    // A closed ZuCam removes the queue's name; a restarted one creates a new
    // queue under it. Either way the old mapping will never change again.
    if (now - lastNewsAt_ < kWriterCheckInterval || now - lastCheckAt_ < kWriterCheckInterval) {
        return;
    }
    lastCheckAt_ = now;
    if (reader_.stillPublished())
        return;
    reader_.detach();
    Say("ZuCam closed the camera queue; waiting for it to come back");
}

void CameraPump::printStats() const {
    double seconds = std::chrono::duration<double>(lastPictureAt_ - firstPictureAt_).count();
    double fps = pictures_ > 1 && seconds > 0 ? double(pictures_ - 1) / seconds : 0.0;
    Say("%llu pictures, %llu dropped (torn copies), %llu invalid, %llu skipped, %.1f fps",
        pictures_, torn_, invalid_, reader_.skipped(), fps);
}
