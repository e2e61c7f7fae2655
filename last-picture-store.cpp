#include "last-picture-store.h"

void LastPictureStore::Store(const FrameHolder& frame) {
    FrameHolder copy(frame);
    std::lock_guard<std::mutex> lock(mutex_);
    frame_.swap(copy);
    // The previous picture is released outside the lock, with `copy`.
}

FrameHolder LastPictureStore::Take() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frame_;
}

void LastPictureStore::Size(int* width, int* height) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (width)
        *width = frame_.width();
    if (height)
        *height = frame_.height();
}

void LastPictureStore::Release() {
    FrameHolder old;
    std::lock_guard<std::mutex> lock(mutex_);
    frame_.swap(old);
}
