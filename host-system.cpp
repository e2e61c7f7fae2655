#include "host-system.h"

#include "platform/process-list.h"
#include "platform/system-info.h"

bool IsWindows10OrGreater() {
    return true;
}

bool Is64BitWindows() {
    const std::string machine = platform::MachineArchitecture();
    return machine == "x86_64" || machine == "aarch64";
}

bool FindProcessByName(const std::string& name, long* pid) {
    if (name.empty())
        return false;
    const std::vector<long> found = platform::FindProcessesByName(name);
    if (found.empty())
        return false;
    if (pid)
        *pid = found.front();
    return true;
}

bool TerminateProcessByName(const std::string& name) {
    long pid = 0;
    return FindProcessByName(name, &pid) && platform::TerminateProcess(pid);
}
