#pragma once

#include <set>
#include <string>

namespace zusplog {

// The command line of zusp-log-server, the desktop end that the phone
// simulator's end-to-end tests talk to.
struct LogServerOptions {
    enum class Parsed { kRun, kHelp, kError };

    int port = 0;              // command port; 0: any free port
    std::string logPath;       // packet log, one line per delivered packet
    std::string deviceName;    // the "zucam_device_name" the server reports
    std::set<int> accepted;    // custom command types handled (others refused)
    double limitSeconds = 60;  // the server gives up after this long

    static Parsed Parse(int argc, char** argv, LogServerOptions* out, std::string* error);
    static std::string HelpText();
};

}  // namespace zusplog
