#include "tools/zucam-camera/queue-reader.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

QueueReader::Attach QueueReader::attach() {
    if (queue_.open(VirtualCameraQueue::kSlotCapacity)) {
        // Only pictures published from now on are new: whatever the slots
        // hold already may be long stale.
        last_ = queue_.publishedCounter();
        return Attach::Ok;
    }
    // A queue that is missing, or still being sized by a starting ZuCam, is
    // "not running"; anything else (another user's queue, ...) is unreadable.
    switch (queue_.lastOpenStatus()) {
        case platform::SharedMemory::Status::NotFound:
        case platform::SharedMemory::Status::TooSmall:
            return Attach::NotRunning;
        default:
            return Attach::Unreadable;
    }
}

void QueueReader::detach() {
    queue_.close();
}

QueueReader::Poll QueueReader::pollInPlace(VirtualCameraSlot* slot, uint32_t* counter) {
    if (!queue_.isOpen())
        return Poll::None;
    uint32_t published = queue_.publishedCounter();
    if (published == last_)
        return Poll::None;
    uint32_t since = published - last_;
    last_ = published;
    // 0 is "nothing written yet": a new ZuCam took the queue over.
    if (published == 0)
        return Poll::None;
    // A counter that went backwards (a takeover) wraps to a huge gap.
    if (since > 1 && since < (1u << 31))
        skipped_ += since - 1;

    if (!queue_.slotOf(published, slot)) {
        return queue_.pictureIntact(published) ? Poll::Invalid : Poll::Torn;
    }
    // Y4M frames are width x height: a width beyond what any slot could hold
    // is a broken header, not a picture worth gigabytes of output.
    uint64_t area = uint64_t(slot->header.width) * slot->header.height;
    if (area > VirtualCameraQueue::kSlotCapacity) {
        return queue_.pictureIntact(published) ? Poll::Invalid : Poll::Torn;
    }
    *counter = published;
    return Poll::Picture;
}

QueueReader::Poll QueueReader::poll(CameraPicture* out) {
    VirtualCameraSlot slot;
    uint32_t published = 0;
    Poll result = pollInPlace(&slot, &published);
    if (result != Poll::Picture)
        return result;
    copy(slot, out);
    if (!queue_.pictureIntact(published))
        return Poll::Torn;
    out->header = slot.header;
    out->counter = published;
    return Poll::Picture;
}

void QueueReader::copy(const VirtualCameraSlot& slot, CameraPicture* out) {
    out->bytes.resize(slot.bytes);
    if (copyPauseMs_ <= 0) {
        std::memcpy(out->bytes.data(), slot.data, slot.bytes);
        return;
    }
    size_t half = slot.bytes / 2;
    std::memcpy(out->bytes.data(), slot.data, half);
    std::fprintf(stderr, "zucam-camera: pausing %d ms in the copy of picture %u\n", copyPauseMs_,
                 last_);
    std::fflush(stderr);
    std::this_thread::sleep_for(std::chrono::milliseconds(copyPauseMs_));
    std::memcpy(out->bytes.data() + half, slot.data + half, slot.bytes - half);
}
