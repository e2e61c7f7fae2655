#include "dep/QtComponent/ffmpeg/pcm-resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include "tests/support/test-host.h"

namespace {

constexpr int kS16 = AV_SAMPLE_FMT_S16;
constexpr int kFltp = AV_SAMPLE_FMT_FLTP;

// Interleaved 16-bit sine, every channel alike.
std::vector<int16_t> Sine(double hz, int rate, int channels, int amplitude, long first, int count) {
    std::vector<int16_t> out(static_cast<size_t>(count) * channels);
    for (int i = 0; i < count; ++i) {
        double v = amplitude * std::sin(2 * M_PI * hz * (first + i) / rate);
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = static_cast<int16_t>(std::lround(v));
    }
    return out;
}

const uint8_t* Bytes(const std::vector<int16_t>& v) {
    return reinterpret_cast<const uint8_t*>(v.data());
}

void Append(const FrameHolder& frame, std::vector<int16_t>* out) {
    ASSERT_FALSE(frame.empty());
    const auto* s = reinterpret_cast<const int16_t*>(frame.data(0));
    out->insert(out->end(), s, s + frame.get()->nb_samples * frame.get()->ch_layout.nb_channels);
}

struct Tone {
    double hz;
    int peak;
};

Tone Measure(const std::vector<int16_t>& s, size_t begin, size_t end, int rate) {
    int peak = 0;
    long first = -1, last = -1;
    int crossings = 0;
    for (size_t i = begin + 1; i < end; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(s[i])));
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (first < 0)
                first = static_cast<long>(i);
            last = static_cast<long>(i);
            ++crossings;
        }
    }
    return {crossings > 1 ? (crossings - 1) * double(rate) / (last - first) : 0.0, peak};
}

}  // namespace

TEST(PcmResampler, StereoFortyFourKilohertzBecomesMonoFortyEightKilohertz) {
    zutest::TestHost host;
    PcmResampler resampler(48000, 1, kS16);
    std::vector<int16_t> out;
    // Two seconds of a 1 kHz tone in 10 ms packets, as a phone would send them.
    for (int packet = 0; packet < 200; ++packet) {
        auto in = Sine(1000, 44100, 2, 12000, packet * 441L, 441);
        FrameHolder frame = resampler.resample(Bytes(in), 441, 44100, 2, kS16);
        ASSERT_FALSE(frame.empty()) << packet;
        EXPECT_EQ(frame.get()->sample_rate, 48000);
        EXPECT_EQ(frame.get()->ch_layout.nb_channels, 1);
        EXPECT_EQ(frame.format(), kS16);
        Append(frame, &out);
    }
    // Every packet comes out at the new rate; only the filter's short delay
    // is still held back.
    EXPECT_LE(out.size(), 96000u);
    EXPECT_GE(out.size(), 96000u - 64);
    Tone tone = Measure(out, 4800, out.size() - 480, 48000);
    EXPECT_NEAR(tone.hz, 1000.0, 2.0);
    // Both channels carried the tone; the mono mix must be as loud, not louder.
    EXPECT_NEAR(tone.peak, 12000, 12000 * 0.03);
    EXPECT_EQ(resampler.rebuildCount(), 1);
    EXPECT_FALSE(host.contains("avresample_open failed!"));
}

TEST(PcmResampler, RebuildsOnceForEachChangeOfInput) {
    zutest::TestHost host;
    PcmResampler resampler(48000, 1, kS16);
    auto in441 = Sine(440, 44100, 2, 8000, 0, 441);
    auto in48 = Sine(440, 48000, 2, 8000, 0, 480);
    for (int i = 0; i < 5; ++i)
        ASSERT_FALSE(resampler.resample(Bytes(in441), 441, 44100, 2, kS16).empty());
    EXPECT_EQ(resampler.rebuildCount(), 1);
    for (int i = 0; i < 5; ++i)
        ASSERT_FALSE(resampler.resample(Bytes(in48), 480, 48000, 2, kS16).empty());
    EXPECT_EQ(resampler.rebuildCount(), 2);
    ASSERT_FALSE(resampler.resample(Bytes(in48), 960, 48000, 1, kS16).empty());
    EXPECT_EQ(resampler.rebuildCount(), 3);
    resampler.release();
    ASSERT_FALSE(resampler.resample(Bytes(in48), 960, 48000, 1, kS16).empty());
    EXPECT_EQ(resampler.rebuildCount(), 4);
}

TEST(PcmResampler, SameRateMonoPassesSamplesThrough) {
    PcmResampler resampler(48000, 1, kS16);
    auto in = Sine(1000, 48000, 1, 20000, 0, 1920);
    FrameHolder frame = resampler.resample(Bytes(in), 1920, 48000, 1, kS16);
    std::vector<int16_t> out;
    Append(frame, &out);
    EXPECT_EQ(out, in);
}

TEST(PcmResampler, BadParametersGiveEmptyResultsAndTheLogLine) {
    zutest::TestHost host;
    PcmResampler resampler(48000, 1, kS16);
    auto in = Sine(1000, 44100, 2, 8000, 0, 441);
    EXPECT_TRUE(resampler.resample(Bytes(in), 441, 0, 2, kS16).empty());
    EXPECT_TRUE(host.contains("avresample_open failed! input: 0-2-1, output: 48000-1-1, error["));
    EXPECT_TRUE(resampler.resample(Bytes(in), 441, 44100, 0, kS16).empty());
    EXPECT_TRUE(host.contains("avresample_open failed! input: 44100-0-1"));
    EXPECT_TRUE(resampler.resample(Bytes(in), 441, 44100, 200, kS16).empty());
    EXPECT_TRUE(resampler.resample(Bytes(in), 441, 44100, 2, 4242).empty());
    EXPECT_TRUE(host.contains("avresample_open failed! input: 44100-2-4242"));
    EXPECT_TRUE(resampler.resample(Bytes(in), 441, 44100, 2, -7).empty());
    // Good parameters with nothing to convert.
    EXPECT_TRUE(resampler.resample(nullptr, 441, 44100, 2, kS16).empty());
    EXPECT_TRUE(resampler.resample(Bytes(in), 0, 44100, 2, kS16).empty());
    EXPECT_TRUE(resampler.resample(Bytes(in), -1, 44100, 2, kS16).empty());
    // A bad block does not spoil the next good one.
    EXPECT_FALSE(resampler.resample(Bytes(in), 441, 44100, 2, kS16).empty());
}

TEST(PcmResampler, PlanarInputIsReadPlaneByPlane) {
    // Float planar, as a recorder or decoder would hand it: left plane, then right.
    const int n = 4800;
    std::vector<float> planes(2 * n);
    for (int i = 0; i < n; ++i) {
        planes[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 1000 * i / 48000.0));
        planes[n + i] = planes[i];
    }
    PcmResampler resampler(48000, 1, kS16);
    FrameHolder frame =
        resampler.resample(reinterpret_cast<const uint8_t*>(planes.data()), n, 48000, 2, kFltp);
    std::vector<int16_t> out;
    Append(frame, &out);
    ASSERT_GE(out.size(), 4000u);
    Tone tone = Measure(out, 480, out.size(), 48000);
    EXPECT_NEAR(tone.hz, 1000.0, 2.0);
    EXPECT_NEAR(tone.peak, 16384, 16384 * 0.03);
}

TEST(PcmResampler, ConvertsToPlanarFloatForTheRecorder) {
    PcmResampler resampler(48000, 2, kFltp);
    auto in = Sine(1000, 44100, 1, 16384, 0, 4410);
    FrameHolder frame = resampler.resample(Bytes(in), 4410, 44100, 1, kS16);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(frame.format(), kFltp);
    EXPECT_EQ(frame.get()->ch_layout.nb_channels, 2);
    EXPECT_GT(frame.get()->nb_samples, 4700);
    ASSERT_NE(frame.data(1), nullptr);
}

namespace {

// The recorder folds the phone's stereo into mono float: the level must stay
// what the phone sent, not rise by the 3 dB an unnormalised mix adds.
TEST(PcmResampler, StereoFoldedToMonoFloatKeepsItsLevel) {
    PcmResampler resampler(44100, 1, kFltp);
    auto in = Sine(1000, 44100, 2, 16384, 0, 4410);
    FrameHolder frame = resampler.resample(Bytes(in), 4410, 44100, 2, kS16);
    ASSERT_FALSE(frame.empty());
    const auto* s = reinterpret_cast<const float*>(frame.data(0));
    float peak = 0.0f;
    for (int i = 0; i < frame.get()->nb_samples; ++i)
        peak = std::max(peak, std::fabs(s[i]));
    EXPECT_NEAR(peak, 16384.0f / 32768.0f, 0.01f);
}

}  // namespace
