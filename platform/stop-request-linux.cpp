#include "platform/stop-request.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace platform {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

int stopPipe[2] = {-1, -1};

void OnStopSignalToPipe(int) {
    stopRequested = 1;
    const int saved = errno;
    const char byte = 1;
    // A full pipe already says enough.
    ssize_t ignored = ::write(stopPipe[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

// SIGINT, SIGTERM and a hang-up (the terminal closed) all ask for an orderly
// stop; a hang-up the starter ignored (nohup) stays ignored.
void Install(const struct sigaction& action) {
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    struct sigaction current {};
    if (::sigaction(SIGHUP, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
        ::sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked write returns so we can stop
    Install(action);
}

bool StopRequested() {
    return stopRequested != 0;
}

int StopSignalDescriptor() {
    if (stopPipe[0] >= 0)
        return stopPipe[0];
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        stopPipe[0] = stopPipe[1] = -1;
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignalToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    Install(action);
    return stopPipe[0];
}

void DrainStopSignals() {
    if (stopPipe[0] < 0)
        return;
    char buffer[64];
    while (::read(stopPipe[0], buffer, sizeof buffer) > 0) {
    }
}

}  // namespace platform
