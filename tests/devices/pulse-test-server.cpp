#include "tests/devices/pulse-test-server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/child-process.h"
#include "platform/paths.h"

namespace zutest {
namespace {

bool g_reachable = false;

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

void LocateServer() {
    std::string out;
    // Untranslated output: the line is looked up by its English name.
    int rc = platform::RunProcess({"env", "LC_ALL=C", "pactl", "info"}, 10000, &out);
    if (rc != 0)
        return;
    g_reachable = true;
    if (!platform::GetEnv("PULSE_SERVER").empty())
        return;
    const std::string key = "Server String: ";
    size_t at = out.find(key);
    if (at == std::string::npos)
        return;
    std::string server = out.substr(at + key.size(), out.find('\n', at) - at - key.size());
    if (!server.empty() && server[0] == '/')
        server = "unix:" + server;
    ::setenv("PULSE_SERVER", server.c_str(), 1);
}

class PulseServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override { LocateServer(); }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new PulseServerEnvironment);

}  // namespace

bool PulseServerReachable() {
    return g_reachable;
}

std::string PulseServerMissingText() {
    return "no PulseAudio server can be reached (pactl info fails); start one with "
           "`pulseaudio -D --exit-idle-time=-1` or scripts/services.sh";
}

std::string Pactl(const std::string& args, int timeoutMs) {
    std::vector<std::string> argv = {"pactl"};
    for (const std::string& w : Words(args))
        argv.push_back(w);
    std::string out;
    if (platform::RunProcess(argv, timeoutMs, &out) != 0)
        return std::string();
    return out;
}

}  // namespace zutest
