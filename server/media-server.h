#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <json/value.h>

#include "dep/QtComponent/ffmpeg/decode-frame-callback.h"
#include "platform/network-interfaces.h"
#include "server/media-callback.h"
#include "server/phone-media-handler.h"

namespace media_socket {
class ZuSPServer;
}

// The Wi-Fi connection server: one stream-protocol server, the decoder of the
// connected phone, and the translation of protocol events into MediaCallback
// calls. Lives on the GUI (or main) thread; the protocol callbacks run on the
// server's loop thread, pictures on the decoder thread.
class MediaServer : public QObject, public DecodeFrameCallback {
    Q_OBJECT

public:
    static std::unique_ptr<MediaServer> Create(MediaCallback* callback);
    // Stops the stream server (joining its thread) before the decoder goes.
    ~MediaServer() override;

    // Listens for the phone's command connection on `port` (10080).
    // False when the port cannot be opened.
    bool Start(int port);
    // The local IPv4 addresses worth announcing; starts announcing them to
    // UDP `announcePort` (5008) under the current device name.
    std::vector<std::string> GetLocalAddresses(int announcePort);
    void StopAnnounce();

    // The command port actually listened on (useful with Start(0)); 0 when not started.
    int Port() const;
    // Whether the connected phone streams over Zup2p (false: TCP). Any thread.
    bool StreamIsUdp() const;
    // The media side of the connection (decoder settings, packet observer).
    PhoneMediaHandler& Media() { return media_; }

    // The addresses of `adapters` worth announcing: the first IPv4 address of
    // each adapter, without 0.0.0.0 and 127.0.0.1 and without adapters whose
    // description names a virtual machine's network, in adapter order.
    static std::vector<std::string> AnnounceAddresses(
        const std::vector<platform::NetworkAdapter>& adapters);

signals:
    void sig_DecoderInitFailed(QString text);

public slots:
    void ReInitDecoder();

private:
    explicit MediaServer(MediaCallback* callback);

    // DecodeFrameCallback
    void OnDecodeFrame(const FrameHolder& frame) override;
    void OnReInitDecoder() override;
    void OnUnsupportedFormat(int pixelFormat) override;

    // Stream-server callbacks (loop thread; video/audio also Zup2p's thread).
    void OnConnected(const char* name);
    void OnDisconnected();
    bool OnCommand(int type, const Json::Value& data, Json::Value* reply);

    MediaCallback* callback_;
    std::unique_ptr<media_socket::ZuSPServer> server_;
    PhoneMediaHandler media_;
    std::atomic<bool> connected_{false};
    // True at start: the first disconnection keeps the last picture for a
    // while even without the phone's hold command.
    std::atomic<bool> holdPicture_{true};
};
