#pragma once

#include <mutex>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

// The latest decoded picture, kept for screenshots and for the size of a new
// recording. Written on the decoder thread, read on the GUI thread.
class LastPictureStore {
public:
    // Keeps a new reference to `frame`, dropping the previous picture.
    void Store(const FrameHolder& frame);
    // A new reference to the latest picture; empty when there is none.
    FrameHolder Take() const;
    // The latest picture's size; 0 x 0 when there is none.
    void Size(int* width, int* height) const;
    void Release();

private:
    mutable std::mutex mutex_;
    FrameHolder frame_;
};
