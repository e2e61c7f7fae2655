#include "platform/random.h"

#include <errno.h>
#include <sys/random.h>

namespace platform {

bool RandomBytes(void* out, size_t len) {
    char* p = static_cast<char*>(out);
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::getrandom(p + done, len - done, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace platform
