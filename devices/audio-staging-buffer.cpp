#include "devices/audio-staging-buffer.h"

#include <cstring>

AudioStagingBuffer::AudioStagingBuffer() : bytes_(new uint8_t[kCapacity]()) {}

void AudioStagingBuffer::push(const uint8_t* data, size_t size) {
    if (!data || size == 0)
        return;
    uint8_t* buffer = bytes_.get();
    if (count_ + size <= kCapacity) {
        std::memcpy(buffer + count_, data, size);
        count_ += size;
    } else if (size >= kCapacity) {
        std::memcpy(buffer, data + (size - kCapacity), kCapacity);
        count_ = kCapacity;
    } else {
        size_t keep = kCapacity - size;
        std::memmove(buffer, buffer + (count_ - keep), keep);
        std::memcpy(buffer + keep, data, size);
        count_ = kCapacity;
    }
}

size_t AudioStagingBuffer::take(uint8_t* out, size_t size) {
    size_t m = count_ < size ? count_ : size;
    if (m == 0)
        return 0;
    std::memcpy(out, bytes_.get(), m);
    std::memmove(bytes_.get(), bytes_.get() + m, count_ - m);
    count_ -= m;
    return m;
}
