#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dep/QtComponent/ffmpeg/packet-holder.h"

namespace zutest {

// A synthetic camera stream: lavfi's testsrc2 pattern encoded by libx264
// through the ffmpeg command, written as raw Annex B.
struct H264StreamRecipe {
    int width = 320;
    int height = 240;
    int frames = 30;
    int fps = 30;
    int gop = 30;                      // frames from one IDR picture to the next
    std::string profile = "baseline";  // empty: the encoder's choice
    std::string preset = "veryfast";
    std::string pixelFormat = "yuv420p";
    int bFrames = -1;     // -1: the preset's choice
    int bitrateKbps = 0;  // 0: constant quality
};

// One access unit as a phone sends it: start codes included, parameter sets
// (if any) in front of the picture.
struct AccessUnit {
    std::vector<uint8_t> bytes;
    bool idr = false;            // holds an IDR slice
    bool parameterSets = false;  // holds an SPS
};

// Encodes `recipe` into `path`. False with a reason when the ffmpeg command is
// missing, fails or runs past timeoutMs.
bool EncodeH264Stream(const H264StreamRecipe& recipe, const std::string& path, std::string* error,
                      int timeoutMs = 120000);

// Cuts an Annex B stream into access units by NAL unit inspection: a new unit
// begins at an access unit delimiter, SEI or parameter set, or at a slice
// whose first macroblock is 0, once the current unit holds a slice.
std::vector<AccessUnit> SplitAccessUnits(const std::vector<uint8_t>& stream);

// Where the stream of `recipe` is kept between test programs: beside the build's
// binaries ($ZUCAM_BIN_DIR/../h264-test-streams) or in the temporary folder.
std::string StreamCachePath(const H264StreamRecipe& recipe);

// Encodes `recipe` into its cache file unless it is there already, then splits
// it. Empty with a reason on failure. Safe when several programs ask at once:
// the file appears whole or not at all.
std::vector<AccessUnit> MakeAccessUnits(const H264StreamRecipe& recipe, std::string* error,
                                        int timeoutMs = 120000);

// The access unit as the server hands it over: a copy of the bytes, no flags
// unless `key`, presentation number `pts`.
PacketHolder ToPacket(const AccessUnit& unit, long long pts = 0, bool key = false);
PacketHolder ToPacket(const std::vector<uint8_t>& bytes, long long pts = 0, bool key = false);

}  // namespace zutest
