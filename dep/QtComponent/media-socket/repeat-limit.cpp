#include "dep/QtComponent/media-socket/repeat-limit.h"

namespace media_socket {

bool RepeatLimit::Allow(int64_t nowUs, uint64_t* heldBack) {
    *heldBack = 0;
    // A clock that went back starts a new window too.
    if (!started_ || nowUs - windowStartUs_ >= windowUs_ || nowUs < windowStartUs_) {
        started_ = true;
        windowStartUs_ = nowUs;
        written_ = 0;
    }
    if (written_ >= burst_) {
        ++heldBack_;
        return false;
    }
    ++written_;
    *heldBack = TakeHeldBack();
    return true;
}

uint64_t RepeatLimit::TakeHeldBack() {
    const uint64_t n = heldBack_;
    heldBack_ = 0;
    return n;
}

}  // namespace media_socket
