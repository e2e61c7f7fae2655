#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace media_socket {

// Reassembles the phone's media packets from a byte stream cut anywhere:
// the TCP stream connection and the Zup2p data messages carry the same stream.
//
// Packet (every integer unsigned 32-bit big-endian):
//   0      type T: 0 token, 1 video, 2 audio
//   4      expansion length E
//   8      E bytes of header expansion
//          video: media kind (1), frame kind
//          audio: media kind (2), sample rate, channels, bits per sample
//   8 + E  payload length N
//   12 + E N bytes of payload
//
// Complete packets are handed out in place (from the caller's bytes when they
// lie there whole, else from the buffer), and only a packet that straddles two
// deliveries is copied, once. Payload pointers are valid during the callback
// only.
class StreamPacketAssembler {
public:
    static constexpr uint32_t kBufferSize = 64u * 1024 * 1024;  // 67,108,864
    static constexpr size_t kHeaderSize = 12;

    using VideoCallback = std::function<void(const char* data, unsigned len, unsigned frame_kind)>;
    using AudioCallback = std::function<void(const char* data, unsigned len, unsigned sample_rate,
                                             unsigned channels, unsigned bits_per_sample)>;
    // Sees every token packet's payload; false rejects it and fails the stream.
    using TokenCallback = std::function<bool(const char* data, unsigned len)>;

    enum class Result { kOk, kError };

    // `capacity` (at least 12 bytes) bounds the largest packet; the protocol's
    // is 64 MiB. The buffer is reserved, not touched, up front.
    explicit StreamPacketAssembler(size_t capacity = kBufferSize);
    StreamPacketAssembler(const StreamPacketAssembler&) = delete;
    StreamPacketAssembler& operator=(const StreamPacketAssembler&) = delete;

    void SetVideoCallback(VideoCallback cb) { video_ = std::move(cb); }
    void SetAudioCallback(AudioCallback cb) { audio_ = std::move(cb); }
    void SetTokenCallback(TokenCallback cb) { token_ = std::move(cb); }

    // Takes one delivery. kError on a protocol error (logged where the
    // protocol names a message); the assembler then refuses all further
    // input until Reset().
    Result Feed(const char* data, size_t len);
    // Drops buffered bytes and any error.
    void Reset();

    size_t Fill() const { return fill_; }
    size_t Capacity() const { return capacity_; }
    bool Failed() const { return failed_; }

private:
    enum class Scan { kNeedMore, kComplete, kTooLong };

    // Examines the packet at `p` with `avail` bytes present. kNeedMore and
    // kComplete set *want to the bytes needed to go on / the packet size.
    Scan Examine(const char* p, size_t avail, size_t* want) const;
    bool Deliver(const char* packet, size_t size);
    bool DeliverVideo(const char* packet, uint32_t expansion, const char* payload, unsigned len);
    bool DeliverAudio(const char* packet, uint32_t expansion, const char* payload, unsigned len);
    Result FailTooLong();
    Result Fail();

    size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    size_t fill_ = 0;
    bool failed_ = false;
    bool warned_no_channels_ = false;
    VideoCallback video_;
    AudioCallback audio_;
    TokenCallback token_;
};

}  // namespace media_socket
