#include "platform/stop-request.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

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

// A closed terminal (SIGHUP) ends the program the same orderly way as a
// request to stop: its queue, microphone FIFO and source must go with it.
void CatchEach(const struct sigaction& action) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked write returns so we can stop
    CatchEach(action);
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
    CatchEach(action);
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
