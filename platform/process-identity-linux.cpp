#include "platform/process-identity.h"

#include <sys/prctl.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace platform {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<std::string> ProcessArguments(long pid) {
    std::vector<std::string> args;
    if (pid <= 0)
        return args;
    const std::string raw = ReadAll("/proc/" + std::to_string(pid) + "/cmdline");
    size_t at = 0;
    while (at < raw.size()) {
        size_t end = raw.find('\0', at);
        if (end == std::string::npos)
            end = raw.size();
        args.push_back(raw.substr(at, end - at));
        at = end + 1;
    }
    return args;
}

ProcessIdentity IdentifyProcess(long pid) {
    ProcessIdentity id;
    id.pid = pid;
    if (pid <= 0)
        return id;
    // The command name in field 2 may hold spaces and ')': the fields after
    // it start behind the last ')'. The start time is field 22.
    const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return id;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int n = 3; n <= 22 && (fields >> field); ++n) {
        if (n == 4)
            id.parentPid = std::strtol(field.c_str(), nullptr, 10);
        if (n == 22)
            id.startTicks = std::strtoull(field.c_str(), nullptr, 10);
    }
    return id;
}

bool AdoptOrphanedDescendants() {
    return ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0;
}

}  // namespace platform
