#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dep/QtComponent/ffmpeg/decode-frame-callback.h"
#include "dep/QtComponent/ffmpeg/frame-scaler.h"
#include "dep/QtComponent/ffmpeg/packet-holder.h"

struct AVBufferRef;
struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;

// Decodes one phone's H.264 access units on a thread of its own and hands
// every usable picture to a DecodeFrameCallback. Latency comes before
// completeness: a packet that starts a new group of pictures discards every
// packet still waiting, so a slow machine catches up at the next key picture
// instead of working through a backlog.
class H264Decoder {
public:
    // How far the decoder may fall behind. A phone that sends no key
    // picture for a long time while this machine cannot keep up would
    // otherwise grow the pending list without bound: past either limit the
    // pending packets are dropped, and so is everything up to the next
    // packet that starts a group of pictures (nothing before it decodes).
    static constexpr size_t kMaxPendingPackets = 300;
    static constexpr size_t kMaxPendingBytes = 256u << 20;

    H264Decoder();
    // Stops and joins the decode thread; no delivery happens after it returns.
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // Prepares the codec on the first device type the hardware detection
    // found (software when it found none) and starts the decode thread.
    // False on any failure; the owner then destroys this decoder.
    bool init(DecodeFrameCallback* sink);
    // The same with an explicit device type list: only its first entry is
    // tried, and there is no fall-back to another type or to software.
    bool init(DecodeFrameCallback* sink, const std::vector<std::string>& deviceTypes);

    // Queues one complete Annex B access unit. An empty packet is refused
    // (false): FFmpeg would take it as the end of the stream and decode
    // nothing ever after.
    bool pushPacket(PacketHolder packet);

    // Whether `packet` starts a new group of pictures: its key flag is set,
    // or its first NAL unit after a four-byte start code is a parameter set
    // or an IDR slice.
    static bool StartsGroup(const PacketHolder& packet);

    bool hardware() const { return hardware_; }
    // The pixel format of hardware surfaces; -1 when decoding in software.
    int hardwarePixelFormat() const { return hwPixelFormat_; }
    size_t pendingCount() const;

private:
    bool openCodec(const std::vector<std::string>& deviceTypes);
    bool startThread();
    void run();
    bool takePacket(PacketHolder* packet);
    void decode(const PacketHolder& packet);
    void deliverSoftware(AVFrame* frame);
    void deliverHardware(AVFrame* frame);
    void deliver(const AVFrame* frame);

    DecodeFrameCallback* sink_ = nullptr;
    AVCodecContext* context_ = nullptr;
    AVCodecParserContext* parser_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    bool hardware_ = false;
    int hwPixelFormat_ = -1;
    AVBufferRef* hwDevice_ = nullptr;
    std::list<PacketHolder> pending_;
    size_t pendingBytes_ = 0;
    bool awaitingGroup_ = false;
    FrameScaler scaler_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;

    // Reused for every packet, so the per-picture path allocates no frames.
    AVFrame* frame_ = nullptr;
    AVFrame* download_ = nullptr;
    bool downloadFailureLogged_ = false;
    bool unsupportedReported_ = false;
};
