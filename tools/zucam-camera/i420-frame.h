#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where a phone picture lies inside a camera picture; the rest is bands.
struct FittedRegion {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const FittedRegion& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
    bool operator!=(const FittedRegion& o) const { return !(*this == o); }
};

// One camera picture of the output's fixed size: I420, even sides, planes
// packed one after another without row padding.
struct I420Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;
    FittedRegion region;  // what the last fitted picture covered

    void allocate(int w, int h) {
        width = w;
        height = h;
        bytes.assign(size_t(w) * h * 3 / 2, 0);
        region = FittedRegion{};
    }
    uint8_t* y() { return bytes.data(); }
    uint8_t* u() { return bytes.data() + size_t(width) * height; }
    uint8_t* v() { return u() + size_t(width / 2) * (height / 2); }
    const uint8_t* y() const { return bytes.data(); }
    const uint8_t* u() const { return bytes.data() + size_t(width) * height; }
    const uint8_t* v() const { return u() + size_t(width / 2) * (height / 2); }
};
