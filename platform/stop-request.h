#pragma once

namespace platform {

// Lets a command-line tool finish the record it is writing and report when it
// is asked to stop (SIGINT, SIGTERM) instead of dying in the middle of it.
// After this call the two signals only raise a flag; they also interrupt
// blocking calls, which then fail with an interruption the caller can check
// against StopRequested().
void CatchStopSignals();
bool StopRequested();

}  // namespace platform
