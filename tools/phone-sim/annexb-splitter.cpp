#include "tools/phone-sim/annexb-splitter.h"

#include <cstring>
#include <utility>

namespace phonesim {
namespace {

// Offset of the next 00 00 01 at or after `from`, or len.
size_t FindStartCode(const char* data, size_t len, size_t from) {
    size_t i = from + 2;
    while (i < len) {
        const void* hit = std::memchr(data + i, 1, len - i);
        if (!hit)
            return len;
        i = static_cast<size_t>(static_cast<const char*>(hit) - data);
        if (data[i - 1] == 0 && data[i - 2] == 0)
            return i - 2;
        ++i;
    }
    return len;
}

}  // namespace

AnnexBSplitter::AnnexBSplitter(std::string data) : data_(std::move(data)) {
    nals_ = FindNalUnits(data_.data(), data_.size(), &skipped_);
}

std::vector<AnnexBSplitter::NalUnit> AnnexBSplitter::FindNalUnits(const char* data, size_t len,
                                                                  size_t* skipped) {
    std::vector<NalUnit> nals;
    size_t lost = 0;
    size_t code = FindStartCode(data, len, 0);
    // Zero bytes right before a start code belong to it (zero_byte and the
    // previous unit's trailing_zero_8bits are indistinguishable; either way they
    // travel with the stream).
    size_t begin = code;
    while (code < len && begin > 0 && data[begin - 1] == 0)
        --begin;
    lost += begin;
    while (code < len) {
        size_t header = code + 3;
        size_t nextCode = FindStartCode(data, len, header);
        size_t end = nextCode;
        while (nextCode < len && end > header && data[end - 1] == 0)
            --end;
        if (header < end) {
            NalUnit nal;
            nal.begin = begin;
            nal.end = end;
            nal.header = header;
            nal.type = static_cast<unsigned char>(data[header]) & 0x1f;
            nals.push_back(nal);
        } else {
            lost += end - begin;
        }
        begin = end;
        code = nextCode;
    }
    if (skipped)
        *skipped = lost;
    return nals;
}

bool AnnexBSplitter::StartsNewUnit(const NalUnit& nal, bool sliceSeen) const {
    if (!sliceSeen)
        return false;
    int t = nal.type;
    if (t == 6 || t == 7 || t == 8 || t == 9 || (t >= 14 && t <= 18))
        return true;
    if (!IsSlice(t) || nal.header + 1 >= nal.end)
        return false;
    // first_mb_in_slice is the first ue(v) of the slice header: it is 0 exactly
    // when the first bit is 1, and 0 marks the first slice of a new picture.
    return (static_cast<unsigned char>(data_[nal.header + 1]) & 0x80) != 0;
}

void AnnexBSplitter::Append(const NalUnit& nal, AccessUnit* unit) const {
    std::string& target = IsConfig(nal.type) ? unit->config : unit->picture;
    target.append(data_, nal.begin, nal.end - nal.begin);
    if (nal.type == 5)
        unit->key = true;
    if (IsSlice(nal.type))
        unit->hasSlice = true;
}

bool AnnexBSplitter::Next(AccessUnit* unit) {
    *unit = AccessUnit();
    if (next_ >= nals_.size())
        return false;
    bool sliceSeen = false;
    while (next_ < nals_.size()) {
        const NalUnit& nal = nals_[next_];
        if (StartsNewUnit(nal, sliceSeen))
            break;
        Append(nal, unit);
        sliceSeen = sliceSeen || IsSlice(nal.type) || (nal.type >= 2 && nal.type <= 4);
        ++next_;
    }
    return true;
}

AccessUnit AnnexBSplitter::Classify(const char* data, size_t len) {
    AccessUnit unit;
    for (const NalUnit& nal : FindNalUnits(data, len)) {
        std::string& target = IsConfig(nal.type) ? unit.config : unit.picture;
        target.append(data + nal.begin, nal.end - nal.begin);
        if (nal.type == 5)
            unit.key = true;
        if (IsSlice(nal.type))
            unit.hasSlice = true;
    }
    return unit;
}

}  // namespace phonesim
