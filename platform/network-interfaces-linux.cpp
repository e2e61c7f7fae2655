#include "platform/network-interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <algorithm>

namespace platform {

std::string AdapterDescription(const std::string& name, const std::string& sysRoot) {
    if (name.empty() || name == "lo" || name.find('/') != std::string::npos)
        return name;
    struct stat st;
    const std::string entry = sysRoot + "/devices/virtual/net/" + name;
    if (::stat(entry.c_str(), &st) == 0)
        return name + " (virtual adapter)";
    return name;
}

std::vector<NetworkAdapter> ListNetworkAdapters(const std::string& sysRoot) {
    std::vector<NetworkAdapter> adapters;
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return adapters;
    for (struct ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name)
            continue;
        if (!(a->ifa_flags & IFF_UP))
            continue;
        std::string name = a->ifa_name;
        bool seen = std::any_of(adapters.begin(), adapters.end(),
                                [&](const NetworkAdapter& x) { return x.name == name; });
        if (seen)
            continue;  // the first IPv4 address of each adapter only
        char text[INET_ADDRSTRLEN] = {};
        const auto* sin = reinterpret_cast<const struct sockaddr_in*>(a->ifa_addr);
        if (!::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof(text)))
            continue;
        adapters.push_back({name, AdapterDescription(name, sysRoot), text, false});
    }
    ::freeifaddrs(list);
    return adapters;
}

}  // namespace platform
