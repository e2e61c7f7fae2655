#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app-context.h"

namespace zutest {

// Stands in for the application object: counts level reports and answers the
// play-audio setting. Installs itself as the AppContext for its lifetime.
class FakeAudioHost : public AppContext {
public:
    explicit FakeAudioHost(bool playAudio);
    ~FakeAudioHost() override;

    bool IsRecording() const override { return false; }
    std::string DeviceName() const override { return "test"; }
    std::string SaveDir() const override { return std::string(); }
    zu::QAdbTools* AdbTools() override { return nullptr; }
    void ReleaseAdbTools() override {}
    void UpdateVolumn(int level) override;
    bool PlayAudio() const override { return playAudio.load(); }

    std::atomic<bool> playAudio;
    std::atomic<int> levelReports{0};
    std::atomic<int> lastLevel{-1};
    std::atomic<int> maxLevel{-1};
    std::atomic<bool> levelOutOfRange{false};
};

// Interleaved 16-bit sine, every channel alike, continuing across calls.
class ToneGenerator {
public:
    ToneGenerator(double frequency, int rate, int channels, int amplitude);
    std::vector<int16_t> next(int samplesPerChannel);

private:
    double frequency_;
    int rate_;
    int channels_;
    int amplitude_;
    long long position_ = 0;
};

struct ToneMeasure {
    double frequency = 0;  // from rising zero crossings
    int peak = 0;
    double rms = 0;
};

// Measures mono samples [begin, end).
ToneMeasure MeasureTone(const std::vector<int16_t>& samples, size_t begin, size_t end, int rate);

// Index of the first sample whose magnitude reaches `threshold`, or npos.
size_t FirstLoudSample(const std::vector<int16_t>& samples, int threshold);

}  // namespace zutest
