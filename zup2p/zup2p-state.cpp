#include "zup2p/zup2p-state.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

// The element types the library queues; instantiated here so every member of
// the template is compiled with the library.
template class bg::BlockingQueue<zu::OneSend>;
template class bg::BlockingQueue<zu::OneReceive>;
template class bg::BlockingQueue<bool>;

namespace zu {

namespace {

// Error texts fit a 255-byte buffer; listeners have never been handed longer ones.
constexpr std::size_t kErrorTextSize = 255;

// A zero-length ENet packet has no data pointer; listeners always get one.
const char kEmpty[1] = {0};

}  // namespace

void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

Zup2pState::Zup2pState() = default;

Zup2pState::~Zup2pState() {
    Shutdown();
}

void Zup2pState::ReportError(int code, const char* format, ...) {
    DataListener* l = listener.load();
    if (!l)
        return;
    char text[kErrorTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    l->onError(code, text);
}

bool Zup2pState::HasPeer(unsigned peer_id) {
    std::lock_guard<std::mutex> guard(lock);
    return peers_by_id.count(peer_id) != 0;
}

bool Zup2pState::HasHost() {
    std::lock_guard<std::mutex> guard(lock);
    return host != nullptr;
}

std::shared_ptr<SendQueue> Zup2pState::CurrentSendQueue() {
    std::lock_guard<std::mutex> guard(lock);
    return send_queue;
}

bool Zup2pState::IsDispatchThread() const {
    return dispatch_id.load() == std::this_thread::get_id();
}

bool Zup2pState::Start(DataListener* l, int port, unsigned peer_count) {
    listener = l;
    if (!enet.ready()) {
        Print("Error: ENet could not be initialised\n");
        return false;
    }
    if (port < 0 || port > 65535) {
        Print("Error: invalid port %d\n", port);
        return false;
    }
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = static_cast<enet_uint16>(port);
    ENetHost* h = enet_host_create(&address, peer_count ? peer_count : 1, kChannelCount, 0, 0);
    if (!h) {
        Print("Error: cannot create the host on port %d\n", port);
        return false;
    }
    // Read the port back: a requested 0 means the system picked one.
    ENetAddress bound{};
    const int actual =
        enet_socket_get_address(h->socket, &bound) == 0 ? bound.port : h->address.port;
    auto sends = std::make_shared<SendQueue>(&Zup2pState::ReleaseSend);
    auto receives = std::make_shared<ReceiveQueue>(&Zup2pState::ReleaseReceive);
    {
        std::lock_guard<std::mutex> guard(lock);
        host = h;
        send_queue = sends;
        receive_queue = receives;
    }
    bound_port = actual;
    stop_flag = false;
    Print("Listening on port %d\n", actual);
    try {
        service_thread.reset(new std::thread(&Zup2pState::ServiceLoop, this, h, sends, receives));
        dispatch_thread.reset(new std::thread(&Zup2pState::DispatchLoop, this, receives));
    } catch (const std::system_error&) {
        Print("Error: cannot start the host's threads\n");
        Shutdown();
        return false;
    }
    return true;
}

void Zup2pState::Shutdown() {
    stop_flag = true;
    std::shared_ptr<SendQueue> sends;
    std::shared_ptr<ReceiveQueue> receives;
    {
        std::lock_guard<std::mutex> guard(lock);
        sends = send_queue;
        receives = receive_queue;
    }
    if (sends)
        sends->stop();
    if (receives)
        receives->stop();
    if (service_thread) {
        service_thread->join();
        service_thread.reset();
    }
    if (dispatch_thread) {
        dispatch_thread->join();
        dispatch_thread.reset();
    }
    dispatch_id = std::thread::id();
    ENetHost* h = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        h = host;
        host = nullptr;
        peers_by_id.clear();
        ids_by_peer.clear();
        for (auto& pending : pending_connects)
            pending.second->failed = true;
        pending_connects.clear();
    }
    bound_port = 0;
    if (h)
        enet_host_destroy(h);
    // Nobody consumes these any more: free the packets and texts still queued.
    if (sends)
        sends->clear();
    if (receives)
        receives->clear();
}

// ---- service thread -------------------------------------------------------

void Zup2pState::ServiceLoop(ENetHost* enet_host, std::shared_ptr<SendQueue> sends,
                             std::shared_ptr<ReceiveQueue> receives) {
    // Never block long: ENet's resends and acknowledgements run only inside
    // enet_host_service, and queued sends wait for this loop.
    bool busy = false;
    while (!stop_flag) {
        bool handled = HandleEvents(enet_host, *receives, busy);
        OneSend one;
        if (sends->pop(one, false, handled ? 0 : 1, true) == SendQueue::kDone) {
            HandleSend(enet_host, one, *receives);
            handled = true;
        }
        busy = handled;
    }
}

bool Zup2pState::HandleEvents(ENetHost* enet_host, ReceiveQueue& receives, bool busy) {
    bool handled = false;
    ENetEvent event;
    int rc = enet_host_service(enet_host, &event, busy ? 0 : 1);
    while (rc > 0) {
        handled = true;
        switch (event.type) {
            case ENET_EVENT_TYPE_CONNECT:
                OnConnect(event.peer, receives);
                break;
            case ENET_EVENT_TYPE_DISCONNECT:
                OnDisconnect(event.peer, receives);
                break;
            case ENET_EVENT_TYPE_RECEIVE:
                OnReceive(event, receives);
                break;
            default: {
                unsigned id = 0;
                {
                    std::lock_guard<std::mutex> guard(lock);
                    auto it = ids_by_peer.find(event.peer);
                    if (it != ids_by_peer.end())
                        id = it->second;
                }
                Print("[#] Unknown event from '%s',  peerID=%u\n", Describe(event.peer).c_str(),
                      id);
                PushError(receives, id, 10, "unknown event");
                break;
            }
        }
        // A peer flooding us must not keep stop() waiting.
        if (stop_flag)
            break;
        rc = enet_host_service(enet_host, &event, 0);
    }
    return handled;
}

void Zup2pState::OnConnect(ENetPeer* peer, ReceiveQueue& receives) {
    OneReceive one;
    {
        std::lock_guard<std::mutex> guard(lock);
        std::shared_ptr<ConnectRequest> request;
        auto pending = pending_connects.find(peer);
        if (pending != pending_connects.end()) {
            request = pending->second;
            pending_connects.erase(pending);
            if (request->abandoned) {
                // makeConnection already told its caller that this failed.
                enet_peer_disconnect_now(peer, 0);
                return;
            }
        }
        if (!request && single_peer.load() && !peers_by_id.empty()) {
            // Freed now rather than after a polite goodbye: a crowd of such
            // peers must never fill the host.
            Print("[#] peer refused (%s): the host serves one peer\n", Describe(peer).c_str());
            enet_peer_disconnect_now(peer, 0);
            return;
        }
        const unsigned id = next_peer_id++;
        peers_by_id[id] = peer;
        ids_by_peer[peer] = id;
        if (request)
            request->peer_id = id;
        one.peer_id = id;
    }
    one.action = kActionConnect;
    one.text = strdup(Describe(peer).c_str());
    if (receives.push(one) != ReceiveQueue::kDone)
        ReleaseReceive(one);
}

void Zup2pState::OnDisconnect(ENetPeer* peer, ReceiveQueue& receives) {
    OneReceive one;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto pending = pending_connects.find(peer);
        if (pending != pending_connects.end()) {
            pending->second->failed = true;
            pending_connects.erase(pending);
        }
        auto it = ids_by_peer.find(peer);
        if (it == ids_by_peer.end())
            return;
        one.peer_id = it->second;
        peers_by_id.erase(it->second);
        ids_by_peer.erase(it);
    }
    one.action = kActionDisconnect;
    one.text = strdup(Describe(peer).c_str());
    if (receives.push(one) != ReceiveQueue::kDone)
        ReleaseReceive(one);
}

void Zup2pState::OnReceive(const ENetEvent& event, ReceiveQueue& receives) {
    OneReceive one;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = ids_by_peer.find(event.peer);
        if (it != ids_by_peer.end())
            one.peer_id = it->second;
    }
    if (one.peer_id == 0) {
        enet_packet_destroy(event.packet);
        return;
    }
    one.action = static_cast<int16_t>(event.channelID);
    one.packet = event.packet;
    if (receives.push(one) != ReceiveQueue::kDone)
        enet_packet_destroy(event.packet);
}

void Zup2pState::HandleSend(ENetHost* enet_host, OneSend& one, ReceiveQueue& receives) {
    if (one.action == kActionConnect) {
        Connect(enet_host, one.request);
    } else if (one.action == kActionDisconnect) {
        Disconnect(one.peer_id, receives);
    } else if (one.action >= 0) {
        Send(enet_host, one, receives);
    } else {
        ReleaseSend(one);
    }
}

void Zup2pState::Connect(ENetHost* enet_host, const std::shared_ptr<ConnectRequest>& request) {
    if (!request)
        return;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (request->abandoned)
            return;
    }
    ENetPeer* peer =
        enet_host_connect(enet_host, &request->address, request->channel_count, request->number);
    std::lock_guard<std::mutex> guard(lock);
    if (!peer) {
        request->failed = true;
        return;
    }
    request->peer = peer;
    pending_connects[peer] = request;
}

void Zup2pState::Disconnect(unsigned peer_id, ReceiveQueue& receives) {
    ENetPeer* peer = FindPeer(peer_id);
    if (peer) {
        enet_peer_disconnect(peer, 0);
        return;
    }
    Print("disconnect require, but can't find peer(id=%u)\n", peer_id);
    PushError(receives, peer_id, 5, "disconnect require, but can't find peer(id=%u)", peer_id);
}

void Zup2pState::Send(ENetHost* enet_host, OneSend& one, ReceiveQueue& receives) {
    ENetPacket* packet = one.packet;
    one.packet = nullptr;
    if (!packet)
        return;
    ENetPeer* peer = FindPeer(one.peer_id);
    if (!peer) {
        enet_packet_destroy(packet);
        Print("peer(id=%u) already be released, drop the packet.(channel=%d)\n", one.peer_id,
              one.action);
        return;
    }
    const int size = static_cast<int>(packet->dataLength);
    // Channels beyond the peer's count are refused here by ENet.
    if (enet_peer_send(peer, static_cast<enet_uint8>(one.action), packet) < 0) {
        PushError(receives, one.peer_id, 7, "send error, peerID=%u, pkt.size=%d", one.peer_id,
                  size);
        enet_packet_destroy(packet);
        return;
    }
    enet_host_flush(enet_host);
}

ENetPeer* Zup2pState::FindPeer(unsigned peer_id) {
    std::lock_guard<std::mutex> guard(lock);
    auto it = peers_by_id.find(peer_id);
    return it == peers_by_id.end() ? nullptr : it->second;
}

void Zup2pState::PushError(ReceiveQueue& receives, unsigned peer_id, int code, const char* format,
                           ...) {
    char text[kErrorTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    OneReceive one;
    one.action = kActionError;
    one.peer_id = peer_id;
    one.code = code;
    one.text = strdup(text);
    if (receives.push(one) != ReceiveQueue::kDone)
        ReleaseReceive(one);
}

std::string Zup2pState::Describe(const ENetPeer* peer) {
    if (!peer)
        return std::string();
    char ip[64] = {0};
    if (enet_address_get_host_ip(&peer->address, ip, sizeof ip) != 0)
        ip[0] = 0;
    return std::string(ip) + "," + std::to_string(peer->address.port);
}

// ---- dispatch thread ------------------------------------------------------

void Zup2pState::DispatchLoop(std::shared_ptr<ReceiveQueue> receives) {
    dispatch_id = std::this_thread::get_id();
    while (!stop_flag) {
        OneReceive one;
        const int rc = receives->pop(one, true, 0, true);
        if (rc == ReceiveQueue::kStopped)
            break;
        if (rc == ReceiveQueue::kDone)
            Deliver(one);
    }
}

void Zup2pState::Deliver(OneReceive& one) {
    DataListener* l = listener.load();
    const char* text = one.text ? one.text : kEmpty;
    if (one.action >= 1) {
        if (l) {
            const char* data =
                one.packet->data ? reinterpret_cast<const char*>(one.packet->data) : kEmpty;
            l->onBinary(one.peer_id, one.action, data, static_cast<int>(one.packet->dataLength));
        }
    } else if (one.action == 0) {
        if (l)
            DeliverText(l, one);
    } else if (one.action == kActionConnect) {
        Print("[#] peer(id=%u) connected (%s)\n", one.peer_id, text);
        if (l)
            l->onConnected(one.peer_id, text);
    } else if (one.action == kActionDisconnect) {
        Print("[#] peer(id=%u) disconnected (%s)\n", one.peer_id, text);
        if (l)
            l->onDisconnected(one.peer_id, text);
    } else if (one.action == kActionError) {
        if (l)
            l->onError(one.code, text);
    } else {
        Print("[#] unknow Action: one.(user_id=%d)\n", static_cast<int>(one.peer_id));
    }
    ReleaseReceive(one);
}

// Text comes from the network: a packet without its terminating zero must
// not make the listener read past its end.
void Zup2pState::DeliverText(DataListener* l, const OneReceive& one) {
    const char* data = reinterpret_cast<const char*>(one.packet->data);
    const std::size_t size = one.packet->dataLength;
    if (data && size > 0 && data[size - 1] == '\0') {
        l->onText(one.peer_id, data);
        return;
    }
    const std::string terminated(data ? data : kEmpty, data ? size : 0);
    l->onText(one.peer_id, terminated.c_str());
}

void Zup2pState::ReleaseSend(OneSend& one) {
    if (one.packet)
        enet_packet_destroy(one.packet);
    one.packet = nullptr;
    one.request.reset();
}

void Zup2pState::ReleaseReceive(OneReceive& one) {
    if (one.packet)
        enet_packet_destroy(one.packet);
    one.packet = nullptr;
    std::free(one.text);
    one.text = nullptr;
}

}  // namespace zu
