#include "devices/device-session.h"

#include <algorithm>
#include <sstream>

#include "cordlink/adb-server-rule.h"
#include "devices/audio-driver-installer.h"
#include "devices/virtaul-audio-device-manager.h"
#include "hublet/log-sink.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process-list.h"

namespace {

bool SameProcess(const platform::ProcessIdentity& a, const platform::ProcessIdentity& b) {
    return a.pid == b.pid && a.startTicks == b.startTicks;
}

bool Contains(const std::vector<platform::ProcessIdentity>& list,
              const platform::ProcessIdentity& p) {
    return std::any_of(list.begin(), list.end(),
                       [&](const platform::ProcessIdentity& q) { return SameProcess(p, q); });
}

std::vector<platform::ProcessIdentity> SystemAdbServers() {
    std::vector<platform::ProcessIdentity> servers;
    for (long pid : platform::FindProcessesByName("adb")) {
        if (zu::IsAdbServer(platform::ProcessArguments(pid)))
            servers.push_back(platform::IdentifyProcess(pid));
    }
    return servers;
}

std::string AdbRecordPath() {
    std::string runtime = platform::GetEnv("XDG_RUNTIME_DIR");
    std::string dir = runtime.empty() ? platform::RuntimeDir() : runtime + "/zucam";
    return dir + "/adb-server";
}

}  // namespace

DeviceSession::Tools DeviceSession::SystemTools() {
    Tools tools;
    tools.findMicSource = [] { return findAudioDriver(); };
    tools.loadMicSource = [] { return installAudioDriver(); };
    tools.unloadMicSource = [] { removeAudioDriver(); };
    tools.findOrphanedMicSource = [] { return findOrphanedAudioDriver(); };
    tools.openMicLink = [] { return VirtaulAudioDeviceManager::create(); };
    tools.listAdbServers = SystemAdbServers;
    tools.endProcess = [](long pid) { return platform::TerminateProcess(pid); };
    tools.adbRecordPath = AdbRecordPath();
    // The adb server an adb call starts outlives that call: adopted, it
    // stays a child of this process, which tells it from a server someone
    // started meanwhile from a terminal.
    if (platform::AdoptOrphanedDescendants())
        tools.selfPid = platform::CurrentProcessId();
    return tools;
}

DeviceSession::DeviceSession(Tools tools) : tools_(std::move(tools)) {}

DeviceSession::~DeviceSession() = default;

DeviceSession::MicResult DeviceSession::OpenVirtualMic(
    const std::function<bool()>& askInstall, std::shared_ptr<VirtaulAudioDeviceManager>* link) {
    link->reset();
    if (tools_.findMicSource()) {
        if (!loadedMicSource_ && tools_.findOrphanedMicSource && tools_.findOrphanedMicSource()) {
            loadedMicSource_ = true;
            BG_LOGI("virtual microphone source left by a killed run; it is unloaded at exit");
        }
    } else {
        if (!askInstall)
            return MicResult::kNotInstalled;
        if (!askInstall())
            return MicResult::kDeclined;
        if (!tools_.loadMicSource())
            return MicResult::kInstallFailed;
        loadedMicSource_ = true;
        BG_LOGI("virtual microphone source loaded; it is unloaded again at exit");
    }
    *link = tools_.openMicLink();
    return *link ? MicResult::kOpened : MicResult::kOpenFailed;
}

void DeviceSession::ReleaseMicSource() {
    if (!loadedMicSource_)
        return;
    loadedMicSource_ = false;
    BG_LOGI("unloading the virtual microphone source this run loaded");
    tools_.unloadMicSource();
}

std::vector<platform::ProcessIdentity> DeviceSession::Remembered() const {
    std::vector<platform::ProcessIdentity> servers;
    std::string text;
    if (tools_.adbRecordPath.empty() || !platform::ReadWholeFile(tools_.adbRecordPath, &text))
        return servers;
    std::istringstream in(text);
    platform::ProcessIdentity p;
    while (in >> p.pid >> p.startTicks) {
        if (p.pid > 0)
            servers.push_back(p);
    }
    return servers;
}

void DeviceSession::Remember(const std::vector<platform::ProcessIdentity>& servers) const {
    if (tools_.adbRecordPath.empty())
        return;
    if (servers.empty()) {
        platform::RemoveFile(tools_.adbRecordPath);
        return;
    }
    std::string text;
    for (const platform::ProcessIdentity& p : servers)
        text += std::to_string(p.pid) + " " + std::to_string(p.startTicks) + "\n";
    platform::MakeDirs(platform::DirName(tools_.adbRecordPath), 0700);
    platform::WriteFileAtomic(tools_.adbRecordPath, text);
}

// Servers running now that were not running before this run's first adb
// call, plus those an earlier run remembered: both are ours to end.
std::vector<platform::ProcessIdentity> DeviceSession::StartedSince() const {
    const std::vector<platform::ProcessIdentity> remembered = Remembered();
    std::vector<platform::ProcessIdentity> ours;
    for (const platform::ProcessIdentity& p : tools_.listAdbServers()) {
        const bool foreign =
            Contains(foreignServers_, p) || (tools_.selfPid != 0 && p.parentPid != tools_.selfPid);
        if (Contains(remembered, p) || (adbSeen_ && !foreign))
            ours.push_back(p);
    }
    return ours;
}

void DeviceSession::BeforeAdbUse() {
    if (!adbSeen_) {
        const std::vector<platform::ProcessIdentity> remembered = Remembered();
        for (const platform::ProcessIdentity& p : tools_.listAdbServers()) {
            if (!Contains(remembered, p))
                foreignServers_.push_back(p);
        }
        adbSeen_ = true;
        return;
    }
    const std::vector<platform::ProcessIdentity> ours = StartedSince();
    const std::vector<platform::ProcessIdentity> remembered = Remembered();
    const bool changed = ours.size() != remembered.size() ||
                         !std::all_of(ours.begin(), ours.end(),
                                      [&](const auto& p) { return Contains(remembered, p); });
    if (changed)
        Remember(ours);
}

int DeviceSession::EndAdbServer() {
    int ended = 0;
    for (const platform::ProcessIdentity& p : StartedSince()) {
        BG_LOGI("ending the adb server (pid %ld) ZuCam started", p.pid);
        ended += tools_.endProcess(p.pid) ? 1 : 0;
    }
    Remember({});
    return ended;
}
