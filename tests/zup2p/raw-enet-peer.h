#pragma once

#include <enet/enet.h>

#include <string>

namespace zutest {

// A bare ENet host, to play a peer that does what Zup2p itself never does
// (fewer channels, text without its terminating zero, answering late).
class RawEnetPeer {
public:
    // listening: bound to 127.0.0.1 on a system-chosen port, see port().
    explicit RawEnetPeer(std::size_t channels, bool listening = false);
    ~RawEnetPeer();
    RawEnetPeer(const RawEnetPeer&) = delete;
    RawEnetPeer& operator=(const RawEnetPeer&) = delete;

    // Connects to 127.0.0.1:port; false if not connected within timeout_ms.
    bool connect(int port, int timeout_ms);
    bool send(int channel, const std::string& bytes);
    // Services the host for `ms`; the last received packet lands in received().
    void pump(int ms);
    const std::string& received() const { return received_; }
    int receivedChannel() const { return received_channel_; }
    int connects() const { return connects_; }
    int disconnects() const { return disconnects_; }
    int port() const { return port_; }

private:
    ENetHost* host_ = nullptr;
    ENetPeer* peer_ = nullptr;
    std::size_t channels_;
    std::string received_;
    int received_channel_ = -1;
    int connects_ = 0;
    int disconnects_ = 0;
    int port_ = 0;
};

// A UDP port that is bound but never answers.
class SilentPort {
public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    int port() const { return port_; }

private:
    ENetSocket socket_;
    int port_ = 0;
};

}  // namespace zutest
