#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <json/value.h>

#include "dep/QtComponent/media-socket/announcer.h"
#include "dep/QtComponent/media-socket/session-liveness.h"
#include "dep/QtComponent/media-socket/stream-gate.h"
#include "dep/QtComponent/media-socket/stream-packet-assembler.h"
#include "dep/QtComponent/media-socket/timer.h"
#include "dep/QtComponent/media-socket/zusp-command-handler.h"

namespace zu {
class Zup2p;
}

namespace media_socket {

class Acceptor;
class Connection;
class EventLoop;
class Socket;
class UDPDataListener;

// The desktop end of the phone's stream protocol. It serves one phone at a
// time over
//   - a command connection: TCP on the port given to Start(); frames of a
//     4-byte big-endian length and a JSON body, both ways;
//   - a stream: a second TCP connection on the first free port above the
//     command port, or Zup2p datagrams on a system-chosen UDP port, as the
//     phone's push-play asks; it carries a token packet and video and audio
//     packets (see StreamPacketAssembler);
//   - optionally, announcements: once a second a JSON datagram with the
//     announce name, the command port and the local address to every host of
//     the local /24 networks.
//
// The built-in commands (push-play, shutdown, device-name, ping) are answered
// here (see ZuSPCommandHandler for the exact replies); any other command goes
// to the command callback. Any protocol error, an empty delivery or a failed
// command closes the link: both connections, the stream port and the Zup2p
// transport go, the disconnected callback runs (once, and only for a phone
// that finished push-play), and the phone starts again with a new command
// connection. A stream connection counts only once its first packet carries
// the token of the push-play reply (see StreamGate); the stream port's
// strangers cost the phone nothing. A second command connection is refused
// while the session is live; one that comes while the session is stale (see
// SessionLiveness) closes it, as a disconnection, and is served instead.
//
// Threads: the server runs an event loop on a thread of its own from
// construction to destruction. Every callback runs on that thread, except the
// video and audio callbacks of a Zup2p stream, which run on Zup2p's dispatch
// thread. Payload pointers are valid during the call only; copy what you
// keep. A callback must not block and must not destroy the server.
//
// Use: construct, set the callbacks, Start(port), optionally StartAnnounce();
// destroy from the owner's thread (never from a callback). Callbacks cannot be
// changed after Start.
class ZuSPServer : private ZuSPCommandHost {
public:
    // After the push-play reply: the "name" of the push-play "data" (or "").
    using ConnectedCallback = std::function<void(const char* peer_name)>;
    // When the link of a phone that finished push-play closes; once per
    // such phone. A connection that never got that far, or a second close
    // of the same link (both connections dropping at once), reports nothing.
    using DisconnectedCallback = std::function<void()>;
    // A command of type >= 3 other than 1001. `reply` starts null; fill it to
    // send it as "data". Return true when handled (reply "type" 0), false to
    // refuse (reply "type" 1, then the link closes).
    using CommandCallback =
        std::function<bool(int type, const Json::Value& data, Json::Value* reply)>;
    // A complete video packet (media kind 1): payload, length, frame kind
    // (2 marks codec configuration data).
    using VideoCallback = std::function<void(const char* data, unsigned len, unsigned frame_kind)>;
    // A complete audio packet (media kind 2) of at least one channel.
    using AudioCallback = std::function<void(const char* data, unsigned len, unsigned sample_rate,
                                             unsigned channels, unsigned bits_per_sample)>;
    // A TCP push-play opened this stream port; comes before the reply.
    using StreamPortCallback = std::function<void(unsigned port)>;

    // Stream ports are tried from the command port + 1 up to + 1999.
    static constexpr int kStreamPortRange = 2000;
    // The phone's TCP keep-alive: idle time and probe interval.
    static constexpr int kKeepAliveIdleMs = 500;
    static constexpr int kKeepAliveIntervalMs = 100;

    ZuSPServer();
    // Stops and joins the loop thread (and the Zup2p threads) before freeing
    // anything. Never call it from one of the server's callbacks.
    ~ZuSPServer() override;
    ZuSPServer(const ZuSPServer&) = delete;
    ZuSPServer& operator=(const ZuSPServer&) = delete;

    void SetConnectedCallback(ConnectedCallback cb) { connected_cb_ = std::move(cb); }
    void SetDisconnectedCallback(DisconnectedCallback cb) { disconnected_cb_ = std::move(cb); }
    void SetCommandCallback(CommandCallback cb) { command_cb_ = std::move(cb); }
    void SetVideoCallback(VideoCallback cb) { video_cb_ = std::move(cb); }
    void SetAudioCallback(AudioCallback cb) { audio_cb_ = std::move(cb); }
    void SetStreamPortCallback(StreamPortCallback cb) { stream_port_cb_ = std::move(cb); }

    // Listens for the command connection on 0.0.0.0:port (0: any free port,
    // see CmdPort()). False when the port cannot be opened (in use) or when
    // the server was started already. Call once.
    bool Start(uint16_t port);
    // The command port; 0 before a successful Start.
    uint16_t CmdPort() const { return cmd_port_.load(); }
    // Whether the last push-play chose the Zup2p stream (false: TCP). Any
    // thread; read it in the connected callback to tell the two apart.
    bool StreamIsUdp() const { return stream_is_udp_.load(); }

    // Announces `name` from each IPv4 address in `ips` (others are skipped) to
    // UDP port `port`, once a second, replacing any earlier announcement.
    void StartAnnounce(const std::string& name, const std::vector<std::string>& ips, uint16_t port);
    void StopAnnounce();

private:
    // All of these run on the loop thread.
    void OnNewCmdConnection(Socket&& socket);
    void OnNewStreamConnection(Socket&& socket);
    void OnCmdMessage(char* data, int len);
    void OnStreamMessage(char* data, int len);
    void AdmitStream(std::unique_ptr<Connection> connection, const std::string& received,
                     bool closed);
    void FeedStream(const char* data, size_t len);
    void ReportRefusedStreams();
    bool OpenStreamAcceptor(uint16_t* port);
    void StartUdp();
    void StopUdp();
    void CloseConnection();
    void AnnounceTick();
    bool CheckToken(const char* data, unsigned len);
    // The owner's media callbacks, each packet also counting as a sign of life.
    StreamPacketAssembler::VideoCallback LiveVideoCallback();
    StreamPacketAssembler::AudioCallback LiveAudioCallback();

    // ZuSPCommandHost
    void SendCmd(const std::string& body) override;
    void RequestClose() override;
    unsigned OpenTcpStream() override;
    unsigned StartUdpStream() override;
    void NotifyStreamPort(unsigned port) override;
    std::string RenewToken() override;
    void NotifyConnected(const std::string& peer_name) override;
    bool HandleCustomCommand(int type, const Json::Value& data, Json::Value* reply) override;
    std::string DeviceName() override;

    std::unique_ptr<EventLoop> loop_;
    std::thread loop_thread_;
    std::string token_;
    std::atomic<uint16_t> cmd_port_{0};
    std::unique_ptr<Acceptor> cmd_acceptor_;
    std::unique_ptr<Connection> cmd_connection_;
    SessionLiveness liveness_;
    ZuSPCommandHandler commands_{this};
    std::unique_ptr<Acceptor> stream_acceptor_;
    // Stream connections that have not shown the token yet.
    std::unique_ptr<StreamGate> stream_gate_;
    uint64_t refused_reported_ = 0;
    // Stream connections refused because the phone's stream exists.
    uint64_t late_streams_ = 0;
    std::unique_ptr<Connection> stream_connection_;
    std::unique_ptr<StreamPacketAssembler> stream_;
    // Set by RequestClose (from any thread) until the close has run: input that
    // arrives meanwhile belongs to a link that is going away.
    std::atomic<bool> close_pending_{false};
    // A phone finished push-play and its link has not closed since (loop
    // thread only): only such a link has a disconnection to report.
    bool phone_connected_ = false;
    std::atomic<bool> stream_is_udp_{false};

    ConnectedCallback connected_cb_;
    DisconnectedCallback disconnected_cb_;
    CommandCallback command_cb_;
    VideoCallback video_cb_;
    AudioCallback audio_cb_;
    StreamPortCallback stream_port_cb_;

    Announcer announcer_;
    Timer announce_timer_;

    std::unique_ptr<UDPDataListener> udp_listener_;
    std::unique_ptr<zu::Zup2p> udp_transport_;
};

}  // namespace media_socket
