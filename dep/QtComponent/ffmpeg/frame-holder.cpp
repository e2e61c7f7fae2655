#include "dep/QtComponent/ffmpeg/frame-holder.h"

#include <utility>

extern "C" {
#include <libavutil/frame.h>
}

FrameHolder::FrameHolder(const AVFrame* frame) : frame_(frame ? av_frame_clone(frame) : nullptr) {}

FrameHolder::FrameHolder(const FrameHolder& other) : FrameHolder(other.frame_) {}

FrameHolder::FrameHolder(FrameHolder&& other) noexcept : frame_(other.frame_) {
    other.frame_ = nullptr;
}

FrameHolder& FrameHolder::operator=(const FrameHolder& other) {
    if (this != &other) {
        reset();
        frame_ = other.frame_ ? av_frame_clone(other.frame_) : nullptr;
    }
    return *this;
}

FrameHolder& FrameHolder::operator=(FrameHolder&& other) noexcept {
    if (this != &other) {
        reset();
        frame_ = other.frame_;
        other.frame_ = nullptr;
    }
    return *this;
}

FrameHolder::~FrameHolder() {
    reset();
}

FrameHolder FrameHolder::Adopt(AVFrame* frame) {
    FrameHolder h;
    h.frame_ = frame;
    return h;
}

void FrameHolder::reset() {
    if (frame_)
        av_frame_free(&frame_);
}

void FrameHolder::swap(FrameHolder& other) noexcept {
    std::swap(frame_, other.frame_);
}

uint8_t* FrameHolder::data(int i) const {
    if (!frame_ || i < 0 || i >= AV_NUM_DATA_POINTERS)
        return nullptr;
    return frame_->data[i];
}

int FrameHolder::linesize(int i) const {
    if (!frame_ || i < 0 || i >= AV_NUM_DATA_POINTERS)
        return 0;
    return frame_->linesize[i];
}

int FrameHolder::width() const {
    return frame_ ? frame_->width : 0;
}

int FrameHolder::height() const {
    return frame_ ? frame_->height : 0;
}

int FrameHolder::format() const {
    return frame_ ? frame_->format : -1;
}
