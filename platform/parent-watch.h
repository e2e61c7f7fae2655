#pragma once

namespace platform {

// Has the kernel send this process SIGTERM when the thread of `parentPid`
// that started it ends, so a helper never outlives a crashed owner. False
// when that parent is already gone (this process was orphaned before it
// could ask).
bool EndWithParent(long parentPid);

}  // namespace platform
