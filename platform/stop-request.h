#pragma once

namespace platform {

// Lets a command-line tool finish the record it is writing and report when it
// is asked to stop (SIGINT, SIGTERM, SIGHUP) instead of dying in the middle of it.
// After this call the three signals only raise a flag; they also interrupt
// blocking calls, which then fail with an interruption the caller can check
// against StopRequested().
void CatchStopSignals();
bool StopRequested();

// For a program with an event loop: after this call SIGINT, SIGTERM and SIGHUP
// raise the same flag and make the returned descriptor readable (one byte per
// signal) instead of ending the process; interrupted calls are restarted
// where the kernel allows it (poll and its kind still return EINTR). Read the
// bytes away with
// DrainStopSignals. -1 when the descriptor cannot be made (the signals then
// keep their default action).
int StopSignalDescriptor();
void DrainStopSignals();

}  // namespace platform
