#pragma once

#include <string>

namespace platform {

// Whether the X display named like $DISPLAY (":0", ":1.0", "host:0") may be
// reached: a local display needs its server's socket; one on another host
// is taken on trust. False for an empty name.
bool XDisplayReachable(const std::string& name);

}  // namespace platform
