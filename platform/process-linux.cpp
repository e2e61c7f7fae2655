#include "platform/process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace platform {
namespace {

// The child between us and the program. A process that adopts orphans (see
// AdoptOrphanedDescendants) would otherwise inherit everything an opener
// leaves behind when it exits (xdg-open's helpers, a file browser that
// forks) and see each of them turn into a zombie nobody reaps. So this child
// adopts them instead, reaps every one and ends when the last one has.
[[noreturn]] void RunAsReaper(char* const* args, int errorPipe) {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    pid_t program = ::fork();
    if (program == 0) {
        ::setsid();
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, 0);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        ::execvp(args[0], args);
        // Tell the caller the exec failed; the pipe closes on a successful exec.
        int err = errno;
        ssize_t ignored = ::write(errorPipe, &err, sizeof(err));
        (void)ignored;
        ::_exit(127);
    }
    ::close(errorPipe);
    if (program < 0)
        ::_exit(1);
    int status = 0;
    while (::waitpid(-1, &status, 0) > 0 || errno == EINTR) {
    }
    ::_exit(0);
}

constexpr int kAdoptTries = 500;

// The parent of `pid`, 0 when it is gone.
long ParentOf(long pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buffer[512];
    ssize_t n = ::read(fd, buffer, sizeof(buffer) - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    buffer[n] = '\0';
    const char* close = std::strrchr(buffer, ')');
    char state = 0;
    long parent = 0;
    if (!close || std::sscanf(close + 1, " %c %ld", &state, &parent) != 2)
        return 0;
    return parent;
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty())
        return false;
    // Everything the children need is prepared before fork: after fork in a
    // threaded process only async-signal-safe calls are allowed.
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0)
        return false;

    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        return false;
    }
    if (child == 0) {
        ::close(pipefd[0]);
        RunAsReaper(args.data(), pipefd[1]);
    }
    ::close(pipefd[1]);
    int exec_error = 0;
    ssize_t n;
    do {
        n = ::read(pipefd[0], &exec_error, sizeof(exec_error));
    } while (n < 0 && errno == EINTR);
    ::close(pipefd[0]);
    // The reaper lives as long as what it started (a file browser, say); it is
    // waited for on the side so that it never lingers as a zombie either.
    std::thread([child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return n == 0;
}

void BecomeProcessGroupLeader() {
    ::setpgid(0, 0);
}

void ReapAdopted(const std::vector<long>& pids) {
    if (pids.empty())
        return;
    std::thread([pids] {
        const pid_t self = ::getpid();
        for (long pid : pids) {
            // Killed already; it turns into our child once its parent, killed
            // too, is gone. A few seconds is far more than that takes.
            for (int tries = 0; tries < kAdoptTries; ++tries) {
                const long parent = ParentOf(pid);
                if (parent <= 0)
                    break;  // gone, reaped by its own parent
                if (parent == self) {
                    while (::waitpid(static_cast<pid_t>(pid), nullptr, 0) < 0 && errno == EINTR) {
                    }
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }).detach();
}

}  // namespace platform
