#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media_socket {

// Tells phones on the local networks where the desktop listens. Each round
// sends {"ip":A,"name":name,"port":command port} from A:announce port + 1 to
// every host of A's /24 (A with its last byte 1 ... 254) at the announce port,
// for every configured address A. Runs on the server's loop thread.
class Announcer {
public:
    // Addresses that are not dotted IPv4 text are skipped.
    void Configure(const std::string& name, const std::vector<std::string>& ips, uint16_t port);
    void Clear();
    // One round; send errors are ignored.
    void Tick(uint16_t command_port) const;

    // The datagram for one local address.
    static std::string AnnouncementText(const std::string& name, uint16_t command_port,
                                        uint32_t ip);

    const std::vector<uint32_t>& Addresses() const { return addresses_; }
    int Port() const { return port_; }

private:
    void AnnounceFrom(uint32_t ip, uint16_t command_port) const;

    std::string name_;
    std::vector<uint32_t> addresses_;  // host byte order
    int port_ = 0;
};

}  // namespace media_socket
