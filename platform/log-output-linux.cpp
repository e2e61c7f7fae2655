#include "platform/log-output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

// The terminal's standard error, kept by the first diversion.
std::atomic<int> g_terminalFd{-1};

int OpenPrivate(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::fchmod(fd, 0600);
    return fd;
}

}  // namespace

std::FILE* OpenPrivateAppend(const std::string& path) {
    int fd = OpenPrivate(path);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "a");
    if (!file)
        ::close(fd);
    return file;
}

bool DivertStandardError(const std::string& path) {
    int fd = OpenPrivate(path);
    if (fd < 0)
        return false;
    std::fflush(stderr);
    if (g_terminalFd.load() < 0) {
        int saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (saved < 0) {
            ::close(fd);
            return false;
        }
        g_terminalFd.store(saved);
    }
    // Descriptor 2 itself is inherited: child processes log to the file too.
    bool ok = ::dup2(fd, STDERR_FILENO) >= 0;
    ::close(fd);
    return ok;
}

void WriteTerminal(const std::string& text) {
    int fd = g_terminalFd.load();
    if (fd < 0) {
        std::fflush(stderr);
        fd = STDERR_FILENO;
    }
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace platform
