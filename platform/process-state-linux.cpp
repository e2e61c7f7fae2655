#include "platform/process-state.h"

#include <signal.h>

#include <cerrno>
#include <string>

#include "platform/files.h"

namespace platform {

bool ProcessRunning(long pid) {
    if (pid <= 0 || static_cast<long>(static_cast<pid_t>(pid)) != pid)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    // /proc/<pid>/stat: "pid (comm) S ..."; comm may hold spaces and
    // parentheses, so the state is the first field after the last ')'.
    std::string stat;
    if (!ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", &stat))
        return true;
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return true;
    char state = stat[close + 2];
    return state != 'Z' && state != 'X';
}

}  // namespace platform
