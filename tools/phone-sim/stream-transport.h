#pragma once

#include <cstddef>
#include <string>

namespace phonesim {

// Carries the stream's byte sequence to the desktop: a TCP connection or a
// Zup2p peer. Packet boundaries mean nothing to a transport.
class StreamTransport {
public:
    virtual ~StreamTransport() = default;
    virtual bool Send(const char* data, size_t len, std::string* error) = 0;
    // Pushes out anything held back; called before the sender pauses.
    virtual bool Flush(std::string* /*error*/) { return true; }
    // Ends the stream so that the desktop, once it has taken every byte, sees
    // the end and closes the link.
    virtual bool Finish(std::string* error) = 0;
    virtual const char* name() const = 0;
};

}  // namespace phonesim
