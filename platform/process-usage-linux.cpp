#include "platform/process-usage.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/files.h"

namespace platform {

namespace {

// The number after "<key>:" in /proc/<pid>/status (a size in kB); -1 when absent.
long long StatusField(const std::string& status, const std::string& key) {
    size_t at = status.find("\n" + key + ":");
    if (at == std::string::npos)
        return -1;
    return std::atoll(status.c_str() + at + key.size() + 2);
}

// utime + stime from /proc/<pid>/stat, in seconds. The command name may hold
// spaces and parentheses, so fields are counted from the last ')'.
bool CpuSeconds(const std::string& stat, double* seconds) {
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    // State is field 3 of the line; utime and stime are fields 14 and 15.
    for (int index = 3; index < 14; ++index) {
        if (!(fields >> field))
            return false;
    }
    long long utime = 0;
    long long stime = 0;
    if (!(fields >> utime >> stime))
        return false;
    long ticks = ::sysconf(_SC_CLK_TCK);
    *seconds = static_cast<double>(utime + stime) / static_cast<double>(ticks > 0 ? ticks : 100);
    return true;
}

}  // namespace

bool ReadProcessUsage(long pid, ProcessUsage* usage) {
    if (pid <= 0 || !usage)
        return false;
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string status;
    std::string stat;
    if (!ReadWholeFile(dir + "/status", &status) || !ReadWholeFile(dir + "/stat", &stat))
        return false;
    ProcessUsage u;
    u.residentKiB = StatusField(status, "VmRSS");
    // A zombie has no memory left to report.
    if (u.residentKiB < 0 || !CpuSeconds(stat, &u.cpuSeconds))
        return false;
    u.peakResidentKiB = StatusField(status, "VmHWM");
    u.anonymousKiB = StatusField(status, "RssAnon");
    u.fileKiB = StatusField(status, "RssFile");
    u.sharedMemKiB = StatusField(status, "RssShmem");
    *usage = u;
    return true;
}

}  // namespace platform
