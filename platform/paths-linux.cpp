#include "platform/paths.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {

unsigned long UserId() {
    return static_cast<unsigned long>(::geteuid());
}

std::string GetEnv(const char* name) {
    const char* v = ::getenv(name);
    return v ? std::string(v) : std::string();
}

void SetEnv(const char* name, const std::string& value) {
    if (value.empty()) {
        ::unsetenv(name);
    } else {
        ::setenv(name, value.c_str(), 1);
    }
}

std::string HomeDir() {
    std::string home = GetEnv("HOME");
    if (!home.empty())
        return home;
    struct passwd pw;
    struct passwd* result = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return "/";
}

std::string ConfigHomeDir() {
    std::string dir = GetEnv("XDG_CONFIG_HOME");
    return dir.empty() ? HomeDir() + "/.config" : dir;
}

std::string StateHomeDir() {
    std::string dir = GetEnv("XDG_STATE_HOME");
    return dir.empty() ? HomeDir() + "/.local/state" : dir;
}

std::string RuntimeDir() {
    std::string dir = GetEnv("XDG_RUNTIME_DIR");
    if (!dir.empty())
        return dir;
    dir = "/tmp/zucam-" + std::to_string(::geteuid());
    MakeDirs(dir, 0700);
    return dir;
}

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return std::string();
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::string ExecutableDir() {
    return DirName(ExecutablePath());
}

std::string HostName() {
    char buf[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buf, sizeof(buf) - 1) != 0)
        return std::string();
    return buf;
}

std::string UserName() {
    struct passwd pw;
    struct passwd* result = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result &&
        result->pw_name) {
        return result->pw_name;
    }
    return GetEnv("USER");
}

bool MakeDirs(const std::string& path, unsigned mode) {
    if (path.empty())
        return false;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    std::string parent = DirName(path);
    if (parent != path && parent != "." && parent != "/")
        MakeDirs(parent, 0755);
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0)
        return true;
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string DirName(const std::string& path) {
    size_t pos = path.find_last_of('/');
    if (pos == std::string::npos)
        return ".";
    if (pos == 0)
        return "/";
    return path.substr(0, pos);
}

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

long CurrentUserId() {
    return static_cast<long>(::getuid());
}

}  // namespace platform
