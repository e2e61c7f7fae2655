#include "tests/support/xvfb.h"

#include <chrono>
#include <thread>

#include "platform/files.h"

namespace zutest {

bool StartXvfb(platform::ChildProcess* server, const std::string& dir, bool endWithLastClient,
               int timeoutMs, std::string* display) {
    const std::string numberFile = dir + "/display-number";
    const std::string log = dir + "/xvfb.log";
    platform::ChildProcess::Options options;
    options.argv = {"sh", "-c",
                    std::string("exec Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp ") +
                        (endWithLastClient ? "-terminate" : "-noreset") + " 3>\"$0\"",
                    numberFile};
    options.stdoutPath = log;
    options.stderrPath = log;
    *display = log;
    if (!server->start(options))
        return false;
    // The number is written, with a newline, once the server takes
    // connections.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string number;
    while (!platform::ReadWholeFile(numberFile, &number) ||
           number.find('\n') == std::string::npos) {
        if (!server->running() || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    *display = ":" + number.substr(0, number.find('\n'));
    return true;
}

}  // namespace zutest
