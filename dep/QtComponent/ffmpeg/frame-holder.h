#pragma once

#include <cstdint>

struct AVFrame;

// Owns at most one reference to an FFmpeg frame (picture or audio block).
// Copies take a new reference; moves hand the one reference over.
class FrameHolder {
public:
    FrameHolder() = default;
    // Takes a new reference to `frame` (null holds nothing).
    explicit FrameHolder(const AVFrame* frame);
    FrameHolder(const FrameHolder& other);
    FrameHolder(FrameHolder&& other) noexcept;
    FrameHolder& operator=(const FrameHolder& other);
    FrameHolder& operator=(FrameHolder&& other) noexcept;
    ~FrameHolder();

    // Takes ownership of `frame` without a new reference.
    static FrameHolder Adopt(AVFrame* frame);

    bool empty() const { return frame_ == nullptr; }
    explicit operator bool() const { return frame_ != nullptr; }
    AVFrame* get() const { return frame_; }
    void reset();
    void swap(FrameHolder& other) noexcept;

    // Plane i (0..7); null for a larger index or an empty holder.
    uint8_t* data(int i) const;
    // Line size of plane i (0..7); 0 otherwise.
    int linesize(int i) const;
    int width() const;
    int height() const;
    // FFmpeg pixel or sample format code; -1 when empty.
    int format() const;

private:
    AVFrame* frame_ = nullptr;
};
