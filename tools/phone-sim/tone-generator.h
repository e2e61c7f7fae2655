#pragma once

#include <cstddef>
#include <string>

#include "tools/phone-sim/audio-source.h"

namespace phonesim {

// An endless sine tone, the same on every channel, phase-continuous across reads.
class ToneGenerator : public AudioSource {
public:
    // level: peak amplitude in dB relative to full scale (0 or below).
    ToneGenerator(double frequency, unsigned sampleRate, unsigned channels, double levelDb);

    unsigned sampleRate() const override { return sampleRate_; }
    unsigned channels() const override { return channels_; }
    size_t Read(size_t frames, std::string* pcm) override;
    bool Rewind() override;

    // Peak sample value for the level.
    double peak() const { return peak_; }

private:
    double step_;
    double phase_ = 0;
    double peak_;
    unsigned sampleRate_;
    unsigned channels_;
};

}  // namespace phonesim
