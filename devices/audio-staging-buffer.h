#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The 200 ms of microphone audio waiting for the output stream: 48 kHz mono
// signed 16-bit, 19,200 bytes. It always holds the newest audio; when a push
// does not fit, the oldest bytes go first. Its memory is allocated once, so
// the audio callback can take from it without allocating. Not locked: the
// owner guards it.
class AudioStagingBuffer {
public:
    static constexpr size_t kCapacity = 19200;

    AudioStagingBuffer();
    AudioStagingBuffer(const AudioStagingBuffer&) = delete;
    AudioStagingBuffer& operator=(const AudioStagingBuffer&) = delete;

    // Appends `size` bytes, evicting the oldest held bytes as needed; of a
    // push larger than the capacity only its last kCapacity bytes are kept.
    void push(const uint8_t* data, size_t size);
    // Moves up to `size` of the oldest bytes to `out`; returns how many.
    size_t take(uint8_t* out, size_t size);

    size_t count() const { return count_; }
    const uint8_t* data() const { return bytes_.get(); }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t count_ = 0;
};
