#pragma once

#include <string>
#include <vector>

// The link a phone's browser opens: https://ADDRESS:PORT/?k=SECRET. The
// secret keeps other people on the network from using the camera page; it
// is kept in the settings and renewed on request.
class WebLink {
public:
    static constexpr const char* kSecretKey = "cfg_web_link_key";
    static constexpr const char* kPortKey = "cfg_web_port";
    static constexpr int kDefaultPort = 10090;
    static constexpr size_t kSecretLength = 22;

    // A fresh secret: 22 characters of [A-Za-z0-9_-] (about 128 bits).
    static std::string NewSecret();
    static bool IsWellFormed(const std::string& secret);
    // Compares without stopping at the first difference, so the time taken
    // tells nothing about how much of a guess was right.
    static bool SecretsEqual(const std::string& a, const std::string& b);

    static std::string Url(const std::string& address, int port, const std::string& secret,
                           bool https = true);
    // One https link per address, then the plain http loopback link (for a
    // phone on the USB cable through adb reverse).
    static std::vector<std::string> Urls(const std::vector<std::string>& addresses, int port,
                                         const std::string& secret);
};
