#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dep/QtComponent/media-socket/socket.h"

// Helpers for driving the reactor and the stream-protocol server from tests:
// a blocking loopback client whose every wait has a time-out, and builders of
// the phone's command frames and stream packets.
namespace mstest {

class TcpPeer {
public:
    // Connects to 127.0.0.1:port; retried until timeoutMs passes (the server's
    // listening channel is registered by its loop a moment after Start).
    bool Connect(uint16_t port, int timeoutMs = 2000);
    bool Send(const std::string& bytes);
    // Reads exactly `len` bytes within timeoutMs.
    bool ReadExact(size_t len, std::string* out, int timeoutMs = 2000);
    // Reads one command frame's body.
    bool ReadFrame(std::string* body, int timeoutMs = 2000);
    // True when the other side closes (end of stream or reset) within
    // timeoutMs; received bytes are discarded.
    bool WaitClosed(int timeoutMs = 2000);
    // True when nothing at all arrives and the connection stays open for ms.
    bool StaysQuiet(int ms);
    void Close() { socket_.Close(); }
    bool IsOpen() const { return socket_.IsValid(); }

private:
    media_socket::Socket socket_;
};

// Polls `pred` every millisecond until it holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 2000);

std::string Be32(uint32_t v);
// A command frame: big-endian length, then the body.
std::string Frame(const std::string& body);
// A stream packet with the given header expansion words.
std::string Packet(uint32_t type, const std::vector<uint32_t>& expansion,
                   const std::string& payload);
std::string TokenPacket(const std::string& token);
std::string VideoPacket(uint32_t frame_kind, const std::string& payload);
std::string AudioPacket(uint32_t rate, uint32_t channels, uint32_t bits,
                        const std::string& payload);
// `n` bytes of a repeating pattern that varies with `seed`.
std::string Pattern(size_t n, unsigned seed = 0);

}  // namespace mstest
