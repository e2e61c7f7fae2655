#include "server/phone-media-handler.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include "dep/QtComponent/ffmpeg/h264-decoder.h"
#include "dep/QtComponent/ffmpeg/pcm-resampler.h"
#include "dep/QtComponent/media-socket/zusp-server.h"
#include "hublet/log-sink.h"
#include "server/media-callback.h"

namespace {

// More channels than any phone sends; anything above is not audio we can use.
constexpr unsigned kMaxChannels = 64;

}  // namespace

PhoneMediaHandler::PhoneMediaHandler() = default;

PhoneMediaHandler::~PhoneMediaHandler() {
    StopDecoder();
}

void PhoneMediaHandler::SetDeviceTypes(std::vector<std::string> deviceTypes) {
    std::lock_guard<std::mutex> lock(mutex_);
    deviceTypes_ = std::move(deviceTypes);
}

void PhoneMediaHandler::SetPacketObserver(PacketObserver observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

bool PhoneMediaHandler::StartDecoder(DecodeFrameCallback* sink) {
    audioDropLogged_ = false;
    std::optional<std::vector<std::string>> deviceTypes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        deviceTypes = deviceTypes_;
    }
    std::unique_ptr<H264Decoder> decoder;
    for (int attempt = 0; attempt < kDecoderInitAttempts && !decoder; ++attempt) {
        auto candidate = std::make_unique<H264Decoder>();
        bool ok = deviceTypes ? candidate->init(sink, *deviceTypes) : candidate->init(sink);
        if (ok)
            decoder = std::move(candidate);
    }
    std::unique_ptr<H264Decoder> old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        old = std::move(decoder_);
        decoder_ = std::move(decoder);
        return decoder_ != nullptr;
    }
}

void PhoneMediaHandler::StopDecoder() {
    std::unique_ptr<H264Decoder> old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        old = std::move(decoder_);
    }
    // Joined outside the lock: the decode thread never takes it, but a
    // picture arriving meanwhile must not wait for the join.
    old.reset();
}

bool PhoneMediaHandler::HasDecoder() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return decoder_ != nullptr;
}

void PhoneMediaHandler::ConnectStreamServer(media_socket::ZuSPServer* server,
                                            MediaCallback* callback) {
    server->SetVideoCallback(
        [this](const char* data, unsigned len, unsigned kind) { OnVideo(data, len, kind); });
    server->SetAudioCallback(
        [this, callback](const char* data, unsigned len, unsigned rate, unsigned channels,
                         unsigned bits) { OnAudio(data, len, rate, channels, bits, callback); });
}

bool PhoneMediaHandler::AudioWithinLimits(unsigned len, unsigned sampleRate, unsigned channels) {
    if (!PcmResampler::acceptsInput(sampleRate, channels))
        return false;
    const unsigned long long samples = len / (2ull * channels);
    return samples <= sampleRate;
}

void PhoneMediaHandler::OnAudio(const char* data, unsigned len, unsigned sampleRate,
                                unsigned channels, unsigned bitsPerSample,
                                MediaCallback* callback) {
    if (bitsPerSample != 16)
        return;
    if (!AudioWithinLimits(len, sampleRate, channels)) {
        if (!audioDropLogged_.exchange(true)) {
            BG_LOGW(
                "phone audio dropped: %u Hz, %u channels, %u bytes a packet (taken: %d-%d "
                "Hz, 1-%d channels, at most one second a packet)",
                sampleRate, channels, len, PcmResampler::kMinInputRate, PcmResampler::kMaxInputRate,
                PcmResampler::kMaxInputChannels);
        }
        return;
    }
    FrameHolder frame = MakeAudioFrame(data, len, sampleRate, channels, bitsPerSample);
    if (frame && callback)
        callback->OnAudioFrame(frame);
}

void PhoneMediaHandler::OnVideo(const char* data, unsigned len, unsigned frameKind) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    std::lock_guard<std::mutex> lock(mutex_);
    if (frameKind == 2) {
        pendingConfig_ = PacketHolder::Copy(bytes, len);
        return;
    }
    if (!decoder_) {
        // Nobody decodes: the picture and its configuration are dropped alike.
        pendingConfig_.reset();
        return;
    }
    PacketHolder packet = PacketHolder::Join(pendingConfig_, bytes, len);
    pendingConfig_.reset();
    if (!packet)
        return;
    if (observer_)
        observer_(packet);
    decoder_->pushPacket(std::move(packet));
}

FrameHolder PhoneMediaHandler::MakeAudioFrame(const char* data, unsigned len, unsigned sampleRate,
                                              unsigned channels, unsigned bitsPerSample) {
    if (bitsPerSample != 16 || channels == 0 || channels > kMaxChannels || !data) {
        return FrameHolder();
    }
    unsigned samples = len / (2 * channels);
    if (samples == 0 || sampleRate > static_cast<unsigned>(INT32_MAX))
        return FrameHolder();
    AVFrame* frame = av_frame_alloc();
    if (!frame)
        return FrameHolder();
    frame->format = AV_SAMPLE_FMT_S16;
    frame->sample_rate = static_cast<int>(sampleRate);
    av_channel_layout_default(&frame->ch_layout, static_cast<int>(channels));
    frame->nb_samples = static_cast<int>(samples);
    if (av_frame_get_buffer(frame, 1) < 0) {
        av_frame_free(&frame);
        return FrameHolder();
    }
    int size = av_samples_get_buffer_size(nullptr, static_cast<int>(channels),
                                          static_cast<int>(samples), AV_SAMPLE_FMT_S16, 1);
    std::memcpy(frame->data[0], data, std::min<size_t>(static_cast<size_t>(size), len));
    return FrameHolder::Adopt(frame);
}
