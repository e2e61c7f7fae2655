#include "dep/QtComponent/ffmpeg/h264-decoder.h"

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <system_error>
#include <utility>

#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"
#include "hublet/log-sink.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
}

namespace {

// The owner's stop flag is seen within this time when no packet arrives.
constexpr auto kWaitStep = std::chrono::milliseconds(10);

// The formats every receiver (window, camera queue, recorder) takes as they are.
bool Deliverable(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P ||
           format == AV_PIX_FMT_NV12;
}

}  // namespace

H264Decoder::H264Decoder() : scaler_(AV_PIX_FMT_YUV420P, 0, 0) {}

H264Decoder::~H264Decoder() {
    stop_.store(true);
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    avcodec_free_context(&context_);
    if (parser_)
        av_parser_close(parser_);
    parser_ = nullptr;
    av_buffer_unref(&hwDevice_);
    av_frame_free(&frame_);
    av_frame_free(&download_);
    scaler_.release();
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
    pendingBytes_ = 0;
}

bool H264Decoder::init(DecodeFrameCallback* sink) {
    return init(sink, HardwareCodecDetector::instance()->hardwareDeviceTypes());
}

bool H264Decoder::init(DecodeFrameCallback* sink, const std::vector<std::string>& deviceTypes) {
    if (thread_.joinable()) {
        // The codec context belongs to the running thread; rebuilding it
        // underneath would race. The owner makes a new decoder instead.
        BG_LOGE("H264Decoder::init called on a running decoder");
        return false;
    }
    sink_ = sink;
    if (!openCodec(deviceTypes))
        return false;

    if (parser_)
        av_parser_close(parser_);
    parser_ = av_parser_init(AV_CODEC_ID_H264);
    if (!parser_)
        return false;
    parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;

    if (!frame_)
        frame_ = av_frame_alloc();
    if (!download_)
        download_ = av_frame_alloc();
    if (!frame_ || !download_)
        return false;
    return startThread();
}

bool H264Decoder::openCodec(const std::vector<std::string>& deviceTypes) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec)
        return false;

    hardware_ = !deviceTypes.empty();
    hwPixelFormat_ = -1;
    AVHWDeviceType type = AV_HWDEVICE_TYPE_NONE;
    if (hardware_) {
        type = av_hwdevice_find_type_by_name(deviceTypes.front().c_str());
        if (type == AV_HWDEVICE_TYPE_NONE)
            return false;
        int surface = HardwareCodecDetector::SurfaceFormatFor(codec, type);
        if (surface < 0) {
            BG_LOGE("Decoder %s does not support device type %s.", codec->name,
                    deviceTypes.front().c_str());
            return false;
        }
        hwPixelFormat_ = surface;
    }

    avcodec_free_context(&context_);
    context_ = avcodec_alloc_context3(codec);
    if (!context_)
        return false;
    // A picture must leave the decoder with the packet that carries it: no
    // frame threads (each holds pictures back) and no waiting for more input.
    context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context_->thread_count = 1;
    context_->thread_type = FF_THREAD_SLICE;

    if (hardware_) {
        av_buffer_unref(&hwDevice_);
        if (av_hwdevice_ctx_create(&hwDevice_, type, nullptr, nullptr, 0) < 0) {
            BG_LOGE("Failed to create specified HW device.");
            return false;
        }
        // FFmpeg's default format choice takes the device's surface format
        // once the context carries a device.
        context_->hw_device_ctx = av_buffer_ref(hwDevice_);
        if (!context_->hw_device_ctx)
            return false;
    }
    if (avcodec_open2(context_, codec, nullptr) < 0)
        return false;
    if (hardware_) {
        BG_LOGI("H.264 decoding on hardware device type %s", deviceTypes.front().c_str());
    } else {
        BG_LOGI("H.264 decoding in software");
    }
    return true;
}

bool H264Decoder::startThread() {
    stop_.store(false);
    try {
        thread_ = std::thread(&H264Decoder::run, this);
    } catch (const std::system_error& e) {
        BG_LOGE("Could not start the decode thread: %s", e.what());
        return false;
    }
    return true;
}

bool H264Decoder::pushPacket(PacketHolder packet) {
    if (packet.size() <= 0)
        return false;
    const auto size = static_cast<size_t>(packet.size());
    std::lock_guard<std::mutex> lock(mutex_);
    if (StartsGroup(packet)) {
        std::fprintf(stderr, "release old pkt_ %d.\n", static_cast<int>(pending_.size()));
        pending_.clear();
        pendingBytes_ = 0;
        awaitingGroup_ = false;
    } else if (awaitingGroup_) {
        return true;
    } else if (pending_.size() >= kMaxPendingPackets || pendingBytes_ + size > kMaxPendingBytes) {
        BG_LOGW(
            "decoder is %zu packets (%zu bytes) behind: dropping them until the next key "
            "picture",
            pending_.size(), pendingBytes_);
        pending_.clear();
        pendingBytes_ = 0;
        awaitingGroup_ = true;
        return true;
    }
    pending_.push_back(std::move(packet));
    pendingBytes_ += size;
    wake_.notify_one();
    return true;
}

bool H264Decoder::StartsGroup(const PacketHolder& packet) {
    if (packet.isKey())
        return true;
    const uint8_t* data = packet.data();
    if (!data || packet.size() <= 4)
        return false;
    // The NAL unit header behind a four-byte start code. Parameter sets count
    // whatever their first bit; an IDR slice only with the forbidden bit clear.
    uint8_t header = data[4];
    int type = header & 0x1F;
    return type == 7 || type == 8 || (header < 0x80 && type == 5);
}

size_t H264Decoder::pendingCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
}

void H264Decoder::run() {
    PacketHolder packet;
    while (!stop_.load()) {
        if (!takePacket(&packet))
            break;
        decode(packet);
        packet.reset();
    }
}

bool H264Decoder::takePacket(PacketHolder* packet) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (pending_.empty()) {
        if (stop_.load())
            return false;
        wake_.wait_for(lock, kWaitStep);
    }
    *packet = std::move(pending_.front());
    pending_.pop_front();
    pendingBytes_ -= std::min(pendingBytes_, static_cast<size_t>(packet->size()));
    return true;
}

void H264Decoder::decode(const PacketHolder& packet) {
    int rc = avcodec_send_packet(context_, packet.get());
    if (rc < 0) {
        char text[255] = {0};
        av_strerror(rc, text, sizeof(text) - 1);
        BG_LOGI("Could not send video packet:[%i], %s", rc, text);
        return;
    }
    // One receive per send: a picture the decoder still holds comes out
    // after a later packet, never by waiting here.
    if (avcodec_receive_frame(context_, frame_) != 0)
        return;
    if (hwPixelFormat_ >= 0 && frame_->format == hwPixelFormat_) {
        deliverHardware(frame_);
    } else {
        deliverSoftware(frame_);
    }
    av_frame_unref(frame_);
    av_frame_unref(download_);
}

void H264Decoder::deliverSoftware(AVFrame* frame) {
    // 4:2:2, 4:4:4 and high bit depth pictures have no receiver: dropped.
    if (Deliverable(frame->format)) {
        deliver(frame);
        return;
    }
    // Said once: the phone keeps sending them, and the person can only change
    // the phone's settings.
    if (unsupportedReported_)
        return;
    unsupportedReported_ = true;
    if (sink_ && !stop_.load())
        sink_->OnUnsupportedFormat(frame->format);
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
    BG_LOGW("the phone sends a picture format ZuCam cannot show (%s)", name ? name : "unknown");
}

void H264Decoder::deliverHardware(AVFrame* frame) {
    // FFmpeg picks the download format (NV12 for 8-bit 4:2:0 in practice).
    int rc = av_hwframe_transfer_data(download_, frame, 0);
    if (rc < 0) {
        if (!downloadFailureLogged_) {
            char text[255] = {0};
            av_strerror(rc, text, sizeof(text) - 1);
            BG_LOGE("Could not download the hardware picture:[%i], %s", rc, text);
            downloadFailureLogged_ = true;
        }
        return;
    }
    av_frame_copy_props(download_, frame);
    if (Deliverable(download_->format)) {
        deliver(download_);
        return;
    }
    FrameHolder converted = scaler_.convert(download_->data, download_->linesize, download_->width,
                                            download_->height, download_->format);
    if (!converted)
        return;
    av_frame_copy_props(converted.get(), download_);
    deliver(converted.get());
}

void H264Decoder::deliver(const AVFrame* frame) {
    // Once the owner is tearing the decoder down nobody waits for pictures.
    if (!sink_ || stop_.load())
        return;
    FrameHolder holder(frame);
    if (holder)
        sink_->OnDecodeFrame(holder);
}
