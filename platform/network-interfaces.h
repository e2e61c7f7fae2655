#pragma once

#include <string>
#include <vector>

namespace platform {

// One network adapter with its first IPv4 address.
struct NetworkAdapter {
    std::string name;
    // The adapter's description; on Linux the interface name.
    std::string description;
    std::string ipv4;  // dotted text
    // Not known on Linux: always false.
    bool dhcpEnabled = false;
};

// Adapters that are up and carry an IPv4 address, in the system's order, each
// with its first IPv4 address.
std::vector<NetworkAdapter> ListNetworkAdapters();

}  // namespace platform
