#include "tests/tools/phone-sim-server/log-server-options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zusplog {
namespace {

bool ToLong(const std::string& text, long lo, long hi, long* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool ToSeconds(const std::string& text, double* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v <= 0 || v > 3600)
        return false;
    *out = v;
    return true;
}

}  // namespace

LogServerOptions::Parsed LogServerOptions::Parse(int argc, char** argv, LogServerOptions* out,
                                                 std::string* error) {
    LogServerOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return Parsed::kHelp;
        if (arg != "--port" && arg != "--log" && arg != "--device-name" && arg != "--accept" &&
            arg != "--seconds") {
            *error = "unknown option " + arg;
            return Parsed::kError;
        }
        if (i + 1 >= argc) {
            *error = arg + " needs a value";
            return Parsed::kError;
        }
        const std::string value = argv[++i];
        long n = 0;
        bool ok = true;
        if (arg == "--port") {
            ok = ToLong(value, 0, 65535, &n);
            o.port = static_cast<int>(n);
        } else if (arg == "--log") {
            ok = !value.empty();
            o.logPath = value;
        } else if (arg == "--device-name") {
            o.deviceName = value;
        } else if (arg == "--accept") {
            // 1001 and everything below 3 are answered by the server itself.
            ok = ToLong(value, 3, 1000000, &n) && n != 1001;
            o.accepted.insert(static_cast<int>(n));
        } else {
            ok = ToSeconds(value, &o.limitSeconds);
        }
        if (!ok) {
            *error = "bad value for " + arg + ": '" + value + "'";
            return Parsed::kError;
        }
    }
    if (o.logPath.empty()) {
        *error = "--log FILE is required";
        return Parsed::kError;
    }
    *out = o;
    return Parsed::kRun;
}

std::string LogServerOptions::HelpText() {
    return R"(Usage: zusp-log-server --log FILE [OPTIONS]

A ZuCam stream-protocol server for tests: it serves one phone on 0.0.0.0 and
writes every video and audio packet delivered to its callbacks to FILE, in the
line format of zucam-phone-sim --log-packets. Events go to standard output:
  serving on command port N | stream port N | connected name=NAME |
  command type=T accepted|refused | disconnected | stopped | time limit reached

  --port N           command port (default 0: any free port)
  --device-name TEXT the name the device-name command reports (default empty)
  --accept T         handle custom command type T (repeatable); others are refused
  --seconds S        give up after S seconds (default 60)

Exit status: 0 stopped by SIGINT/SIGTERM; 1 cannot listen or write the log;
2 bad command line; 3 the time limit was reached.
)";
}

}  // namespace zusplog
