#pragma once

#include <string>
#include <vector>

namespace platform {

// One network adapter with its first IPv4 address.
struct NetworkAdapter {
    std::string name;
    // The adapter's description: the interface name, followed by
    // " (virtual adapter)" for an interface the kernel made up itself rather
    // than found on a bus (bridges, docker, veth, tun, VPNs): those lead to
    // no phone, and callers that skip "virtual" descriptions skip them.
    std::string description;
    std::string ipv4;  // dotted text
    // Not known on Linux: always false.
    bool dhcpEnabled = false;
};

// The description of interface `name`; `sysRoot` is where sysfs is mounted
// (tests pass a folder of their own). The loopback interface, which the
// kernel lists as virtual too, keeps its plain name: callers skip it by its
// address.
std::string AdapterDescription(const std::string& name, const std::string& sysRoot = "/sys");

// Adapters that are up and carry an IPv4 address, in the system's order, each
// with its first IPv4 address.
std::vector<NetworkAdapter> ListNetworkAdapters(const std::string& sysRoot = "/sys");

}  // namespace platform
