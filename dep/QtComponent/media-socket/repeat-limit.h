#pragma once

#include <cstdint>

namespace media_socket {

// Keeps a line one peer can make us write at will (a ping, say) from filling
// the log: within each window of `windowUs`, counted from the first line of
// the window, the first `burst` lines are written and the rest only counted.
// The count is told once, in one "… N more" line, before the next written
// line or when the connection ends.
class RepeatLimit {
public:
    static constexpr int kDefaultBurst = 20;
    static constexpr int64_t kDefaultWindowUs = 10 * 1000 * 1000;

    explicit RepeatLimit(int burst = kDefaultBurst, int64_t windowUs = kDefaultWindowUs)
        : burst_(burst), windowUs_(windowUs) {}

    // Whether a line at `nowUs` is to be written. When it is, *heldBack is
    // how many lines were held back before it (to tell first), else 0.
    bool Allow(int64_t nowUs, uint64_t* heldBack);
    // The lines held back and not told yet; forgets them.
    uint64_t TakeHeldBack();

private:
    int burst_;
    int64_t windowUs_;
    bool started_ = false;
    int64_t windowStartUs_ = 0;
    int written_ = 0;
    uint64_t heldBack_ = 0;
};

}  // namespace media_socket
