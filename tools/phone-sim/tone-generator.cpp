#include "tools/phone-sim/tone-generator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace phonesim {

namespace {
constexpr double kTwoPi = 6.283185307179586476925286766559;
}  // namespace

ToneGenerator::ToneGenerator(double frequency, unsigned sampleRate, unsigned channels,
                             double levelDb)
    : step_(kTwoPi * frequency / sampleRate),
      peak_(32767.0 * std::pow(10.0, std::min(levelDb, 0.0) / 20.0)),
      sampleRate_(sampleRate),
      channels_(channels) {}

size_t ToneGenerator::Read(size_t frames, std::string* pcm) {
    pcm->resize(frames * channels_ * 2);
    char* out = &(*pcm)[0];
    for (size_t i = 0; i < frames; ++i) {
        auto value = static_cast<int16_t>(std::lround(peak_ * std::sin(phase_)));
        auto bits = static_cast<uint16_t>(value);
        for (unsigned c = 0; c < channels_; ++c) {
            *out++ = static_cast<char>(bits & 0xff);
            *out++ = static_cast<char>(bits >> 8);
        }
        // Kept in [0, 2π) so hours of tone lose no precision.
        phase_ = std::fmod(phase_ + step_, kTwoPi);
    }
    return frames;
}

bool ToneGenerator::Rewind() {
    phase_ = 0;
    return true;
}

}  // namespace phonesim
