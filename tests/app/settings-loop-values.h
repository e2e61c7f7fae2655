#pragma once

#include <cstdlib>
#include <string>

namespace zutest {

// Values of round n of the save loop: their length changes with n and they
// hold quotes, line breaks and multi-byte UTF-8, so a torn or mixed write
// cannot pass for a valid one.
inline std::string Payload(long n) {
    std::string text;
    for (long i = 0; i < n % 37 + 1; ++i)
        text += "a\"b\\c\n虚拟";
    return text;
}

inline std::string SaveDirFor(long n) {
    return "/loop/" + std::to_string(n) + "/" + Payload(n);
}

inline std::string DeviceNameFor(long n) {
    return "dev " + std::to_string(n) + " " + Payload(n * 7);
}

// The round a save directory belongs to; -1 when it is none of the loop's.
inline long CounterOf(const std::string& saveDir) {
    if (saveDir.rfind("/loop/", 0) != 0)
        return -1;
    char* end = nullptr;
    const long n = std::strtol(saveDir.c_str() + 6, &end, 10);
    if (n <= 0 || SaveDirFor(n) != saveDir)
        return -1;
    return n;
}

inline long CounterOfDeviceName(const std::string& name) {
    if (name.rfind("dev ", 0) != 0)
        return -1;
    const long n = std::strtol(name.c_str() + 4, nullptr, 10);
    return n > 0 && DeviceNameFor(n) == name ? n : -1;
}

}  // namespace zutest
