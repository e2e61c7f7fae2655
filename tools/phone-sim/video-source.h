#pragma once

#include <string>

namespace phonesim {

// One H.264 access unit, cut for the stream: the parameter sets go out first as
// a configuration packet, the rest of the unit (delimiter, SEI, slices) as the
// picture packet. Both keep their Annex B start codes.
struct AccessUnit {
    std::string config;   // SPS and PPS NAL units, empty when the unit has none
    std::string picture;  // every other NAL unit of the unit
    bool key = false;     // holds an IDR slice
    bool hasSlice = false;
};

// Where the pictures come from: an Annex B file or the pattern encoder.
class VideoSource {
public:
    virtual ~VideoSource() = default;
    // 1: *unit filled; 0: no more units; -1: failure (*error says why).
    virtual int Next(AccessUnit* unit, std::string* error) = 0;
    virtual int fps() const = 0;
};

}  // namespace phonesim
