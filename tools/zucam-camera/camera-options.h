#pragma once

#include <string>
#include <vector>

// Exit codes of zucam-camera; scripts that restart the camera pipeline tell
// the cases apart by them.
enum CameraExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,
    kExitNotRunning = 3,
    kExitTimeout = 4,
    kExitSizeChanged = 5,
    kExitOutputFailed = 6,
    kExitQueueUnreadable = 7,
};

// The command line of zucam-camera.
class CameraOptions {
public:
    enum class Parsed { Run, Help, Error };

    std::string y4mPath;        // "-": standard output
    long long frames = 0;       // 0: no limit
    double timeoutSeconds = 0;  // 0: wait for ever
    int fps = 30;
    bool stats = false;
    int copyPauseMs = 0;  // test hook: lets a writer lap the copy

    // Parses argv[1..]; *error says what is wrong for Parsed::Error.
    Parsed parse(const std::vector<std::string>& args, std::string* error);
    static std::string UsageText();
};
