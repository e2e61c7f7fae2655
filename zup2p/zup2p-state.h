#pragma once

#include <enet/enet.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "zup2p/blocking-queue.h"
#include "zup2p/data-listener.h"
#include "zup2p/enet-library.h"
#include "zup2p/queue-items.h"

namespace zu {

using SendQueue = bg::BlockingQueue<OneSend>;
using ReceiveQueue = bg::BlockingQueue<OneReceive>;

// Diagnostics of the library go to standard output, one flushed line each.
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Everything behind a zu::Zup2p. After run() only the service thread touches
// ENet; the maps are shared with user threads under `lock`.
struct Zup2pState {
    static constexpr std::size_t kChannelCount = 13;
    static constexpr unsigned kFirstPeerId = 100;

    Zup2pState();
    ~Zup2pState();

    // Calls the listener's onError on the calling thread (if there is one).
    void ReportError(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
    bool HasPeer(unsigned peer_id);
    bool HasHost();
    std::shared_ptr<SendQueue> CurrentSendQueue();

    // Creates the host and both threads; false when nothing could be started.
    bool Start(DataListener* listener, int port, unsigned peer_count);
    // Joins both threads and destroys the host; what is still queued is freed.
    void Shutdown();
    bool IsDispatchThread() const;

    EnetLibrary enet;
    std::atomic<bool> stop_flag{false};
    std::unique_ptr<std::thread> service_thread;
    std::unique_ptr<std::thread> dispatch_thread;
    ENetHost* host = nullptr;
    std::atomic<DataListener*> listener{nullptr};
    std::shared_ptr<SendQueue> send_queue;
    std::shared_ptr<ReceiveQueue> receive_queue;
    std::mutex lock;
    unsigned next_peer_id = kFirstPeerId;
    std::unordered_map<unsigned, ENetPeer*> peers_by_id;
    std::unordered_map<ENetPeer*, unsigned> ids_by_peer;
    // Outgoing attempts ENet is still working on, by the peer it gave them.
    std::unordered_map<ENetPeer*, std::shared_ptr<ConnectRequest>> pending_connects;
    std::atomic<int> bound_port{0};
    // See Zup2p::setSinglePeer.
    std::atomic<bool> single_peer{false};
    // The dispatch thread, so stop() can refuse to join it from itself.
    std::atomic<std::thread::id> dispatch_id{};
    // Serialises run and stop against each other.
    std::mutex control;

private:
    void ServiceLoop(ENetHost* enet_host, std::shared_ptr<SendQueue> sends,
                     std::shared_ptr<ReceiveQueue> receives);
    void DispatchLoop(std::shared_ptr<ReceiveQueue> receives);

    bool HandleEvents(ENetHost* enet_host, ReceiveQueue& receives, bool busy);
    void OnConnect(ENetPeer* peer, ReceiveQueue& receives);
    void OnDisconnect(ENetPeer* peer, ReceiveQueue& receives);
    void OnReceive(const ENetEvent& event, ReceiveQueue& receives);
    void HandleSend(ENetHost* enet_host, OneSend& one, ReceiveQueue& receives);
    void Connect(ENetHost* enet_host, const std::shared_ptr<ConnectRequest>& request);
    void Disconnect(unsigned peer_id, ReceiveQueue& receives);
    void Send(ENetHost* enet_host, OneSend& one, ReceiveQueue& receives);
    ENetPeer* FindPeer(unsigned peer_id);
    void PushError(ReceiveQueue& receives, unsigned peer_id, int code, const char* format, ...)
        __attribute__((format(printf, 5, 6)));

    void Deliver(OneReceive& one);
    void DeliverText(DataListener* l, const OneReceive& one);

    static std::string Describe(const ENetPeer* peer);
    static void ReleaseSend(OneSend& one);
    static void ReleaseReceive(OneReceive& one);
};

}  // namespace zu
