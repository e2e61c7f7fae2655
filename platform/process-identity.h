#pragma once

#include <string>
#include <vector>

namespace platform {

// What tells one process apart from another that later gets the same id.
struct ProcessIdentity {
    long pid = 0;
    // When it started, in clock ticks since boot; 0 when it cannot be read.
    unsigned long long startTicks = 0;
};

// The command-line arguments of a process (argv[0] first); empty when the
// process is gone or cannot be inspected.
std::vector<std::string> ProcessArguments(long pid);

// The start time of `pid`; startTicks 0 when the process is gone.
ProcessIdentity IdentifyProcess(long pid);

}  // namespace platform
