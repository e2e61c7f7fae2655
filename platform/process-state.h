#pragma once

namespace platform {

// True when the process runs: it exists and is not a zombie waiting to be
// reaped (a killed process keeps its id until its parent reaps it).
bool ProcessRunning(long pid);

}  // namespace platform
