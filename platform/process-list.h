#pragma once

#include <string>
#include <vector>

namespace platform {

// Processes of the calling user whose executable name (/proc/<pid>/comm, or
// the base name of /proc/<pid>/exe) equals `name`, ignoring case. The calling
// process itself is never listed.
std::vector<long> FindProcessesByName(const std::string& name);

// Ends a process of the same user with SIGTERM; false when it cannot be signalled.
bool TerminateProcess(long pid);

// Processes of the calling user in the process group `groupId`.
std::vector<long> ProcessesInGroup(long groupId);

// Kills (SIGKILL) a process of the same user; false when it cannot be signalled.
bool KillProcess(long pid);

// True when a process with this id exists (whoever owns it).
bool ProcessExists(long pid);

struct ProcessHolding {
    long pid;
    std::string name;  // /proc/<pid>/comm
};

// Processes that map or hold open any of `paths` (scans /proc/*/maps and
// /proc/*/fd; processes that cannot be inspected are skipped).
std::vector<ProcessHolding> ProcessesHoldingFiles(const std::vector<std::string>& paths);

}  // namespace platform
