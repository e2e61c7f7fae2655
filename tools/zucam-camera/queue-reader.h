#pragma once

#include <cstdint>
#include <string>

#include "devices/virtual-camera-queue.h"
#include "tools/zucam-camera/camera-picture.h"

// The reading side of the camera queue: maps it read-only and takes the newest
// published picture, refusing any copy the writer overwrote meanwhile.
class QueueReader {
public:
    enum class Attach { Ok, NotRunning, Unreadable };
    enum class Poll {
        None,     // nothing new
        Picture,  // *out holds a whole picture
        Torn,     // the writer lapped the copy: dropped
        Invalid,  // the slot header describes an impossible picture: dropped
    };

    Attach attach();
    void detach();
    bool attached() const { return queue_.isOpen(); }
    // Why attach() failed.
    const std::string& error() const { return queue_.lastError(); }
    // False once ZuCam has closed (or replaced) the queue we read.
    bool stillPublished() const { return queue_.stillPublished(); }

    // Takes the newest picture published since the previous call.
    Poll poll(CameraPicture* out);
    // Finds the newest picture published since the previous call and leaves
    // it in the mapping: *slot points there, and whatever is made of it is
    // whole only when intact(*counter) still holds afterwards.
    Poll pollInPlace(VirtualCameraSlot* slot, uint32_t* counter);
    bool intact(uint32_t counter) const { return queue_.pictureIntact(counter); }
    // Makes the picture published last count as new once more: a camera
    // output that starts while pictures flow shows it at once.
    void retakeNewest() { last_ = queue_.publishedCounter() - 1; }
    // The queue's state field (VirtualCameraQueue::kState...).
    uint32_t state() const { return queue_.isOpen() ? queue_.state() : 0; }
    // Pictures published that were never copied because newer ones came first.
    unsigned long long skipped() const { return skipped_; }
    void setCopyPause(int ms) { copyPauseMs_ = ms; }

private:
    void copy(const VirtualCameraSlot& slot, CameraPicture* out);

    VirtualCameraQueue queue_{false};
    uint32_t last_ = 0;
    unsigned long long skipped_ = 0;
    int copyPauseMs_ = 0;
};
