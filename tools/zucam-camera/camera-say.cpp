#include "tools/zucam-camera/camera-say.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

std::atomic<bool> gVerbose{false};

void SayLine(const char* format, std::va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof(text), format, args);
    // One fputs per line: the parent process reading our lines never sees
    // two of them interleaved.
    std::string line = std::string("zucam-camera: ") + text + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

void SetVerbose(bool verbose) {
    gVerbose = verbose;
}

void Say(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    SayLine(format, args);
    va_end(args);
}

void SayMore(const char* format, ...) {
    if (!gVerbose)
        return;
    std::va_list args;
    va_start(args, format);
    SayLine(format, args);
    va_end(args);
}
