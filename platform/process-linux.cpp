#include "platform/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

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
        // Intermediate child: start the grandchild in a new session and exit at
        // once, so the grandchild is adopted by init and never becomes our zombie.
        ::close(pipefd[0]);
        pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(grandchild < 0 ? 1 : 0);
        ::setsid();
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, 0);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        ::execvp(args[0], args.data());
        // Tell the parent the exec failed; the pipe closes on a successful exec.
        int err = errno;
        ssize_t ignored = ::write(pipefd[1], &err, sizeof(err));
        (void)ignored;
        ::_exit(127);
    }
    ::close(pipefd[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int exec_error = 0;
    ssize_t n;
    do {
        n = ::read(pipefd[0], &exec_error, sizeof(exec_error));
    } while (n < 0 && errno == EINTR);
    ::close(pipefd[0]);
    bool intermediate_ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return intermediate_ok && n == 0;
}

}  // namespace platform
