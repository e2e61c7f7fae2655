#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/phone-sim/video-source.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace phonesim {

// A moving test picture encoded live with libx264 (preset ultrafast, tune
// zerolatency: one access unit out per picture in, no B-frames), Annex B output
// with the parameter sets repeated before every IDR picture.
//
// The picture: a diagonal luma ramp that slides each frame, a bright square
// crossing the screen, colour bands, and along the top edge the frame number
// as 16 black/white blocks (most significant bit first), so a receiver can tell
// which picture it decoded.
class PatternEncoder : public VideoSource {
public:
    struct Settings {
        int width = 640;
        int height = 360;
        int fps = 30;
        int gop = 0;          // 0: two seconds' worth of frames
        int bitrateKbps = 0;  // 0: x264's constant-quality default
        // Sizes taken in turn with width x height, one per picture; every
        // change of size starts a new stream (parameter sets and an IDR).
        std::vector<std::pair<int, int>> moreSizes;
    };

    PatternEncoder();
    ~PatternEncoder() override;
    PatternEncoder(const PatternEncoder&) = delete;
    PatternEncoder& operator=(const PatternEncoder&) = delete;

    bool Open(const Settings& settings, std::string* error);
    int Next(AccessUnit* unit, std::string* error) override;
    int fps() const override { return settings_.fps; }

    // The counter blocks: 16 blocks across the top, each width/16 wide and
    // this many lines high.
    static int CounterHeight(int height) { return height / 8 < 16 ? 16 : height / 8; }
    static constexpr int kCounterBits = 16;

private:
    bool OpenCodec(int width, int height, std::string* error);
    void Paint(int64_t index);

    struct Parts;
    std::unique_ptr<Parts> parts_;
    Settings settings_;
    int64_t index_ = 0;
};

}  // namespace phonesim
