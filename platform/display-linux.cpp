#include "platform/display.h"

#include <sys/stat.h>

#include <cctype>

namespace platform {

bool XDisplayReachable(const std::string& name) {
    const size_t colon = name.rfind(':');
    if (name.empty() || colon == std::string::npos)
        return false;
    const std::string host = name.substr(0, colon);
    if (!host.empty() && host != "unix")
        return true;
    std::string number;
    for (size_t i = colon + 1; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]));
         ++i) {
        number += name[i];
    }
    if (number.empty())
        return false;
    // The server listens on an abstract socket too, but always makes this one.
    struct stat st;
    return ::stat(("/tmp/.X11-unix/X" + number).c_str(), &st) == 0;
}

}  // namespace platform
