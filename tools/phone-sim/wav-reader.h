#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "tools/phone-sim/audio-source.h"

namespace phonesim {

// Reads 16-bit PCM WAV files (format tag 1, or WAVE_FORMAT_EXTENSIBLE with the
// PCM sub-format). Chunks other than "fmt " and "data" are skipped, odd chunk
// sizes take their pad byte, and a "data" size beyond the end of the file (as
// written by streaming encoders) is cut to what the file holds.
class WavReader : public AudioSource {
public:
    bool Open(const std::string& path, std::string* error);

    unsigned sampleRate() const override { return sampleRate_; }
    unsigned channels() const override { return channels_; }
    size_t Read(size_t frames, std::string* pcm) override;
    bool Rewind() override;

    // Whole frames of audio in the file.
    uint64_t totalFrames() const { return dataBytes_ / blockAlign_; }

private:
    bool ReadChunks(uint64_t fileSize, std::string* error);
    bool ParseFormat(const std::string& body, std::string* error);

    std::ifstream in_;
    std::string path_;
    unsigned sampleRate_ = 0;
    unsigned channels_ = 0;
    unsigned blockAlign_ = 1;
    uint64_t dataOffset_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t position_ = 0;  // bytes of the data chunk already read
};

}  // namespace phonesim
