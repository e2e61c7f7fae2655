#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (searched on PATH) with the given arguments, without a shell,
// fully detached: the caller never waits for it, and neither it nor anything
// it leaves behind becomes the caller's zombie, even when the caller adopts
// orphaned descendants.
// True when the program could be started.
bool SpawnDetached(const std::vector<std::string>& argv);

// In a freshly forked child (async-signal-safe): makes it the leader of a
// process group of its own, which everything it starts joins.
void BecomeProcessGroupLeader();

// Reaps, on a thread of its own, those of `pids` (processes just killed) that
// are or become children of this process: a process that adopts orphans (see
// AdoptOrphanedDescendants) inherits what a killed program leaves behind.
// Never pass a child that someone else waits for.
void ReapAdopted(const std::vector<long>& pids);

}  // namespace platform
