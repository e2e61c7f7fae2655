#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/fifo.h"

// The path of the virtual microphone's FIFO: $XDG_RUNTIME_DIR/zucam/ZuAudioDeviceLink,
// or /tmp/zucam-<uid>/ZuAudioDeviceLink when XDG_RUNTIME_DIR is not set.
std::string AudioDeviceLinkPath();

// The write side of the virtual microphone: a FIFO that the sound server's
// pipe source ("ZuAudioDevice") reads. Blocks are 48 kHz mono signed 16-bit
// little-endian PCM. Writing never blocks the audio thread: a block that does
// not fit in the FIFO (nobody records from the source, or the server is
// stalled) is dropped and counted. Not thread-safe; the audio callback's
// owner serialises calls (the counters may be read from any thread).
class AudioDeviceLink {
public:
    // Room for four 40 ms blocks. A pipe source nobody records from stops
    // reading, and whatever sits in the FIFO then reaches the next recording
    // late; a small FIFO keeps that stale audio short.
    static constexpr size_t kFifoCapacity = 16384;

    AudioDeviceLink() = default;
    AudioDeviceLink(const AudioDeviceLink&) = delete;
    AudioDeviceLink& operator=(const AudioDeviceLink&) = delete;

    // Opens the FIFO at `path` for writing. Fails (logged) when no sound
    // server reads it, that is when the virtual microphone is not installed.
    bool openDeviceLink(const std::string& path);
    // Writes one block; zero-length blocks succeed without a write. False when
    // the block was dropped (FIFO full, reader gone, link not open).
    bool writeBlock(const uint8_t* data, size_t size);
    void close();
    bool isOpen() const { return fifo_.isOpen(); }

    // Blocks written whole, and blocks dropped (partly or wholly).
    uint64_t writtenBlocks() const { return written_.load(std::memory_order_relaxed); }
    uint64_t droppedBlocks() const { return dropped_.load(std::memory_order_relaxed); }

private:
    platform::FifoWriter fifo_;
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> dropped_{0};
    bool readerGoneLogged_ = false;
};
