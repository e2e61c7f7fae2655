#include "platform/parent-watch.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

namespace platform {

bool EndWithParent(long parentPid) {
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0)
        return true;  // nothing to watch with; the owner still ends us at exit
    // The parent may have died between fork and prctl: then we were handed
    // to another process already and no signal will ever come.
    return static_cast<long>(::getppid()) == parentPid;
}

}  // namespace platform
