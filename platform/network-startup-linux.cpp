#include "platform/network-startup.h"

#include "platform/child-process.h"

namespace platform {

NetworkStartup::NetworkStartup() {
    IgnoreBrokenPipe();
    ok_ = true;
}

// Nothing to clean up on Linux; SIGPIPE stays ignored until the process ends.
NetworkStartup::~NetworkStartup() = default;

}  // namespace platform
