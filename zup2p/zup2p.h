#pragma once

#include "zup2p/data-listener.h"
#include "zup2p/zup2p-export.h"

namespace zu {

// ENet channel numbers. Channel 0 carries text; data uses 1 to 12.
enum ChannelType : int {
    kChannelText = 0,
    kChannelData1 = 1,
    kChannelData2,
    kChannelData3,
    kChannelData4,
    kChannelData5,
    kChannelData6,
    kChannelData7,
    kChannelData8,
    kChannelData9,
    kChannelData10,
    kChannelData11,
    kChannelData12,
};

struct Zup2pState;

// A peer host over ENet: a service thread drives ENet, a dispatch thread
// delivers events to the listener, and two queues sit between them and the
// user's threads. Peers are numbered from 100 and never reused.
class ZUP2P_EXPORT Zup2p {
public:
    Zup2p();
    ~Zup2p();
    Zup2p(const Zup2p&) = delete;
    Zup2p& operator=(const Zup2p&) = delete;

    // Creates the host on `port` (0: any free port) for at most `peer_count`
    // peers and starts both threads; returns at once. When the host cannot be
    // created nothing runs and bindPort() stays 0.
    void run(DataListener* listener, int port, unsigned peer_count);
    // While on, the host serves one peer at a time: a peer that connects while
    // another is connected is dropped at once (its slot freed, nothing
    // delivered, nothing reported to the listener). Off by default; set it
    // before run().
    void setSinglePeer(bool on);
    // The bound UDP port, 0 without a host.
    int bindPort();
    // Connects out; the peer id, or 0 after about 5 s without success.
    unsigned makeConnection(const char* host, int port);
    // Data goes on channels 1 to 12 only; any other channel fails with error 6.
    bool sendBinary(unsigned peer_id, ChannelType channel, const char* data, int len,
                    bool reliable);
    bool sendText(unsigned peer_id, const char* text);
    void close(unsigned peer_id);
    // Stops both threads and destroys the host. Never call it from a listener callback.
    void stop();

private:
    Zup2pState* d;
};

}  // namespace zu
