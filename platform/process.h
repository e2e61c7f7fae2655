#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (searched on PATH) with the given arguments, without a shell,
// fully detached: the caller never waits for it and no zombie is left behind.
// True when the program could be started.
bool SpawnDetached(const std::vector<std::string>& argv);

}  // namespace platform
