#pragma once

#include <cstdint>
#include <string>

namespace bg {

// Time services of the host.
class Clock {
public:
    // The current local time formatted with a strftime pattern.
    std::string format(const char* pattern) const;
    // The current time in microseconds. `monotonic` 1 (what the program always
    // passes) reads a clock that never jumps; 0 reads the wall clock since the
    // Unix epoch.
    int64_t now(int monotonic = 1) const;
    // Opens the folder holding `filePath` (UTF-8) in the desktop's file browser.
    // The browser is started without a shell and the call never waits for it.
    // $ZUCAM_OPEN_COMMAND, when set, names the program used instead of xdg-open.
    // False when the program could not be started.
    bool openLocation(const std::string& filePath) const;
};

}  // namespace bg
