#include "tests/support/xvfb.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process-list.h"

namespace zutest {
namespace {

// The process named in an X server's lock file, 0 when there is none.
long LockHolder(int number) {
    std::string text;
    if (!platform::ReadWholeFile("/tmp/.X" + std::to_string(number) + "-lock", &text))
        return 0;
    return std::atol(text.c_str());
}

// True once a server of this network namespace listens on the display's
// socket file: a leftover file of a server that is gone is not listed.
bool Listens(int number) {
    const std::string path = " /tmp/.X11-unix/X" + std::to_string(number);
    std::ifstream table("/proc/self/net/unix");
    for (std::string line; std::getline(table, line);) {
        if (line.size() > path.size() &&
            line.compare(line.size() - path.size(), path.size(), path) == 0 &&
            line.find(" 00010000 ") != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool StartXvfb(platform::ChildProcess* server, const std::string& dir, bool endWithLastClient,
               int timeoutMs, std::string* display) {
    const std::string log = dir + "/xvfb.log";
    *display = log;
    // Numbers of this process's own, far from people's desktops and from the
    // test services' server. A number is held by its lock file, which Xvfb
    // honours; -displayfd would pick a number itself but takes no lock, and
    // inside another network namespace it then takes over the socket file of
    // a server that is running.
    const int first = 200 + static_cast<int>(platform::CurrentProcessId() % 5000) * 10;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int number = first; number < first + 10; ++number) {
        const long holder = LockHolder(number);
        if (holder > 0 && platform::ProcessExists(holder))
            continue;
        platform::ChildProcess::Options options;
        options.argv = {"Xvfb",        ":" + std::to_string(number),
                        "-screen",     "0",
                        "1280x800x24", "-nolisten",
                        "tcp",         endWithLastClient ? "-terminate" : "-noreset"};
        options.stdoutPath = log;
        options.stderrPath = log;
        if (!server->start(options))
            return false;
        while (server->running()) {
            if (LockHolder(number) == server->pid() && Listens(number)) {
                *display = ":" + std::to_string(number);
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                server->stop(1000);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // Another server took the number first.
    }
    return false;
}

}  // namespace zutest
