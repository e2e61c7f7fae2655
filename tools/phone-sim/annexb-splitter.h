#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/phone-sim/video-source.h"

namespace phonesim {

// Splits an H.264 Annex B byte stream into access units. Boundaries follow the
// H.264 rules: an access unit delimiter, SPS, PPS, SEI or NAL types 14-18 after
// a slice, or a slice with first_mb_in_slice 0 after a slice, starts a new unit.
// Every byte from the first start code on ends up in exactly one unit.
class AnnexBSplitter {
public:
    struct NalUnit {
        size_t begin = 0;   // first byte of its start code (leading zero bytes included)
        size_t end = 0;     // one past its last byte
        size_t header = 0;  // offset of the NAL header byte
        int type = -1;
    };

    AnnexBSplitter() = default;
    explicit AnnexBSplitter(std::string data);

    // Next access unit; false once the data is used up.
    bool Next(AccessUnit* unit);
    void Rewind() { next_ = 0; }
    // Bytes before the first start code, and start codes with nothing after them.
    size_t skippedBytes() const { return skipped_; }
    size_t nalCount() const { return nals_.size(); }

    // The NAL units of a buffer; a start code with no header byte after it is left out.
    static std::vector<NalUnit> FindNalUnits(const char* data, size_t len,
                                             size_t* skipped = nullptr);
    // Sorts the NAL units of one access unit into configuration and picture.
    static AccessUnit Classify(const char* data, size_t len);
    static bool IsConfig(int type) { return type == 7 || type == 8; }
    static bool IsSlice(int type) { return type == 1 || type == 5; }

private:
    bool StartsNewUnit(const NalUnit& nal, bool sliceSeen) const;
    void Append(const NalUnit& nal, AccessUnit* unit) const;

    std::string data_;
    std::vector<NalUnit> nals_;
    size_t next_ = 0;
    size_t skipped_ = 0;
};

}  // namespace phonesim
