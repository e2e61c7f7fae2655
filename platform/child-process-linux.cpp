#include "platform/child-process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/files.h"

extern char** environ;

namespace platform {
namespace {

// A SIGKILLed child is gone at once; this only bounds the wait for its reaping.
constexpr int kKillReapMs = 5000;

int OpenForChild(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

int DecodeStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// The child's environment, built before fork: after fork in a threaded process
// only async-signal-safe calls are allowed, so no setenv there.
std::vector<std::string> BuildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string entry(*e);
        std::string key = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& kv : overrides)
            replaced = replaced || kv.first == key;
        if (!replaced)
            env.push_back(entry);
    }
    for (const auto& kv : overrides) {
        if (!kv.second.empty())
            env.push_back(kv.first + "=" + kv.second);
    }
    return env;
}

std::string TempPath(const char* tag) {
    char name[] = "/tmp/zucam-run-XXXXXX";
    int fd = ::mkstemp(name);
    if (fd >= 0)
        ::close(fd);
    return std::string(name) + tag;
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited_) {
        ::kill(static_cast<pid_t>(pid_), SIGKILL);
        reap(true);
    }
}

bool ChildProcess::start(const Options& options) {
    if (options.argv.empty() || (pid_ > 0 && !exited_))
        return false;
    std::vector<char*> args;
    for (const std::string& a : options.argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings = BuildEnvironment(options.env);
    std::vector<char*> envp;
    for (const std::string& e : envStrings)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int outFd = options.stdoutPath.empty() ? -1 : OpenForChild(options.stdoutPath);
    int errFd = options.stderrPath.empty() ? -1 : OpenForChild(options.stderrPath);
    int nullFd = options.stdinFromNull ? ::open("/dev/null", O_RDONLY | O_CLOEXEC) : -1;
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0)
        return false;

    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipefd[0]);
        if (outFd >= 0)
            ::dup2(outFd, 1);
        if (errFd >= 0)
            ::dup2(errFd, 2);
        if (nullFd >= 0)
            ::dup2(nullFd, 0);
        if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0)
            ::_exit(127);
        ::signal(SIGPIPE, SIG_DFL);
        ::execvpe(args[0], args.data(), envp.data());
        int err = errno;
        ssize_t ignored = ::write(pipefd[1], &err, sizeof(err));
        (void)ignored;
        ::_exit(127);
    }
    ::close(pipefd[1]);
    if (outFd >= 0)
        ::close(outFd);
    if (errFd >= 0)
        ::close(errFd);
    if (nullFd >= 0)
        ::close(nullFd);
    if (pid < 0) {
        ::close(pipefd[0]);
        return false;
    }
    int execError = 0;
    ssize_t n;
    do {
        n = ::read(pipefd[0], &execError, sizeof(execError));
    } while (n < 0 && errno == EINTR);
    ::close(pipefd[0]);
    pid_ = pid;
    exited_ = false;
    exitCode_ = -1;
    if (n > 0) {
        reap(true);
        return false;
    }
    return true;
}

bool ChildProcess::reap(bool block) {
    if (pid_ <= 0 || exited_)
        return exited_;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(static_cast<pid_t>(pid_), &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == static_cast<pid_t>(pid_)) {
        exited_ = true;
        exitCode_ = DecodeStatus(status);
    } else if (r < 0) {
        exited_ = true;  // not our child any more
    }
    return exited_;
}

bool ChildProcess::running() {
    return pid_ > 0 && !reap(false);
}

int ChildProcess::wait(int timeoutMs) {
    if (pid_ <= 0)
        return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return exitCode_;
}

bool ChildProcess::signal(bool hard) {
    if (pid_ <= 0 || exited_)
        return false;
    return ::kill(static_cast<pid_t>(pid_), hard ? SIGKILL : SIGTERM) == 0;
}

int ChildProcess::stop(int graceMs) {
    if (!signal(false))
        return exited_ ? exitCode_ : -1;
    int code = wait(graceMs);
    if (code == -1 && signal(true))
        wait(kKillReapMs);
    return code;
}

bool ChildProcess::interrupt() {
    if (pid_ <= 0 || exited_)
        return false;
    return ::kill(static_cast<pid_t>(pid_), SIGINT) == 0;
}

int RunProcess(const std::vector<std::string>& argv, int timeoutMs, std::string* stdoutText,
               std::string* stderrText) {
    ChildProcess child;
    ChildProcess::Options options;
    options.argv = argv;
    options.stdoutPath = TempPath(".out");
    options.stderrPath = stderrText ? TempPath(".err") : std::string();
    if (!child.start(options))
        return -1;
    int code = child.wait(timeoutMs);
    if (code == -1 && child.signal(true))
        child.wait(kKillReapMs);
    if (stdoutText)
        ReadWholeFile(options.stdoutPath, stdoutText);
    if (stderrText)
        ReadWholeFile(options.stderrPath, stderrText);
    RemoveFile(options.stdoutPath);
    RemoveFile(options.stdoutPath.substr(0, options.stdoutPath.size() - 4));
    if (stderrText) {
        RemoveFile(options.stderrPath);
        RemoveFile(options.stderrPath.substr(0, options.stderrPath.size() - 4));
    }
    return code;
}

bool ExecReplace(const std::vector<std::string>& argv) {
    if (argv.empty())
        return false;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    return false;
}

void IgnoreBrokenPipe() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace platform
