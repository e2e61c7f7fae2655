#include "dep/QtComponent/media-socket/stream-packet-assembler.h"

#include <algorithm>
#include <cstring>

#include "dep/QtComponent/media-socket/byte-order.h"
#include "hublet/log-sink.h"

namespace media_socket {
namespace {

enum PacketType : uint32_t { kTokenPacket = 0, kVideoPacket = 1, kAudioPacket = 2 };
enum MediaKind : uint32_t { kVideoMedia = 1, kAudioMedia = 2 };

}  // namespace

StreamPacketAssembler::StreamPacketAssembler(size_t capacity)
    : capacity_(std::max(capacity, kHeaderSize)), buffer_(new char[capacity_]) {}

void StreamPacketAssembler::Reset() {
    fill_ = 0;
    failed_ = false;
}

StreamPacketAssembler::Scan StreamPacketAssembler::Examine(const char* p, size_t avail,
                                                           size_t* want) const {
    if (avail < kHeaderSize) {
        *want = kHeaderSize;
        return Scan::kNeedMore;
    }
    // 64-bit sums: E and N come straight from the network.
    const uint64_t expansion = ReadBe32(p + 4);
    if (kHeaderSize + expansion > capacity_)
        return Scan::kTooLong;
    if (avail < kHeaderSize + expansion) {
        *want = static_cast<size_t>(kHeaderSize + expansion);
        return Scan::kNeedMore;
    }
    const uint64_t payload = ReadBe32(p + 8 + expansion);
    const uint64_t total = kHeaderSize + expansion + payload;
    if (payload > kBufferSize || total > capacity_)
        return Scan::kTooLong;
    *want = static_cast<size_t>(total);
    return avail < total ? Scan::kNeedMore : Scan::kComplete;
}

StreamPacketAssembler::Result StreamPacketAssembler::Feed(const char* data, size_t len) {
    if (failed_)
        return Result::kError;
    size_t pos = 0;
    size_t want = 0;
    if (fill_ > 0) {
        // Finish the packet that straddles deliveries, copying no more than it
        // still needs so that what follows can be taken in place.
        for (;;) {
            Scan scan = Examine(buffer_.get(), fill_, &want);
            if (scan == Scan::kTooLong)
                return FailTooLong();
            if (scan == Scan::kComplete)
                break;
            size_t take = std::min(want - fill_, len - pos);
            if (take == 0)
                return Result::kOk;
            std::memcpy(buffer_.get() + fill_, data + pos, take);
            fill_ += take;
            pos += take;
        }
        fill_ = 0;
        if (!Deliver(buffer_.get(), want))
            return Fail();
    }
    for (;;) {
        Scan scan = Examine(data + pos, len - pos, &want);
        if (scan == Scan::kTooLong)
            return FailTooLong();
        if (scan == Scan::kNeedMore)
            break;
        if (!Deliver(data + pos, want))
            return Fail();
        pos += want;
    }
    // An incomplete packet always fits: Examine has checked whatever of its
    // size is known against the capacity.
    fill_ = len - pos;
    if (fill_ > 0)
        std::memcpy(buffer_.get(), data + pos, fill_);
    return Result::kOk;
}

bool StreamPacketAssembler::Deliver(const char* packet, size_t size) {
    const uint32_t type = ReadBe32(packet);
    const uint32_t expansion = ReadBe32(packet + 4);
    const char* payload = packet + kHeaderSize + expansion;
    const unsigned len = static_cast<unsigned>(size - kHeaderSize - expansion);
    switch (type) {
        case kTokenPacket:
            return !token_ || token_(payload, len);
        case kVideoPacket:
            return DeliverVideo(packet, expansion, payload, len);
        case kAudioPacket:
            return DeliverAudio(packet, expansion, payload, len);
        default:
            return false;
    }
}

bool StreamPacketAssembler::DeliverVideo(const char* packet, uint32_t expansion,
                                         const char* payload, unsigned len) {
    if (expansion < 4) {
        BG_LOGE("video packet, expand_len is 0!");
        return false;
    }
    if (ReadBe32(packet + 8) == kVideoMedia && expansion >= 8 && video_) {
        video_(payload, len, ReadBe32(packet + 12));
    }
    return true;
}

bool StreamPacketAssembler::DeliverAudio(const char* packet, uint32_t expansion,
                                         const char* payload, unsigned len) {
    if (expansion < 4) {
        BG_LOGE("audio packet, expand_len is 0!");
        return false;
    }
    if (ReadBe32(packet + 8) != kAudioMedia || expansion < 16)
        return true;
    const unsigned rate = ReadBe32(packet + 12);
    const unsigned channels = ReadBe32(packet + 16);
    const unsigned bits = ReadBe32(packet + 20);
    // The owners divide by the channel count; such a packet carries no
    // playable audio anyway.
    if (channels == 0) {
        if (!warned_no_channels_)
            BG_LOGW("audio packet with 0 channels dropped\n");
        warned_no_channels_ = true;
        return true;
    }
    if (audio_)
        audio_(payload, len, rate, channels, bits);
    return true;
}

StreamPacketAssembler::Result StreamPacketAssembler::FailTooLong() {
    BG_LOGE("stream packet need too long buffer\n");
    return Fail();
}

StreamPacketAssembler::Result StreamPacketAssembler::Fail() {
    failed_ = true;
    return Result::kError;
}

}  // namespace media_socket
