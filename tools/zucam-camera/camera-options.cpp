#include "tools/zucam-camera/camera-options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/paths.h"

namespace {

bool ParseCount(const std::string& text, long long min, long long max, long long* out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < min || value > max)
        return false;
    *out = value;
    return true;
}

bool ParseSeconds(const std::string& text, double* out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value <= 0 || value > 1e6) {
        return false;
    }
    *out = value;
    return true;
}

// "WxH", both even (I420 halves them) and within what a camera consumer takes.
bool ParseSize(const std::string& text, int* width, int* height) {
    size_t x = text.find('x');
    long long w = 0, h = 0;
    if (x == std::string::npos || !ParseCount(text.substr(0, x), 16, 3840, &w) ||
        !ParseCount(text.substr(x + 1), 16, 2160, &h) || w % 2 != 0 || h % 2 != 0) {
        return false;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

bool TakesValue(const std::string& arg) {
    return arg == "--y4m" || arg == "--v4l2" || arg == "--sink" || arg == "--size" ||
           arg == "--frames" || arg == "--timeout" || arg == "--fps" ||
           arg == "--pause-during-copy" || arg == "--timing-log" || arg == "--lang";
}

}  // namespace

bool CameraOptions::setOutput(Output chosen, const std::string& arg, std::string* error) {
    if (outputSeen_ && output != chosen) {
        *error = "give one output only: " + arg + " and an earlier output option";
        return false;
    }
    outputSeen_ = true;
    output = chosen;
    return true;
}

bool CameraOptions::parseValue(const std::string& arg, const std::string& value) {
    long long number = 0;
    if (arg == "--y4m") {
        y4mPath = value;
        return !value.empty();
    }
    if (arg == "--v4l2") {
        v4l2Device = value;
        return !value.empty();
    }
    if (arg == "--sink")
        return value == "auto" || value == "pipewire";
    if (arg == "--size")
        return ParseSize(value, &width, &height);
    if (arg == "--frames")
        return ParseCount(value, 1, 1LL << 62, &frames);
    if (arg == "--timeout")
        return ParseSeconds(value, &timeoutSeconds);
    if (arg == "--lang") {
        language = value;
        return value == "zh" || value == "en";
    }
    if (arg == "--timing-log") {
        timingLog = value;
        return !value.empty();
    }
    bool ok = ParseCount(value, 1, arg == "--fps" ? 1000 : 60000, &number);
    (arg == "--fps" ? fps : copyPauseMs) = static_cast<int>(number);
    return ok;
}

CameraOptions::Parsed CameraOptions::parse(const std::vector<std::string>& args,
                                           std::string* error) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h")
            return Parsed::Help;
        if (arg == "--version")
            return Parsed::Version;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--stats" || arg == "--verbose") {
            (arg == "--stats" ? stats : verbose) = true;
            continue;
        }
        if (arg == "--pipewire") {
            if (!setOutput(Output::PipeWire, arg, error))
                return Parsed::Error;
            continue;
        }
        if (!TakesValue(arg)) {
            *error = "unknown option \"" + arg + "\"";
            return Parsed::Error;
        }
        if (i + 1 >= args.size()) {
            *error = arg + " needs a value";
            return Parsed::Error;
        }
        const std::string& value = args[++i];
        if (!parseValue(arg, value)) {
            *error = "bad value \"" + value + "\" for " + arg;
            if (arg == "--size")
                *error += " (WxH with even sides, for example 1280x720)";
            if (arg == "--sink")
                *error += " (auto or pipewire; --v4l2 DEVICE names a device)";
            if (arg == "--lang")
                *error += " (zh or en)";
            return Parsed::Error;
        }
        Output chosen = arg == "--y4m" ? Output::Y4m : arg == "--v4l2" ? Output::V4l2 : output;
        if (arg == "--sink")
            chosen = value == "auto" ? Output::Auto : Output::PipeWire;
        if ((arg == "--y4m" || arg == "--v4l2" || arg == "--sink") &&
            !setOutput(chosen, arg, error)) {
            return Parsed::Error;
        }
    }
    if (cameraOutput() && timeoutSeconds > 0) {
        *error = "--timeout is for --y4m only: a camera output waits for the phone for ever";
        return Parsed::Error;
    }
    return Parsed::Run;
}

bool CameraOptions::Chinese(const std::string& lang, const std::string& zucamLang,
                            const std::string& locale) {
    for (std::string chosen : {lang, zucamLang}) {
        // The window reads $ZUCAM_LANG with spaces and case ignored.
        chosen.erase(0, chosen.find_first_not_of(" \t"));
        chosen.erase(chosen.find_last_not_of(" \t") + 1);
        for (char& c : chosen)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (chosen == "zh" || chosen == "en")
            return chosen == "zh";
    }
    return locale.compare(0, 2, "zh") == 0;
}

bool CameraOptions::chinese() const {
    // The locale that names the language of messages, as the C library reads it.
    std::string locale = platform::GetEnv("LC_ALL");
    if (locale.empty())
        locale = platform::GetEnv("LC_MESSAGES");
    if (locale.empty())
        locale = platform::GetEnv("LANG");
    return Chinese(language, platform::GetEnv("ZUCAM_LANG"), locale);
}

std::string CameraOptions::UsageText() {
    return "Usage: zucam-camera [--sink auto | --pipewire | --v4l2 /dev/videoN] [--size WxH]\n"
           "                    [--fps N] [--frames N] [--verbose]\n"
           "       zucam-camera --y4m FILE|- [--frames N] [--timeout S] [--fps N] [--stats]\n"
           "\n"
           "Serves the ZuCam virtual camera to Linux programs: reads every new picture\n"
           "ZuCam publishes in its camera queue (/dev/shm/ZuVirtualCameraQueue-UID) and\n"
           "hands it on as a camera that video-call, recording and streaming programs\n"
           "pick like any other. ZuCam and zucamd start it themselves.\n"
           "\n"
           "Camera outputs:\n"
           "  --sink auto  (the default) a v4l2loopback device labelled \"ZuCam\" when one\n"
           "               exists, else PipeWire when a PipeWire daemon answers\n"
           "  --pipewire   a PipeWire camera named \"ZuCam\" (OBS's PipeWire capture,\n"
           "               browsers, GStreamer's pipewiresrc)\n"
           "  --v4l2 DEV   write to a v4l2loopback device, made with\n"
           "               sudo modprobe v4l2loopback exclusive_caps=1 card_label=ZuCam\n"
           "  --size WxH   the camera's picture size (default 1280x720); every phone\n"
           "               picture is scaled into it with black bands, so turning the\n"
           "               phone never changes the camera\n"
           "  --fps N      pictures per second (default 30); the last picture is repeated,\n"
           "               and \"waiting for the phone\" is shown while there is none\n"
           "  --frames N   stop after N pictures\n"
           "  --lang L     the language of \"waiting for the phone\": zh or en (default:\n"
           "               $ZUCAM_LANG, else Chinese for a zh locale, else English)\n"
           "  --verbose    say more about what happens on standard error\n"
           "\n"
           "YUV4MPEG2 output (for tools and scripts):\n"
           "  --y4m FILE   write an I420 stream to FILE; \"-\" writes to standard output\n"
           "  --timeout S  give up when no new picture arrives for S seconds; also wait\n"
           "               at most S seconds for ZuCam when it is not running at the start\n"
           "               (without it, a missing ZuCam ends the program at once, and\n"
           "               pictures are awaited for ever)\n"
           "  --fps N      frame rate written into the stream header (default 30)\n"
           "  --stats      print pictures, drops and frame rate to standard error at the end\n"
           "  --pause-during-copy MS\n"
           "               testing aid: pause MS milliseconds in the middle of every copy\n"
           "  --timing-log FILE\n"
           "               benchmark aid: one line of times for every picture handed on\n"
           "  -h, --help   show this text\n"
           "  --version    show the version\n"
           "\n"
           "A copy that ZuCam overwrites while it is being taken is dropped, never\n"
           "written out. When ZuCam closes and starts again, reading goes on.\n"
           "\n"
           "The YUV4MPEG2 picture size is fixed by the first picture: the format cannot\n"
           "change size. When ZuCam's picture size changes (the phone is turned, or\n"
           "another phone connects), the stream ends cleanly before the new picture and\n"
           "zucam-camera exits with code 5; start it again to follow the new size.\n"
           "\n"
           "Exit codes:\n"
           "  0  done (N pictures written, or stopped by SIGINT/SIGTERM)\n"
           "  2  bad command line, or the --v4l2 device cannot be used\n"
           "  3  ZuCam is not running (no camera queue; YUV4MPEG2 only)\n"
           "  4  no new picture within the --timeout\n"
           "  5  the picture size changed (YUV4MPEG2 only)\n"
           "  6  the output cannot be opened or written (for example the reading\n"
           "     end of the pipe was closed, or the PipeWire daemon went away)\n"
           "  7  the camera queue exists but cannot be read\n"
           "  8  no camera output: neither a v4l2loopback device nor PipeWire\n";
}
