#include "tests/devices/audio-test-support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zutest {

FakeAudioHost::FakeAudioHost(bool play) : playAudio(play) {
    AppContext::setInstance(this);
}

FakeAudioHost::~FakeAudioHost() {
    AppContext::setInstance(nullptr);
}

void FakeAudioHost::UpdateVolumn(int level) {
    if (level < 0 || level > 10)
        levelOutOfRange = true;
    lastLevel = level;
    int seen = maxLevel.load();
    while (level > seen && !maxLevel.compare_exchange_weak(seen, level)) {
    }
    ++levelReports;
}

ToneGenerator::ToneGenerator(double frequency, int rate, int channels, int amplitude)
    : frequency_(frequency), rate_(rate), channels_(channels), amplitude_(amplitude) {}

std::vector<int16_t> ToneGenerator::next(int samplesPerChannel) {
    std::vector<int16_t> out(static_cast<size_t>(samplesPerChannel) * channels_);
    for (int i = 0; i < samplesPerChannel; ++i, ++position_) {
        double phase = 2.0 * M_PI * frequency_ * static_cast<double>(position_) / rate_;
        auto v = static_cast<int16_t>(std::lround(amplitude_ * std::sin(phase)));
        for (int c = 0; c < channels_; ++c)
            out[static_cast<size_t>(i) * channels_ + c] = v;
    }
    return out;
}

ToneMeasure MeasureTone(const std::vector<int16_t>& samples, size_t begin, size_t end, int rate) {
    ToneMeasure m;
    if (end > samples.size())
        end = samples.size();
    if (begin + 2 >= end)
        return m;
    double sumSquares = 0;
    long firstCrossing = -1;
    long lastCrossing = -1;
    int crossings = 0;
    for (size_t i = begin; i < end; ++i) {
        int v = samples[i];
        m.peak = std::max(m.peak, std::abs(v));
        sumSquares += static_cast<double>(v) * v;
        if (i > begin && samples[i - 1] < 0 && v >= 0) {
            if (firstCrossing < 0)
                firstCrossing = static_cast<long>(i);
            lastCrossing = static_cast<long>(i);
            ++crossings;
        }
    }
    m.rms = std::sqrt(sumSquares / static_cast<double>(end - begin));
    if (crossings >= 2) {
        m.frequency = (crossings - 1) * static_cast<double>(rate) / (lastCrossing - firstCrossing);
    }
    return m;
}

size_t FirstLoudSample(const std::vector<int16_t>& samples, int threshold) {
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(static_cast<int>(samples[i])) >= threshold)
            return i;
    }
    return static_cast<size_t>(-1);
}

}  // namespace zutest
