#include "dep/QtComponent/ffmpeg/packet-holder.h"

#include <climits>
#include <cstring>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
}

PacketHolder::PacketHolder(const AVPacket* packet)
    : packet_(packet ? av_packet_clone(packet) : nullptr) {}

PacketHolder::PacketHolder(const PacketHolder& other) : PacketHolder(other.packet_) {}

PacketHolder::PacketHolder(PacketHolder&& other) noexcept : packet_(other.packet_) {
    other.packet_ = nullptr;
}

PacketHolder& PacketHolder::operator=(const PacketHolder& other) {
    if (this != &other) {
        reset();
        packet_ = other.packet_ ? av_packet_clone(other.packet_) : nullptr;
    }
    return *this;
}

PacketHolder& PacketHolder::operator=(PacketHolder&& other) noexcept {
    if (this != &other) {
        reset();
        packet_ = other.packet_;
        other.packet_ = nullptr;
    }
    return *this;
}

PacketHolder::~PacketHolder() {
    reset();
}

PacketHolder PacketHolder::Adopt(AVPacket* packet) {
    PacketHolder h;
    h.packet_ = packet;
    return h;
}

PacketHolder PacketHolder::Copy(const uint8_t* data, size_t size) {
    return Join(PacketHolder(), data, size);
}

PacketHolder PacketHolder::Join(const PacketHolder& head, const uint8_t* data, size_t size) {
    size_t headSize = head.packet_ ? static_cast<size_t>(head.packet_->size) : 0;
    // FFmpeg sizes are ints and every packet carries padding behind its data.
    const size_t limit = static_cast<size_t>(INT_MAX) - AV_INPUT_BUFFER_PADDING_SIZE;
    if (headSize > limit || size > limit - headSize)
        return PacketHolder();
    if (size && !data)
        return PacketHolder();
    AVPacket* p = av_packet_alloc();
    if (!p)
        return PacketHolder();
    if (av_new_packet(p, static_cast<int>(headSize + size)) < 0) {
        av_packet_free(&p);
        return PacketHolder();
    }
    if (headSize)
        std::memcpy(p->data, head.packet_->data, headSize);
    if (size && data)
        std::memcpy(p->data + headSize, data, size);
    return Adopt(p);
}

void PacketHolder::reset() {
    if (packet_)
        av_packet_free(&packet_);
}

void PacketHolder::swap(PacketHolder& other) noexcept {
    std::swap(packet_, other.packet_);
}

bool PacketHolder::isKey() const {
    return packet_ && (packet_->flags & AV_PKT_FLAG_KEY);
}

const uint8_t* PacketHolder::data() const {
    return packet_ ? packet_->data : nullptr;
}

int PacketHolder::size() const {
    return packet_ ? packet_->size : 0;
}
