#pragma once

#include <string>
#include <vector>

namespace zu {

// An adb server is the adb process started with "fork-server" (by any adb
// call that finds none) or run as "adb server"/"nodaemon server". It is meant
// to outlive the call that started it; every other adb process is a client
// that ends by itself.
inline bool IsAdbServer(const std::vector<std::string>& args) {
    if (args.empty())
        return false;
    const std::string& program = args.front();
    const size_t slash = program.rfind('/');
    if (program.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, "adb") != 0)
        return false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "fork-server" || args[i] == "server")
            return true;
    }
    return false;
}

}  // namespace zu
