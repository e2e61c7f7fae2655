#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tools/zucam-camera/i420-frame.h"

// Where a camera output's pictures go: a PipeWire node or a v4l2loopback
// device. The format (I420, size, rate) is set once by open() and never
// changes; every picture handed to write() has that size.
class CameraOutput {
public:
    virtual ~CameraOutput() = default;

    // False with a one-line reason (what happened, what to do) in *error.
    virtual bool open(int width, int height, int fps, std::string* error) = 0;
    // Hands one picture on; `tag` names it for the timing log. False when the
    // output has failed for good (error() says why).
    virtual bool write(const I420Frame& frame, uint32_t tag) = 0;
    // What users pick in their programs, for the start line.
    virtual std::string describe() const = 0;
    const std::string& error() const { return error_; }

    // Called when a picture has really been handed over (its tag, and the
    // monotonic time in nanoseconds); possibly on another thread.
    using QueuedHook = std::function<void(uint32_t tag, int64_t queuedNs)>;
    void setQueuedHook(QueuedHook hook) { queuedHook_ = std::move(hook); }

protected:
    std::string error_;
    QueuedHook queuedHook_;
};
