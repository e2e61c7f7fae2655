#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// One TCP connection used from a single thread with blocking semantics: every
// call waits at most the given time, so a silent peer can never hang the caller.
// Sends never raise SIGPIPE.
class ClientSocket {
public:
    enum class RecvResult { kDone, kClosed, kTimeout, kError };

    ClientSocket() = default;
    ~ClientSocket();
    ClientSocket(const ClientSocket&) = delete;
    ClientSocket& operator=(const ClientSocket&) = delete;
    ClientSocket(ClientSocket&& other) noexcept;
    ClientSocket& operator=(ClientSocket&& other) noexcept;

    // Connects to an IPv4 address or a host name resolving to one. On failure
    // *error says why ("Connection refused", "timed out after 5000 ms", ...).
    bool connect(const std::string& host, uint16_t port, int timeoutMs, std::string* error);
    bool isOpen() const { return fd_ >= 0; }

    // Sends all bytes, waiting at most timeoutMs for the peer to make room.
    bool sendAll(const char* data, size_t len, int timeoutMs, std::string* error);
    // Reads exactly len bytes within timeoutMs in all. kClosed: the peer ended
    // the connection first (*received, when given, tells how many bytes came).
    RecvResult recvExact(char* data, size_t len, int timeoutMs, std::string* error,
                         size_t* received = nullptr);
    // Reads whatever is available (at most len bytes) within timeoutMs:
    // returns the count, 0 when the peer closed, -1 on time-out or error.
    long recvSome(char* data, size_t len, int timeoutMs, std::string* error);
    // Non-blocking check: the peer has closed its side or the connection broke.
    // Unread data does not count as closed.
    bool peerClosed();
    // Waits up to timeoutMs for the peer to close, discarding anything it
    // still sends; true when it did.
    bool waitPeerClosed(int timeoutMs);

    // Ends our direction (the peer reads end-of-stream after all sent bytes).
    void shutdownWrite();
    void setNoDelay(bool on);
    void close();

    // The local port, 0 when not connected.
    uint16_t localPort() const;

private:
    friend class ListenSocket;
    explicit ClientSocket(int fd) : fd_(fd) {}

    int fd_ = -1;
};

// True when text is a dotted IPv4 address ("127.0.0.1").
bool IsIPv4Address(const std::string& text);

}  // namespace platform
