#include "zup2p/zup2p.h"

#include <enet/enet.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "zup2p/zup2p-state.h"

namespace zu {

namespace {

constexpr std::size_t kSendQueueLimit = 100;
constexpr int kSendQueueWaitMs = 500;
constexpr int kConnectPolls = 50;
constexpr auto kConnectPollInterval = std::chrono::milliseconds(100);

// Connect requests are numbered across every host of the process; the number
// travels to the peer as the connect data.
std::atomic<uint32_t> g_request_number{0};

// Queues a created packet; on failure the packet is freed here.
bool QueueSend(Zup2pState* d, int channel, unsigned peer_id, ENetPacket* packet,
               const char* caller) {
    OneSend one;
    one.action = channel;
    one.peer_id = peer_id;
    one.packet = packet;
    std::shared_ptr<SendQueue> queue = d->CurrentSendQueue();
    if (!queue || queue->push(one, kSendQueueLimit, false, kSendQueueWaitMs) != SendQueue::kDone) {
        enet_packet_destroy(packet);
        d->ReportError(9, "%s: packet queue was full", caller);
        return false;
    }
    return true;
}

}  // namespace

Zup2p::Zup2p() : d(new Zup2pState()) {}

Zup2p::~Zup2p() {
    stop();
    delete d;
}

void Zup2p::run(DataListener* listener, int port, unsigned peer_count) {
    if (!listener) {
        Print("Error: listener is nullptr...\n");
        return;
    }
    bool running = false;
    {
        std::lock_guard<std::mutex> control(d->control);
        running = d->service_thread != nullptr;
        if (!running)
            d->Start(listener, port, peer_count);
    }
    if (running) {
        // Reported outside the lock: the listener may well call stop().
        listener->onError(1, "already running ...");
        Print("already running ...\n");
    }
}

void Zup2p::setSinglePeer(bool on) {
    d->single_peer = on;
}

int Zup2p::bindPort() {
    return d->bound_port.load();
}

unsigned Zup2p::makeConnection(const char* host, int port) {
    if (!d->HasHost()) {
        d->ReportError(2, "host invalid");
        return 0;
    }
    const char* shown = host ? host : "(null)";
    auto request = std::make_shared<ConnectRequest>();
    bool valid = host && port > 0 && port <= 65535;
    // Names first, then dotted IPv4 (ENet falls back to the latter itself).
    if (valid)
        valid = enet_address_set_host(&request->address, host) == 0;
    std::shared_ptr<SendQueue> queue = d->CurrentSendQueue();
    if (valid && queue) {
        request->address.port = static_cast<enet_uint16>(port);
        request->channel_count = Zup2pState::kChannelCount;
        request->number = ++g_request_number;
        OneSend one;
        one.action = kActionConnect;
        one.request = request;
        valid = queue->push(one) == SendQueue::kDone;
    }
    unsigned id = 0;
    for (int i = 0; valid && i < kConnectPolls; ++i) {
        std::this_thread::sleep_for(kConnectPollInterval);
        std::lock_guard<std::mutex> guard(d->lock);
        if (request->peer_id != 0 || request->failed)
            break;
    }
    {
        // Decided under the lock the service thread assigns ids with: a
        // connection that completes later is dropped instead of reported.
        std::lock_guard<std::mutex> guard(d->lock);
        id = request->peer_id;
        if (id == 0)
            request->abandoned = true;
    }
    if (id != 0) {
        Print("[#] connection Success.\n");
        return id;
    }
    d->ReportError(3, "connection failed: %s,%d", shown, port);
    Print("[#] connection failed.\n");
    return 0;
}

bool Zup2p::sendBinary(unsigned peer_id, ChannelType channel, const char* data, int len,
                       bool reliable) {
    if (!d->HasPeer(peer_id)) {
        d->ReportError(4, "send_binary(): no connection. peerID=%u", peer_id);
        return false;
    }
    // Channel 0 is text at the receiver; data there would be read as a string.
    if (channel < kChannelData1 || channel > kChannelData12) {
        d->ReportError(6, "send_binary(): invalid channel. channel=%d", static_cast<int>(channel));
        return false;
    }
    ENetPacket* packet = nullptr;
    if (len >= 0 && (data || len == 0)) {
        packet = enet_packet_create(data, static_cast<std::size_t>(len),
                                    reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
    }
    if (!packet) {
        d->ReportError(8, "send_binary(): create packet failed");
        return false;
    }
    return QueueSend(d, channel, peer_id, packet, "send_binary()");
}

bool Zup2p::sendText(unsigned peer_id, const char* text) {
    if (!d->HasPeer(peer_id)) {
        d->ReportError(4, "send_text(): no connection. peerID=%u", peer_id);
        return false;
    }
    // The terminating zero travels with the text.
    ENetPacket* packet =
        text ? enet_packet_create(text, std::strlen(text) + 1, ENET_PACKET_FLAG_RELIABLE) : nullptr;
    if (!packet) {
        d->ReportError(8, "send_text(): create packet failed");
        return false;
    }
    return QueueSend(d, kChannelText, peer_id, packet, "send_text()");
}

void Zup2p::close(unsigned peer_id) {
    std::shared_ptr<SendQueue> queue = d->CurrentSendQueue();
    if (!d->HasPeer(peer_id) || !queue) {
        Print("close failed, no connection (peerID=%u)\n", peer_id);
        return;
    }
    OneSend one;
    one.action = kActionDisconnect;
    one.peer_id = peer_id;
    queue->push(one);
}

void Zup2p::stop() {
    // Joining the dispatch thread from itself would never return.
    if (d->IsDispatchThread()) {
        Print("Error: stop() called from a listener callback, ignored\n");
        return;
    }
    std::lock_guard<std::mutex> control(d->control);
    d->Shutdown();
}

}  // namespace zu
