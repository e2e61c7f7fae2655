#include "hublet/clock.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/time.h"

namespace bg {

std::string Clock::format(const char* pattern) const {
    return platform::FormatLocalTime(pattern);
}

int64_t Clock::now(int monotonic) const {
    if (monotonic)
        return platform::MonotonicMicros();
    return platform::UnixSeconds() * 1000000;
}

bool Clock::openLocation(const std::string& filePath) const {
    if (filePath.empty())
        return false;
    std::string opener = platform::GetEnv("ZUCAM_OPEN_COMMAND");
    if (opener.empty())
        opener = "xdg-open";
    std::string folder = platform::IsDirectory(filePath) ? filePath : platform::DirName(filePath);
    // A folder named like an option ("-x") would be taken as one by the opener.
    if (folder[0] == '-')
        folder = "./" + folder;
    return platform::SpawnDetached({opener, folder});
}

}  // namespace bg
