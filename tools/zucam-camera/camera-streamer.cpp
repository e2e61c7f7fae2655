#include "tools/zucam-camera/camera-streamer.h"

#include <algorithm>
#include <thread>

#include "platform/stop-request.h"
#include "tools/zucam-camera/camera-say.h"
#include "tools/zucam-camera/camera-sink.h"
#include "tools/zucam-camera/waiting-picture.h"

namespace {

// The queue has no way to wake a reader, so it is polled. Phones send at a
// steady rate: after a picture the next one is awaited from a little before
// it is due, closely enough that it waits at most kPollInterval to be
// noticed; a late one is looked for less often, and without a phone the
// queue is looked at only now and then. Each wake-up costs processor time.
constexpr auto kPollInterval = std::chrono::milliseconds(1);
constexpr auto kLatePollInterval = std::chrono::milliseconds(4);
constexpr auto kIdlePollInterval = std::chrono::milliseconds(10);
constexpr auto kEarlyMargin = std::chrono::milliseconds(4);
constexpr auto kAttachInterval = std::chrono::milliseconds(100);
constexpr auto kWriterCheckInterval = std::chrono::seconds(1);
// The writer sets the counter before the state, so one look at a state
// other than "streaming" may fall between the two: believe it the second time.
constexpr int kStoppedPollsToBelieve = 2;

int64_t Ns(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}  // namespace

CameraStreamer::CameraStreamer(const CameraOptions& options)
    : options_(options), fitter_(options.width, options.height) {
    WaitingPicture::Draw(
        options.width, options.height,
        options.chinese() ? WaitingPicture::Language::kChinese : WaitingPicture::Language::kEnglish,
        &waiting_);
    period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(1000000000LL) /
                                                          options.fps);
}

int CameraStreamer::run() {
    int code = kExitOk;
    std::string error;
    output_ = OpenCameraOutput(options_, &code, &error);
    if (!output_) {
        Say("%s", error.c_str());
        return code;
    }
    if (!options_.timingLog.empty()) {
        if (!timing_.open(options_.timingLog)) {
            Say("cannot create the timing log \"%s\"", options_.timingLog.c_str());
            return kExitOutputFailed;
        }
        output_->setQueuedHook(
            [this](uint32_t tag, int64_t queuedNs) { timing_.noteQueued(tag, queuedNs); });
    }
    Say("the phone is offered as %s (%dx%d, %d pictures/s)", output_->describe().c_str(),
        options_.width, options_.height, options_.fps);
    Clock::time_point now = Clock::now();
    nextTick_ = now;
    lastAttachAt_ = now - kAttachInterval;
    while (!platform::StopRequested()) {
        now = Clock::now();
        if (!reader_.attached())
            attach(now);
        if (reader_.attached()) {
            takeNewPictures(now);
            followWriter(now);
        }
        if (now >= nextTick_) {
            if (!tick(now)) {
                code = kExitOutputFailed;
                break;
            }
            if (options_.frames > 0 && static_cast<long long>(sent_) >= options_.frames)
                break;
        }
        std::this_thread::sleep_until(std::min(nextPoll(Clock::now()), nextTick_));
    }
    if (options_.stats)
        printStats();
    output_.reset();
    return code;
}

void CameraStreamer::attach(Clock::time_point now) {
    if (now - lastAttachAt_ < kAttachInterval)
        return;
    lastAttachAt_ = now;
    switch (reader_.attach()) {
        case QueueReader::Attach::Ok:
            Say("reading the camera queue \"%s\"", VirtualCameraQueue::Name().c_str());
            saidNotRunning_ = saidUnreadable_ = false;
            lastNewsAt_ = lastCheckAt_ = now;
            // A phone already streaming is shown at once, not at its next picture.
            if (reader_.state() == VirtualCameraQueue::kStateStreaming)
                reader_.retakeNewest();
            return;
        case QueueReader::Attach::Unreadable:
            if (!saidUnreadable_) {
                Say("cannot read the camera queue: %s; run zucam-camera as the user who runs "
                    "ZuCam. Until then the camera shows \"waiting for the phone\"",
                    reader_.error().c_str());
            }
            saidUnreadable_ = true;
            return;
        case QueueReader::Attach::NotRunning:
            if (!saidNotRunning_) {
                Say("ZuCam is not running yet; the camera shows \"waiting for the phone\" until "
                    "it is");
            }
            saidNotRunning_ = true;
            return;
    }
}

void CameraStreamer::takeNewPictures(Clock::time_point now) {
    VirtualCameraSlot slot;
    uint32_t counter = 0;
    QueueReader::Poll result = reader_.pollInPlace(&slot, &counter);
    if (result == QueueReader::Poll::None) {
        watchState();
        return;
    }
    lastNewsAt_ = now;
    stoppedPolls_ = 0;
    if (result != QueueReader::Poll::Picture) {
        torn_ += result == QueueReader::Poll::Torn;
        return;
    }
    // Scaled straight out of the mapping into the back frame; a copy that
    // ZuCam overwrote meanwhile is dropped, and the front frame stays.
    I420Frame& back = phone_[1 - front_];
    if (!fitter_.fit(slot, &back) || !reader_.intact(counter)) {
        ++torn_;
        return;
    }
    front_ = 1 - front_;
    ++pictures_;
    learnInterval(now);
    if (timing_.isOpen())
        timing_.noteReady(counter, Ns(now), Ns(Clock::now()));
    if (!showingPhone_ || slot.header.width != lastWidth_ || slot.header.height != lastHeight_) {
        Say("pictures from the phone: %ux%u", slot.header.width, slot.header.height);
    }
    lastWidth_ = slot.header.width;
    lastHeight_ = slot.header.height;
    showingPhone_ = true;
    shownCounter_ = counter;
}

void CameraStreamer::learnInterval(Clock::time_point now) {
    if (lastPictureAt_ != Clock::time_point{}) {
        // Quick to follow a faster phone, slow to believe in a slower one:
        // one lost picture must not make the wait overshoot the next.
        auto gap = now - lastPictureAt_;
        bool first = interval_ == Clock::duration::zero();
        interval_ = first || gap < interval_ ? gap : interval_ + (gap - interval_) / 8;
    }
    lastPictureAt_ = now;
}

CameraStreamer::Clock::time_point CameraStreamer::nextPoll(Clock::time_point now) const {
    if (!showingPhone_ || interval_ == Clock::duration::zero())
        return now + (showingPhone_ ? kPollInterval : kIdlePollInterval);
    Clock::time_point due = lastPictureAt_ + interval_;
    if (now < due - kEarlyMargin)
        return due - kEarlyMargin;
    return now + (now < due + interval_ ? kPollInterval : kLatePollInterval);
}

void CameraStreamer::watchState() {
    if (!showingPhone_)
        return;
    if (reader_.state() == VirtualCameraQueue::kStateStreaming) {
        stoppedPolls_ = 0;
        return;
    }
    if (++stoppedPolls_ >= kStoppedPollsToBelieve)
        showWaiting("the phone is gone");
}

void CameraStreamer::followWriter(Clock::time_point now) {
    // A closed ZuCam removes the queue's name; a restarted one creates a new
    // queue under it. Either way the old mapping will never change again.
    if (now - lastNewsAt_ < kWriterCheckInterval || now - lastCheckAt_ < kWriterCheckInterval)
        return;
    lastCheckAt_ = now;
    if (reader_.stillPublished())
        return;
    reader_.detach();
    Say("ZuCam closed the camera queue; waiting for it to come back");
    showWaiting(nullptr);
}

void CameraStreamer::showWaiting(const char* why) {
    if (showingPhone_ && why)
        Say("%s; the camera shows \"waiting for the phone\"", why);
    showingPhone_ = false;
    shownCounter_ = 0;
    lastPictureAt_ = Clock::time_point{};
    interval_ = Clock::duration::zero();
    stoppedPolls_ = 0;
}

bool CameraStreamer::tick(Clock::time_point now) {
    const I420Frame& frame = showingPhone_ ? phone_[front_] : waiting_;
    if (timing_.isOpen())
        timing_.noteTick(shownCounter_, Ns(now));
    if (!output_->write(frame, shownCounter_)) {
        Say("%s", output_->error().c_str());
        return false;
    }
    ++sent_;
    nextTick_ += period_;
    // After a stall (a suspended machine, a stopped process) start afresh
    // instead of sending a burst of pictures to catch up.
    if (nextTick_ < now)
        nextTick_ = now + period_;
    return true;
}

void CameraStreamer::printStats() const {
    Say("%llu pictures sent, %llu from the phone, %llu dropped (torn copies), %llu skipped", sent_,
        pictures_, torn_, reader_.skipped());
}
