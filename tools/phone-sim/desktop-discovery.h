#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace phonesim {

// What a desktop announces once a second: {"ip":"A","name":"N","port":P}.
struct Announcement {
    std::string ip;
    std::string name;
    int port = 0;
    std::string sender;  // address the datagram came from
};

// Waits for the first valid announcement. Only listens: it sends nothing.
// Datagrams that are not announcements are reported through `note` and skipped.
class DesktopDiscovery {
public:
    using Note = std::function<void(const std::string&)>;

    explicit DesktopDiscovery(Note note = nullptr) : note_(std::move(note)) {}

    bool Listen(uint16_t port, int timeoutMs, Announcement* out, std::string* error);

    static bool ParseAnnouncement(const std::string& text, Announcement* out, std::string* error);

private:
    Note note_;
};

}  // namespace phonesim
