#include "dep/QtComponent/media-socket/announcer.h"

#include <json/value.h>

#include "dep/QtComponent/media-socket/inet-address.h"
#include "dep/QtComponent/media-socket/json-text.h"
#include "dep/QtComponent/media-socket/socket.h"

namespace media_socket {

void Announcer::Configure(const std::string& name, const std::vector<std::string>& ips,
                          uint16_t port) {
    Clear();
    name_ = name;
    for (const std::string& text : ips) {
        uint32_t ip = 0;
        if (platform::ParseIpv4(text.c_str(), &ip))
            addresses_.push_back(ip);
    }
    port_ = port;
}

void Announcer::Clear() {
    addresses_.clear();
    port_ = 0;
}

std::string Announcer::AnnouncementText(const std::string& name, uint16_t command_port,
                                        uint32_t ip) {
    Json::Value root;
    root["name"] = name;
    root["port"] = command_port;
    root["ip"] = InetAddress(ip, 0).ToIp();
    return WriteCompactJson(root);
}

void Announcer::Tick(uint16_t command_port) const {
    for (uint32_t ip : addresses_)
        AnnounceFrom(ip, command_port);
}

void Announcer::AnnounceFrom(uint32_t ip, uint16_t command_port) const {
    const uint16_t port = static_cast<uint16_t>(port_);
    Socket socket(platform::kFamilyInet, platform::kSockDgram, platform::kProtoUdp);
    if (!socket.IsValid())
        return;
    socket.SetNonBlocking(true);
    socket.SetReuseAddr(true);
    // Phones read the sender's port; a failed bind still lets the datagrams go.
    socket.Bind(InetAddress(ip, static_cast<uint16_t>(port + 1)));
    const std::string body = AnnouncementText(name_, command_port, ip);
    // A unicast sweep of the /24 rather than one directed broadcast: current
    // systems drop or filter broadcasts that used to reach the phones.
    const uint32_t network = ip & 0xffffff00u;
    for (uint32_t host = 1; host <= 254; ++host) {
        socket.SendTo(body.data(), static_cast<int>(body.size()),
                      InetAddress(network | host, port));
    }
    socket.Close(-1);
}

}  // namespace media_socket
