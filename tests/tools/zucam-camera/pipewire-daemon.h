#pragma once

#include <json/json.h>

#include <string>
#include <vector>

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

// The "ZuCam" node the process `pid` made, from pw-dump: its serial for
// pipewiresrc, and its properties.
inline bool FindPipeWireNode(long pid, std::string* serial, Json::Value* props) {
    std::string dump;
    if (platform::RunProcess({"pw-dump"}, 10000, &dump) != 0)
        return false;
    Json::Value all;
    Json::Reader reader;
    if (!reader.parse(dump, all) || !all.isArray())
        return false;
    std::vector<int> clients;
    for (const Json::Value& o : all) {
        const Json::Value& p = o["info"]["props"];
        if (o["type"].asString() == "PipeWire:Interface:Client" &&
            p["application.process.id"].asString() == std::to_string(pid)) {
            clients.push_back(o["id"].asInt());
        }
    }
    for (const Json::Value& o : all) {
        const Json::Value& p = o["info"]["props"];
        if (o["type"].asString() != "PipeWire:Interface:Node" || !p.isMember("client.id"))
            continue;
        for (int client : clients) {
            if (p["client.id"].asInt() == client) {
                *serial = std::to_string(p["object.serial"].asLargestInt());
                *props = p;
                return true;
            }
        }
    }
    return false;
}

}  // namespace zutest
