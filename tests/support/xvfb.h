#pragma once

#include <string>

#include "platform/child-process.h"

namespace zutest {

// Starts an X server of the test's own in `server`: Xvfb, 1280x800, only
// local connections, on a free display number of this process's own range.
// Its log goes to `dir`. `endWithLastClient`: the server ends when
// its last client disconnects (-terminate), else it stays until ended
// (-noreset). On success `display` is its name (":N"); false, with the
// log's path in `display`, when it takes no connections within timeoutMs.
bool StartXvfb(platform::ChildProcess* server, const std::string& dir, bool endWithLastClient,
               int timeoutMs, std::string* display);

}  // namespace zutest
