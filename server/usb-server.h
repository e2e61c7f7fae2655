#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

#include <json/value.h>

#include "dep/QtComponent/ffmpeg/decode-frame-callback.h"
#include "server/media-callback.h"
#include "server/phone-media-handler.h"

class QTimerEvent;

namespace media_socket {
class ZuSPServer;
}

namespace zu {
class QAdbTools;
}

// The USB connection server: an Android phone on a cable reaches the stream
// server through `adb reverse` mappings. Once a second, while no phone is
// connected, the first attached device gets its command port 10080 mapped to
// our command port; every TCP stream port the server opens is mapped as well.
// Media handling and phone commands are the Wi-Fi server's, except that
// pictures are never gated and the phone's hold command is refused.
//
// Threads: the object lives on the GUI (or main) thread, where the scan and
// the mapping slots run; adb calls wait in local event loops there, so those
// slots are re-entered by timer ticks and queued calls while they wait. The
// protocol callbacks run on the server's loop thread and reach the slots only
// through queued invocations by name. Pictures arrive on the decoder thread.
class USBServer : public QObject, public DecodeFrameCallback {
    Q_OBJECT

public:
    // The phone app's command port in both modes: the device end of the
    // command mapping.
    static constexpr int kPhoneCommandPort = 10080;
    static constexpr int kScanIntervalMs = 1000;

    explicit USBServer(MediaCallback* callback);
    static std::unique_ptr<USBServer> Create(MediaCallback* callback);
    // Stops scanning, releases the ADB tools (which removes the mappings) and
    // stops the stream server (joining its thread) before the decoder goes.
    ~USBServer() override;
    USBServer(const USBServer&) = delete;
    USBServer& operator=(const USBServer&) = delete;

    // Listens for the phone's command connection on `port` (11080) and starts
    // scanning for devices. False when the port cannot be opened; nothing
    // scans then.
    bool Start(int port);

    // The command port actually listened on (useful with Start(0)); 0 when not started.
    int Port() const;
    // The media side of the connection (decoder settings, packet observer).
    PhoneMediaHandler& Media() { return media_; }

    // One device scan, as the scan timer runs it: maps the command port of the
    // first attached device unless that device is the one mapped already.
    void ScanUSBDevice();
    bool IsScanning() const { return scanTimer_ != 0; }
    // The serial of the device whose command port is mapped; empty for none.
    QString Serial() const { return serial_; }

signals:
    void sig_DecoderInitFailed(QString text);

public slots:
    void StartScanUSBDevice();
    void StopScanUSBDevice();
    void ReverseCommandPort();
    void ReverseStreamPort();
    void ReInitDecoder();

protected:
    void timerEvent(QTimerEvent* event) override;

private slots:
    // The serial belongs to the GUI thread; a disconnection on the loop
    // thread clears it through this queued slot.
    void ForgetSerial();

private:
    // DecodeFrameCallback
    void OnDecodeFrame(const FrameHolder& frame) override;
    void OnReInitDecoder() override;
    void OnUnsupportedFormat(int pixelFormat) override;

    // Stream-server callbacks (loop thread; video/audio also Zup2p's thread).
    void OnConnected(const char* name);
    void OnDisconnected();
    void OnStreamPort(unsigned port);
    bool OnCommand(int type, const Json::Value& data, Json::Value* reply);

    // The host's ADB tools; null (logged once) when the host has none.
    zu::QAdbTools* Tools();

    MediaCallback* callback_;
    std::unique_ptr<media_socket::ZuSPServer> server_;
    PhoneMediaHandler media_;
    uint16_t commandPort_ = 0;
    // Written on the loop thread, read by the mapping slot on the GUI thread.
    std::atomic<uint16_t> streamPort_{0};
    int scanTimer_ = 0;
    QString serial_;
    // A scan waits for adb in a local event loop; a tick delivered meanwhile
    // must not start a second one.
    bool scanning_ = false;
    bool noToolsLogged_ = false;
};
