#pragma once

#include <enet/enet.h>

#include <cstdint>
#include <memory>

namespace zu {

// Actions of the queues; non-negative actions are ENet channel numbers.
enum QueueAction : int {
    kActionConnect = -1,     // OneSend: connect request; OneReceive: peer connected
    kActionDisconnect = -2,  // OneSend: disconnect request; OneReceive: peer gone
    kActionError = -3,       // OneReceive only
};

// One outgoing connection attempt. makeConnection may give up before the
// service thread has even seen the request, so both hold it (shared_ptr) and
// every field after `number` is guarded by the host state's lock.
struct ConnectRequest {
    ENetAddress address{};
    std::size_t channel_count = 0;
    uint32_t number = 0;
    ENetPeer* peer = nullptr;  // set once enet_host_connect has been called
    unsigned peer_id = 0;      // set when the connection is established
    bool failed = false;       // ENet refused or dropped the attempt
    bool abandoned = false;    // the caller stopped waiting
};

// User threads -> service thread.
struct OneSend {
    int action = 0;
    unsigned peer_id = 0;
    ENetPacket* packet = nullptr;
    std::shared_ptr<ConnectRequest> request;
};

// Service thread -> dispatch thread.
struct OneReceive {
    int16_t action = 0;
    unsigned peer_id = 0;
    int code = 0;
    char* text = nullptr;          // -1/-2: description, -3: error text (malloc'ed)
    ENetPacket* packet = nullptr;  // 0 and above: the received packet
};

}  // namespace zu
