#include "platform/log-output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

namespace platform {
namespace {

// The terminal's standard error, kept by the first diversion.
std::atomic<int> g_terminalFd{-1};

// The diversion: the pipe's reading end, the watching thread and the pipe
// that wakes it to end.
std::mutex g_diversionMutex;
int g_pipeRead = -1;
int g_wakeRead = -1;
int g_wakeWrite = -1;
// Never destroyed: a program may exit while standard error is diverted, and
// destroying a running thread object would abort it.
std::thread* g_reader = nullptr;

void CloseBoth(int fds[2]) {
    ::close(fds[0]);
    ::close(fds[1]);
}

void WatchPipe(int pipeFd, int wakeFd, std::function<void()> onReadable) {
    for (;;) {
        struct pollfd fds[2] = {{pipeFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int n = ::poll(fds, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (fds[1].revents & POLLIN))
            return;
        if (fds[0].revents & POLLIN)
            onReadable();
        // No writer left at all (everyone holding descriptor 2 is gone).
        else if (fds[0].revents & (POLLHUP | POLLERR))
            return;
    }
}

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

bool DivertStandardError(std::function<void()> onReadable) {
    std::lock_guard<std::mutex> lock(g_diversionMutex);
    if (g_pipeRead >= 0 || !onReadable)
        return false;
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0)
        return false;
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        CloseBoth(pipefd);
        return false;
    }
    ::fcntl(pipefd[0], F_SETFL, O_NONBLOCK);
    std::fflush(stderr);
    if (g_terminalFd.load() < 0) {
        int saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (saved < 0) {
            CloseBoth(pipefd);
            CloseBoth(wake);
            return false;
        }
        g_terminalFd.store(saved);
    }
    // Descriptor 2 itself is inherited: what child processes print passes
    // through the pipe too.
    if (::dup2(pipefd[1], STDERR_FILENO) < 0) {
        CloseBoth(pipefd);
        CloseBoth(wake);
        return false;
    }
    ::close(pipefd[1]);
    g_pipeRead = pipefd[0];
    g_wakeRead = wake[0];
    g_wakeWrite = wake[1];
    g_reader = new std::thread(WatchPipe, g_pipeRead, g_wakeRead, std::move(onReadable));
    return true;
}

size_t ReadDivertedStandardError(char* buffer, size_t size) {
    const int fd = g_pipeRead;
    if (fd < 0 || size == 0)
        return 0;
    for (;;) {
        ssize_t n = ::read(fd, buffer, size);
        if (n > 0)
            return static_cast<size_t>(n);
        if (n < 0 && errno == EINTR)
            continue;
        return 0;
    }
}

void EndStandardErrorDiversion(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_diversionMutex);
    if (g_pipeRead < 0)
        return;
    std::fflush(stderr);
    int fd = OpenPrivate(path);
    if (fd < 0 && g_terminalFd.load() >= 0)
        fd = ::fcntl(g_terminalFd.load(), F_DUPFD_CLOEXEC, 3);
    if (fd >= 0) {
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    const char byte = 1;
    ssize_t ignored = ::write(g_wakeWrite, &byte, 1);
    (void)ignored;
    if (g_reader) {
        g_reader->join();
        delete g_reader;
        g_reader = nullptr;
    }
    ::close(g_wakeRead);
    ::close(g_wakeWrite);
    g_wakeRead = g_wakeWrite = -1;
}

void CloseDivertedStandardError() {
    std::lock_guard<std::mutex> lock(g_diversionMutex);
    if (g_pipeRead < 0 || g_reader)
        return;
    ::close(g_pipeRead);
    g_pipeRead = -1;
}

bool JoinStandardOutputToStandardError() {
    std::fflush(stdout);
    int result;
    do {
        result = ::dup2(STDERR_FILENO, STDOUT_FILENO);
    } while (result < 0 && errno == EINTR);
    return result >= 0;
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
