#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace media_socket {

// Reassembles the command connection's frames: a 4-byte big-endian body
// length L, then L bytes of JSON. The buffer holds 4096 bytes including the
// length prefix, so the largest body that can ever complete is 4092 bytes.
class CmdFrameBuffer {
public:
    static constexpr int kCapacity = 4096;
    static constexpr uint32_t kMaxBodyLength = 4096;

    enum class Status {
        kOk,             // everything taken; an incomplete frame may be left
        kBufferTooLong,  // the delivery would push the buffer past 4096 bytes
        kPacketTooLong,  // a frame declares a body longer than 4096 bytes
    };

    // Called for each complete body; returning false stops taking frames
    // (the link is being closed).
    using FrameHandler = std::function<bool(const char* body, size_t len)>;

    // Takes one delivery: appends it, hands every complete frame to `handler`
    // in order and keeps the incomplete rest, moving it down once.
    Status Feed(const char* data, int len, const FrameHandler& handler);
    void Clear() { fill_ = 0; }
    int Fill() const { return fill_; }

private:
    char buffer_[kCapacity];
    int fill_ = 0;
};

}  // namespace media_socket
