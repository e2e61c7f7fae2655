#pragma once

#include <string>

namespace platform {

// Sends everything the process writes to its standard error stream (file
// descriptor 2, so FFmpeg's and our own fprintf lines alike) into a temporary
// file while it is alive, for tests that check those lines. The stream is
// restored by stop() or the destructor; a failed start leaves it untouched.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    bool active() const { return savedFd_ >= 0; }
    // What was written so far; capturing goes on.
    std::string text() const;
    // Restores the stream and returns everything that was written.
    std::string stop();

private:
    int savedFd_ = -1;
    int fileFd_ = -1;
};

}  // namespace platform
