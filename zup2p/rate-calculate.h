#pragma once

#include <cstdint>

#include "zup2p/zup2p-export.h"

namespace bg {

class RateCalculatePrivate;

// A thread-safe throughput meter: amounts counted with update() over a window
// of at least the 20 newest updates and otherwise the last second. More than
// 10 s without an update starts it afresh.
class ZUP2P_EXPORT RateCalculate {
public:
    RateCalculate();
    virtual ~RateCalculate();
    // Copies would share (and each delete) the implementation.
    RateCalculate(const RateCalculate&) = delete;
    RateCalculate& operator=(const RateCalculate&) = delete;

    // Counts `amount` (bytes, packets, any unit); amounts <= 0 are ignored.
    void update(int64_t amount);
    // Amount per second over the current window; 0 after a long pause.
    int64_t current_rate();
    void reset();

private:
    RateCalculatePrivate* d;
};

}  // namespace bg
