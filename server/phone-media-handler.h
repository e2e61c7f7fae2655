#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dep/QtComponent/ffmpeg/frame-holder.h"
#include "dep/QtComponent/ffmpeg/packet-holder.h"

class DecodeFrameCallback;
class H264Decoder;
class MediaCallback;

namespace media_socket {
class ZuSPServer;
}

// The media side of one phone connection, the same for Wi-Fi and USB: the
// decoder of the connected phone, the codec configuration waiting for the next
// picture, and the turning of PCM packets into audio frames.
//
// The decoder is created on the server's loop thread while pictures may
// already arrive on Zup2p's dispatch thread, so it is guarded by a lock.
class PhoneMediaHandler {
public:
    static constexpr int kDecoderInitAttempts = 3;

    PhoneMediaHandler();
    ~PhoneMediaHandler();
    PhoneMediaHandler(const PhoneMediaHandler&) = delete;
    PhoneMediaHandler& operator=(const PhoneMediaHandler&) = delete;

    // Creates and initialises a decoder delivering to `sink`, with up to
    // three attempts. False when every attempt failed (no decoder then).
    // Called as each phone connects, so it also starts the connection's
    // audio bookkeeping afresh.
    bool StartDecoder(DecodeFrameCallback* sink);
    // Destroys the decoder (joins its thread).
    void StopDecoder();
    bool HasDecoder() const;

    // Decode on these hardware device types instead of the ones the start-up
    // detection found (an empty list: software). Takes effect at the next
    // StartDecoder.
    void SetDeviceTypes(std::vector<std::string> deviceTypes);
    // Sees every packet handed to the decoder (diagnostics and tests). Set it
    // before the phone connects.
    using PacketObserver = std::function<void(const PacketHolder&)>;
    void SetPacketObserver(PacketObserver observer);

    // Routes the stream server's media here: video packets to the decoder,
    // PCM packets as audio frames to `callback`. Call before the server starts.
    void ConnectStreamServer(media_socket::ZuSPServer* server, MediaCallback* callback);

    // A video packet from the phone. Frame kind 2 is codec configuration: it
    // is kept and joined, once, in front of the next picture.
    void OnVideo(const char* data, unsigned len, unsigned frameKind);

    // A PCM packet from the phone: 16-bit packets within AudioWithinLimits
    // go to `callback` as audio frames. 16-bit packets outside the limits are
    // dropped with one warning per connection; other sample sizes silently.
    void OnAudio(const char* data, unsigned len, unsigned sampleRate, unsigned channels,
                 unsigned bitsPerSample, MediaCallback* callback);
    // What the microphone and the recorder take (see PcmResampler), and no
    // more than one second of it in one packet: the work any one packet can
    // cause downstream stays bounded.
    static bool AudioWithinLimits(unsigned len, unsigned sampleRate, unsigned channels);

    // A PCM packet as an audio frame (signed 16-bit interleaved, the default
    // layout for the channel count). Empty for anything but 16-bit samples,
    // for no channels, or when no whole sample is there.
    static FrameHolder MakeAudioFrame(const char* data, unsigned len, unsigned sampleRate,
                                      unsigned channels, unsigned bitsPerSample);

private:
    mutable std::mutex mutex_;
    std::unique_ptr<H264Decoder> decoder_;
    PacketHolder pendingConfig_;
    std::optional<std::vector<std::string>> deviceTypes_;
    PacketObserver observer_;
    std::atomic<bool> audioDropLogged_{false};
};
