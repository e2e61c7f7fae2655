#include "platform/system-info.h"

#include <sys/utsname.h>

#include "platform/child-process.h"
#include "platform/files.h"

namespace platform {
namespace {

// The files and tools print one word and a line break.
std::string FirstWord(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_first_of(" \t\r\n", begin);
    return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

std::string MachineArchitecture() {
    struct utsname info;
    if (::uname(&info) != 0)
        return std::string();
    return info.machine;
}

bool PowerSaverActiveFrom(const std::string& profilePath,
                          const std::vector<std::string>& queryCommand, int timeoutMs) {
    std::string text;
    if (!profilePath.empty() && ReadWholeFile(profilePath, &text) &&
        FirstWord(text) == "low-power") {
        return true;
    }
    if (queryCommand.empty())
        return false;
    text.clear();
    std::string errors;  // a missing daemon complains; that only means "not saving power"
    return RunProcess(queryCommand, timeoutMs, &text, &errors) == 0 &&
           FirstWord(text) == "power-saver";
}

bool IsPowerSaverActive() {
    // powerprofilesctl is a small Python tool; the window asks once when it is
    // built, so a short bound keeps a stuck D-Bus from freezing the start.
    return PowerSaverActiveFrom("/sys/firmware/acpi/platform_profile", {"powerprofilesctl", "get"},
                                2000);
}

}  // namespace platform
