#pragma once

#include <cstddef>
#include <string>

namespace phonesim {

// Interleaved 16-bit PCM in little-endian byte order, as the desktop copies
// the payload straight into its audio frames.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual unsigned sampleRate() const = 0;
    virtual unsigned channels() const = 0;
    // Replaces *pcm with up to `frames` frames; returns the frames given (0 at the end).
    virtual size_t Read(size_t frames, std::string* pcm) = 0;
    // Starts over; false when the source cannot.
    virtual bool Rewind() { return false; }
};

}  // namespace phonesim
