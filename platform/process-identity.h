#pragma once

#include <string>
#include <vector>

namespace platform {

// What tells one process apart from another that later gets the same id.
struct ProcessIdentity {
    long pid = 0;
    // When it started, in clock ticks since boot; 0 when it cannot be read.
    unsigned long long startTicks = 0;
    // Its parent now; 0 when it cannot be read.
    long parentPid = 0;
};

// The command-line arguments of a process (argv[0] first); empty when the
// process is gone or cannot be inspected.
std::vector<std::string> ProcessArguments(long pid);

// The start time and parent of `pid`; startTicks 0 when the process is gone.
ProcessIdentity IdentifyProcess(long pid);

// Makes this process the parent of every process its children leave behind
// (a daemon an adb call starts, say) instead of init, so it can tell which
// daemons came from it. False when the system does not allow it.
bool AdoptOrphanedDescendants();

}  // namespace platform
