#include "tests/zup2p/raw-enet-peer.h"

#include <chrono>

namespace zutest {

namespace {

using Clock = std::chrono::steady_clock;

ENetAddress Loopback(int port) {
    ENetAddress address{};
    enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = static_cast<enet_uint16>(port);
    return address;
}

}  // namespace

RawEnetPeer::RawEnetPeer(std::size_t channels, bool listening) : channels_(channels) {
    enet_initialize();
    ENetAddress address = Loopback(0);
    host_ = enet_host_create(listening ? &address : nullptr, 1, channels, 0, 0);
    if (host_ && listening)
        port_ = host_->address.port;
}

RawEnetPeer::~RawEnetPeer() {
    if (peer_) {
        enet_peer_disconnect_now(peer_, 0);
    }
    if (host_)
        enet_host_destroy(host_);
    enet_deinitialize();
}

bool RawEnetPeer::connect(int port, int timeout_ms) {
    if (!host_)
        return false;
    ENetAddress address = Loopback(port);
    peer_ = enet_host_connect(host_, &address, channels_, 0);
    if (!peer_)
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    ENetEvent event;
    while (Clock::now() < deadline) {
        if (enet_host_service(host_, &event, 10) > 0 && event.type == ENET_EVENT_TYPE_CONNECT) {
            // The service call that reports the connection returns before
            // acknowledging it; the host learns of it only from that ack.
            enet_host_flush(host_);
            return true;
        }
    }
    return false;
}

bool RawEnetPeer::send(int channel, const std::string& bytes) {
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
    if (!packet)
        return false;
    if (enet_peer_send(peer_, static_cast<enet_uint8>(channel), packet) < 0) {
        enet_packet_destroy(packet);
        return false;
    }
    enet_host_flush(host_);
    return true;
}

void RawEnetPeer::pump(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    ENetEvent event;
    while (Clock::now() < deadline) {
        if (enet_host_service(host_, &event, 5) <= 0)
            continue;
        if (event.type == ENET_EVENT_TYPE_CONNECT)
            ++connects_;
        if (event.type == ENET_EVENT_TYPE_DISCONNECT)
            ++disconnects_;
        if (event.type == ENET_EVENT_TYPE_RECEIVE) {
            received_.assign(reinterpret_cast<const char*>(event.packet->data),
                             event.packet->dataLength);
            received_channel_ = event.channelID;
            enet_packet_destroy(event.packet);
        }
    }
}

SilentPort::SilentPort() : socket_(enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM)) {
    ENetAddress address = Loopback(0);
    ENetAddress bound{};
    if (socket_ != ENET_SOCKET_NULL && enet_socket_bind(socket_, &address) == 0 &&
        enet_socket_get_address(socket_, &bound) == 0) {
        port_ = bound.port;
    }
}

SilentPort::~SilentPort() {
    if (socket_ != ENET_SOCKET_NULL)
        enet_socket_destroy(socket_);
}

}  // namespace zutest
