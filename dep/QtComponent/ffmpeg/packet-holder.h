#pragma once

#include <cstddef>
#include <cstdint>

struct AVPacket;

// Owns at most one FFmpeg packet. Copies clone it; moves hand it over.
class PacketHolder {
public:
    PacketHolder() = default;
    // Clones `packet` (null holds nothing).
    explicit PacketHolder(const AVPacket* packet);
    PacketHolder(const PacketHolder& other);
    PacketHolder(PacketHolder&& other) noexcept;
    PacketHolder& operator=(const PacketHolder& other);
    PacketHolder& operator=(PacketHolder&& other) noexcept;
    ~PacketHolder();

    // Takes ownership of `packet`.
    static PacketHolder Adopt(AVPacket* packet);
    // A new packet holding a copy of `size` bytes (empty holder on allocation failure).
    static PacketHolder Copy(const uint8_t* data, size_t size);
    // A new packet holding `head`'s bytes followed by `size` bytes of `data`.
    static PacketHolder Join(const PacketHolder& head, const uint8_t* data, size_t size);

    bool empty() const { return packet_ == nullptr; }
    explicit operator bool() const { return packet_ != nullptr; }
    AVPacket* get() const { return packet_; }
    void reset();
    void swap(PacketHolder& other) noexcept;

    // True when a packet is held and its flags carry the key flag.
    bool isKey() const;
    const uint8_t* data() const;
    int size() const;

private:
    AVPacket* packet_ = nullptr;
};
