#pragma once

#include <functional>

#include "dep/QtComponent/media-socket/stream-packet-assembler.h"
#include "zup2p/data-listener.h"

namespace media_socket {

class ZuSPServer;

// Receives the phone's media stream over Zup2p: the data messages carry the
// same packet stream as the TCP stream connection, cut anywhere. Complete
// video and audio packets go to the server's callbacks; a protocol error or an
// empty message asks the server to close the link. Every call comes on the
// Zup2p dispatch thread, so the media callbacks run there too. Token packets
// are printed, not checked. The first peer that connects is the phone; data
// from any other peer is dropped unread (the server's Zup2p host turns such
// peers away anyway). When the phone's peer goes, the next one to connect is
// taken as the phone.
class UDPDataListener : public zu::DataListener {
public:
    using VideoCallback = StreamPacketAssembler::VideoCallback;
    using AudioCallback = StreamPacketAssembler::AudioCallback;

    // The server is not kept: everything it hands over comes through the setters.
    explicit UDPDataListener(ZuSPServer* server);
    ~UDPDataListener() override;
    UDPDataListener(const UDPDataListener&) = delete;
    UDPDataListener& operator=(const UDPDataListener&) = delete;

    // Set before the transport runs; never changed afterwards.
    void SetVideoCallback(VideoCallback cb);
    void SetAudioCallback(AudioCallback cb);
    // Must only queue work (the server's RequestClose): it runs on the
    // dispatch thread, which the server joins while closing.
    void SetCloseFunction(std::function<void()> fn) { close_ = std::move(fn); }

    void onConnected(unsigned peer_id, const char* desc) override;
    void onDisconnected(unsigned peer_id, const char* desc) override;
    void onError(int code, const char* text) override;
    void onText(unsigned peer_id, const char* text) override;
    void onBinary(unsigned peer_id, int channel, const char* data, int len) override;

    size_t BufferedBytes() const { return assembler_.Fill(); }
    // The phone's peer id; 0 before the first peer connected.
    unsigned PhonePeer() const { return phone_peer_; }

private:
    unsigned phone_peer_ = 0;
    std::function<void()> close_;
    StreamPacketAssembler assembler_;
};

}  // namespace media_socket
