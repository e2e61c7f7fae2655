#pragma once

#include "zup2p/zup2p-export.h"

namespace zu {

// Receives a Zup2p host's events. Every call comes on the host's dispatch
// thread (errors raised by a user call come on the calling thread); pointers
// are valid during the call only.
class ZUP2P_EXPORT DataListener {
public:
    // desc: the peer's dotted IPv4 address, a comma and its port in decimal.
    virtual void onConnected(unsigned peer_id, const char* desc) = 0;
    virtual void onDisconnected(unsigned peer_id, const char* desc) = 0;
    virtual void onError(int code, const char* text) = 0;
    // A text message (channel 0).
    virtual void onText(unsigned peer_id, const char* text) = 0;
    // A data message on channel >= 1.
    virtual void onBinary(unsigned peer_id, int channel, const char* data, int len) = 0;
    virtual ~DataListener() = default;
};

}  // namespace zu
