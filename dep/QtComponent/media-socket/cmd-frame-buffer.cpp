#include "dep/QtComponent/media-socket/cmd-frame-buffer.h"

#include <cstring>

#include "dep/QtComponent/media-socket/byte-order.h"

namespace media_socket {

CmdFrameBuffer::Status CmdFrameBuffer::Feed(const char* data, int len,
                                            const FrameHandler& handler) {
    if (len <= 0)
        return Status::kOk;
    if (len > kCapacity || fill_ + len > kCapacity)
        return Status::kBufferTooLong;
    std::memcpy(buffer_ + fill_, data, static_cast<size_t>(len));
    fill_ += len;

    int pos = 0;
    Status status = Status::kOk;
    while (fill_ - pos >= 4) {
        uint32_t body = ReadBe32(buffer_ + pos);
        if (body > kMaxBodyLength) {
            status = Status::kPacketTooLong;
            break;
        }
        if (static_cast<uint32_t>(fill_ - pos - 4) < body)
            break;
        const char* start = buffer_ + pos + 4;
        pos += 4 + static_cast<int>(body);
        if (!handler(start, body))
            break;
    }
    if (pos > 0) {
        std::memmove(buffer_, buffer_ + pos, static_cast<size_t>(fill_ - pos));
        fill_ -= pos;
    }
    return status;
}

}  // namespace media_socket
