#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform {

// A child process started without a shell, for tools and tests. Output can go
// to files (never to pipes nobody drains), and every wait has a time-out.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> argv;  // argv[0] is searched on PATH
        // Extra environment entries; an empty value removes the variable.
        std::vector<std::pair<std::string, std::string>> env;
        std::string stdoutPath;  // empty: inherit
        std::string stderrPath;  // empty: inherit
        bool stdinFromNull = true;
        std::string workDir;  // empty: inherit
    };

    ChildProcess() = default;
    // Kills (SIGKILL) and reaps a child that is still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when the program cannot be started (missing, not executable).
    bool start(const Options& options);
    long pid() const { return pid_; }
    // True until the child has been reaped.
    bool running();
    // Waits at most timeoutMs for the child to end. Returns its exit code, or
    // 128 + signal number when a signal ended it; -1 on time-out (the child is
    // left running) or when there is no child.
    int wait(int timeoutMs);
    // Sends SIGTERM (hard = false) or SIGKILL (hard = true).
    bool signal(bool hard);
    // Asks the child to end (SIGTERM) and waits at most graceMs; one still
    // running then is killed and reaped. Returns the exit code of an orderly
    // end, -1 when it had to be killed or there was no child to end.
    int stop(int graceMs);
    // Sends SIGINT.
    bool interrupt();

private:
    bool reap(bool block);

    long pid_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
};

// Runs a program to its end with a time-out, capturing its standard output.
// Returns the exit code (see ChildProcess::wait); -1 on time-out (the child is
// killed) or when it cannot be started.
int RunProcess(const std::vector<std::string>& argv, int timeoutMs, std::string* stdoutText,
               std::string* stderrText = nullptr);

// Replaces the calling process with argv (searched on PATH). Returns only on failure.
bool ExecReplace(const std::vector<std::string>& argv);

// Ignores SIGPIPE for the whole process: a peer that vanishes must never kill us.
void IgnoreBrokenPipe();

}  // namespace platform
