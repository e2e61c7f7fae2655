#include "tools/zucam-camera/camera-options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

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

}  // namespace

CameraOptions::Parsed CameraOptions::parse(const std::vector<std::string>& args,
                                           std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h")
            return Parsed::Help;
        if (arg == "--stats") {
            stats = true;
            continue;
        }
        bool takesValue = arg == "--y4m" || arg == "--frames" || arg == "--timeout" ||
                          arg == "--fps" || arg == "--pause-during-copy";
        if (!takesValue) {
            *error = "unknown option \"" + arg + "\"";
            return Parsed::Error;
        }
        if (i + 1 >= args.size()) {
            *error = arg + " needs a value";
            return Parsed::Error;
        }
        const std::string& value = args[++i];
        long long number = 0;
        bool ok = true;
        if (arg == "--y4m") {
            ok = !value.empty();
            y4mPath = value;
        } else if (arg == "--frames") {
            ok = ParseCount(value, 1, 1LL << 62, &frames);
        } else if (arg == "--timeout") {
            ok = ParseSeconds(value, &timeoutSeconds);
        } else if (arg == "--fps") {
            ok = ParseCount(value, 1, 1000, &number);
            fps = static_cast<int>(number);
        } else {
            ok = ParseCount(value, 1, 60000, &number);
            copyPauseMs = static_cast<int>(number);
        }
        if (!ok) {
            *error = "bad value \"" + value + "\" for " + arg;
            return Parsed::Error;
        }
    }
    if (y4mPath.empty()) {
        *error = "no output: give --y4m FILE (or --y4m - for standard output)";
        return Parsed::Error;
    }
    return Parsed::Run;
}

std::string CameraOptions::UsageText() {
    return "Usage: zucam-camera --y4m FILE|- [--frames N] [--timeout S] [--fps N] [--stats]\n"
           "\n"
           "Serves the ZuCam virtual camera to Linux programs: reads every new picture\n"
           "ZuCam publishes in its camera queue (/dev/shm/ZuVirtualCameraQueue) and\n"
           "writes it out as a YUV4MPEG2 (I420) stream. To feed a v4l2loopback camera:\n"
           "  zucam-camera --y4m - | ffmpeg -f yuv4mpegpipe -i - -f v4l2 /dev/video10\n"
           "\n"
           "Options:\n"
           "  --y4m FILE   write the stream to FILE; \"-\" writes to standard output\n"
           "  --frames N   stop after N pictures\n"
           "  --timeout S  give up when no new picture arrives for S seconds; also wait\n"
           "               at most S seconds for ZuCam when it is not running at the start\n"
           "               (without it, a missing ZuCam ends the program at once, and\n"
           "               pictures are awaited for ever)\n"
           "  --fps N      frame rate written into the stream header (default 30)\n"
           "  --stats      print pictures, drops and frame rate to standard error at the end\n"
           "  --pause-during-copy MS\n"
           "               testing aid: pause MS milliseconds in the middle of every copy\n"
           "  -h, --help   show this text\n"
           "\n"
           "A copy that ZuCam overwrites while it is being taken is dropped, never\n"
           "written out. When ZuCam closes and starts again, reading goes on.\n"
           "\n"
           "The picture size is fixed by the first picture: a YUV4MPEG2 stream cannot\n"
           "change size. When ZuCam's picture size changes (the phone is turned, or\n"
           "another phone connects), the stream ends cleanly before the new picture and\n"
           "zucam-camera exits with code 5; start it again to follow the new size.\n"
           "\n"
           "Exit codes:\n"
           "  0  done (N pictures written, or stopped by SIGINT/SIGTERM)\n"
           "  2  bad command line\n"
           "  3  ZuCam is not running (no camera queue)\n"
           "  4  no new picture within the --timeout\n"
           "  5  the picture size changed\n"
           "  6  the output cannot be opened or written (for example the reading\n"
           "     end of the pipe was closed)\n"
           "  7  the camera queue exists but cannot be read\n";
}
