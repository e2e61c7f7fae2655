#pragma once

#include <string>
#include <vector>

// Exit codes of zucam-camera; scripts that restart the camera pipeline tell
// the cases apart by them.
enum CameraExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,  // also: the --v4l2 device cannot serve as a camera
    kExitNotRunning = 3,
    kExitTimeout = 4,
    kExitSizeChanged = 5,
    kExitOutputFailed = 6,
    kExitQueueUnreadable = 7,
    kExitNoCameraOutput = 8,  // --sink auto found neither v4l2loopback nor PipeWire
};

// The command line of zucam-camera.
class CameraOptions {
public:
    enum class Parsed { Run, Help, Version, Error };
    enum class Output { Auto, PipeWire, V4l2, Y4m };

    Output output = Output::Auto;
    std::string y4mPath;     // "-": standard output
    std::string v4l2Device;  // /dev/videoN
    int width = 1280;        // camera outputs only
    int height = 720;
    long long frames = 0;       // 0: no limit
    double timeoutSeconds = 0;  // 0: wait for ever (YUV4MPEG2 only)
    int fps = 30;
    bool stats = false;
    bool verbose = false;
    int copyPauseMs = 0;    // test hook: lets a writer lap the copy
    std::string timingLog;  // benchmark hook: one line per picture handed on
    std::string language;   // "zh", "en" or empty: from the environment

    // Whether the waiting picture speaks Chinese: --lang wins, then
    // $ZUCAM_LANG ("zh" or "en"), then a locale name starting with "zh".
    static bool Chinese(const std::string& lang, const std::string& zucamLang,
                        const std::string& locale);
    // Chinese() with this command line and the process's environment.
    bool chinese() const;

    bool cameraOutput() const { return output != Output::Y4m; }

    // Parses argv[1..]; *error says what is wrong for Parsed::Error.
    Parsed parse(const std::vector<std::string>& args, std::string* error);
    static std::string UsageText();

private:
    bool setOutput(Output chosen, const std::string& arg, std::string* error);
    bool parseValue(const std::string& arg, const std::string& value);
    bool outputSeen_ = false;
};
