#include "platform/process-list.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

namespace platform {
namespace {

std::vector<long> AllPids() {
    std::vector<long> pids;
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return pids;
    while (struct dirent* e = ::readdir(dir)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (pid > 0 && end && *end == '\0')
            pids.push_back(pid);
    }
    ::closedir(dir);
    return pids;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string ReadLink(const std::string& path) {
    char buf[4096];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof(buf) - 1);
    if (n <= 0)
        return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

bool OwnedByMe(long pid) {
    struct stat st;
    std::string path = "/proc/" + std::to_string(pid);
    return ::stat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid();
}

bool MapsMention(long pid, const std::set<std::string>& paths) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(in, line)) {
        size_t slash = line.find('/');
        if (slash != std::string::npos && paths.count(line.substr(slash)))
            return true;
    }
    return false;
}

bool FdsMention(long pid, const std::set<std::string>& paths) {
    std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(fdDir.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (struct dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        if (paths.count(ReadLink(fdDir + "/" + e->d_name))) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

std::vector<long> FindProcessesByName(const std::string& name) {
    std::vector<long> result;
    const std::string want = Lower(name);
    // Kernel threads have no executable: an empty name would match them all.
    if (want.empty())
        return result;
    const long self = static_cast<long>(::getpid());
    for (long pid : AllPids()) {
        if (pid == self || !OwnedByMe(pid))
            continue;
        std::string base = "/proc/" + std::to_string(pid);
        std::string comm = Lower(ReadFirstLine(base + "/comm"));
        std::string exe = ReadLink(base + "/exe");
        size_t slash = exe.find_last_of('/');
        std::string exeName = Lower(slash == std::string::npos ? exe : exe.substr(slash + 1));
        if (comm == want || exeName == want)
            result.push_back(pid);
    }
    return result;
}

bool TerminateProcess(long pid) {
    if (pid <= 0 || !OwnedByMe(pid))
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGTERM) == 0;
}

bool KillProcess(long pid) {
    if (pid <= 0 || !OwnedByMe(pid))
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

std::vector<long> ProcessesInGroup(long groupId) {
    std::vector<long> found;
    if (groupId <= 0)
        return found;
    for (long pid : AllPids()) {
        // "pid (comm) state ppid pgrp ...": comm may hold spaces and ')'.
        const std::string stat = ReadFirstLine("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        long parent = 0;
        long group = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %ld %ld", &state, &parent, &group) == 3 &&
            group == groupId && OwnedByMe(pid)) {
            found.push_back(pid);
        }
    }
    return found;
}

bool ProcessExists(long pid) {
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::vector<ProcessHolding> ProcessesHoldingFiles(const std::vector<std::string>& paths) {
    std::vector<ProcessHolding> result;
    std::set<std::string> wanted(paths.begin(), paths.end());
    if (wanted.empty())
        return result;
    for (long pid : AllPids()) {
        if (MapsMention(pid, wanted) || FdsMention(pid, wanted)) {
            result.push_back({pid, ReadFirstLine("/proc/" + std::to_string(pid) + "/comm")});
        }
    }
    return result;
}

}  // namespace platform
