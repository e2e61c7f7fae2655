#pragma once

#include <string>

#include "platform/child-process.h"
#include "platform/paths.h"

namespace zutest {

// Makes sure a PipeWire daemon with its session manager answers: the one
// the test run provides, else one started here with scripts/services.sh.
class PipeWireDaemon {
public:
    static bool Answers() {
        std::string out, err;
        return platform::RunProcess({"pw-cli", "info", "0"}, 5000, &out, &err) == 0;
    }
    bool ensure(std::string* why) {
        if (Answers())
            return true;
        std::string out, err;
        int code = platform::RunProcess(
            {"sh", std::string(ZUCAM_SOURCE_DIR) + "/scripts/services.sh", "start", "pipewire"},
            60000, &out, &err);
        for (const char* name : {"ZUCAM_SERVICES_STATE", "PIPEWIRE_RUNTIME_DIR"}) {
            size_t at = out.find(std::string(name) + "=");
            if (at == std::string::npos)
                continue;
            size_t from = at + std::string(name).size() + 1;
            platform::SetEnv(name, out.substr(from, out.find(';', from) - from));
            // Only what this start made is stopped again, never the test run's.
            started_ = started_ || std::string(name) == "ZUCAM_SERVICES_STATE";
        }
        if (code == 0 && Answers())
            return true;
        *why =
            "no PipeWire daemon answers and scripts/services.sh could not start one "
            "(pipewire, wireplumber and dbus must be installed): " +
            err;
        return false;
    }
    ~PipeWireDaemon() {
        if (started_) {
            platform::RunProcess(
                {"sh", std::string(ZUCAM_SOURCE_DIR) + "/scripts/services.sh", "stop"}, 30000,
                nullptr);
            platform::SetEnv("ZUCAM_SERVICES_STATE", "");
            platform::SetEnv("PIPEWIRE_RUNTIME_DIR", "");
        }
    }

private:
    bool started_ = false;
};

}  // namespace zutest
