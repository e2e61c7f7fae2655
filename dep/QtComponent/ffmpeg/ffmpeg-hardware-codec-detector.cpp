#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "dep/QtComponent/ffmpeg/detection-access-unit.h"
#include "hublet/log-sink.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
}

namespace {

// Read by the format chooser, which FFmpeg calls without a way to pass it.
std::atomic<int> g_hwSurfaceFormat{-1};

AVPixelFormat ChooseSurfaceFormat(AVCodecContext*, const AVPixelFormat* offered) {
    for (const AVPixelFormat* p = offered; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == g_hwSurfaceFormat.load())
            return *p;
    }
    std::fprintf(stderr, "Failed to get HW surface format.\n");
    return AV_PIX_FMT_NONE;
}

void FreeContext(AVCodecContext** context) {
    BG_LOGD("avcodec_free_context end!");
    avcodec_free_context(context);
}

void ConfigureEncoderTest(AVCodecContext* c, const AVCodec* codec) {
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    c->codec_id = codec->id;
    c->bit_rate = 2000000;
    c->width = 64;
    c->height = 64;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 30};
    c->gop_size = 0;
    c->qmin = 10;
    c->qmax = 51;
    c->qcompress = 0.6f;
    c->max_b_frames = 0;
}

// A black 64x64 YUV420P picture; null when it cannot be allocated.
AVFrame* BlackTestPicture() {
    AVFrame* frame = av_frame_alloc();
    if (!frame)
        return nullptr;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = 64;
    frame->height = 64;
    frame->linesize[0] = 64;
    frame->linesize[1] = 32;
    frame->linesize[2] = 32;
    if (av_frame_get_buffer(frame, 32) < 0) {
        av_frame_free(&frame);
        return nullptr;
    }
    std::memset(frame->data[0], 0, static_cast<size_t>(frame->linesize[0]) * 64);
    std::memset(frame->data[1], 0, static_cast<size_t>(frame->linesize[1]) * 32);
    std::memset(frame->data[2], 0, static_cast<size_t>(frame->linesize[2]) * 32);
    frame->pts = 0;
    return frame;
}

// Sends the built-in test picture; false only when no packet could be made.
// A refusal of the picture itself still counts as support: the device opened.
bool SendTestPicture(AVCodecContext* context) {
    AVPacket* packet = av_packet_alloc();
    if (!packet || av_new_packet(packet, static_cast<int>(kDetectionAccessUnitSize)) < 0) {
        BG_LOGE("Failed to av_new_packet");
        av_packet_free(&packet);
        return false;
    }
    std::memcpy(packet->data, kDetectionAccessUnit, kDetectionAccessUnitSize);
    if (avcodec_send_packet(context, packet) < 0)
        BG_LOGE("Error during decoding\\n");
    av_packet_free(&packet);
    return true;
}

}  // namespace

HardwareCodecDetector* HardwareCodecDetector::instance() {
    static HardwareCodecDetector detector;
    return &detector;
}

const std::vector<std::string>& HardwareCodecDetector::EncoderCandidates() {
    static const std::vector<std::string> table{"h264_nvenc", "h264_amf", "h264_qsv"};
    return table;
}

const std::vector<std::string>& HardwareCodecDetector::DeviceTypeCandidates() {
    static const std::vector<std::string> table{"cuda", "dxva2", "drm",   "opencl",
                                                "qsv",  "vaapi", "vdpau", "vulkan"};
    return table;
}

void HardwareCodecDetector::detect() {
    std::vector<std::string> encoders;
    for (const std::string& name : EncoderCandidates()) {
        bool ok = TestEncoder(name);
        BG_LOGI(ok ? "%s is supported" : "%s is unsupported", name.c_str());
        if (ok)
            encoders.push_back(name);
    }
    std::vector<std::string> deviceTypes;
    for (const std::string& name : DeviceTypeCandidates()) {
        bool ok = TestDeviceType(name);
        BG_LOGI(ok ? "%s is supported" : "%s is unsupported", name.c_str());
        if (ok)
            deviceTypes.push_back(name);
    }
    if (deviceTypes.empty()) {
        BG_LOGI("No hardware device type works here: H.264 decoding stays in software");
    } else {
        BG_LOGI("H.264 decoding will use hardware device type %s", deviceTypes.front().c_str());
    }
    std::lock_guard<std::mutex> lock(mutex_);
    encoders_ = std::move(encoders);
    deviceTypes_ = std::move(deviceTypes);
}

std::vector<std::string> HardwareCodecDetector::hardwareEncoders() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return encoders_;
}

std::vector<std::string> HardwareCodecDetector::hardwareDeviceTypes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deviceTypes_;
}

int HardwareCodecDetector::HardwareSurfaceFormat() {
    return g_hwSurfaceFormat.load();
}

int HardwareCodecDetector::SurfaceFormatFor(const AVCodec* codec, int deviceType) {
    if (!codec)
        return -1;
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(codec, i);
        if (!config)
            return -1;
        if ((config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) &&
            config->device_type == static_cast<AVHWDeviceType>(deviceType)) {
            return config->pix_fmt;
        }
    }
}

bool HardwareCodecDetector::TestEncoder(const std::string& name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec) {
        BG_LOGE("Could not find codec by name[%s]", name.c_str());
        return false;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context) {
        BG_LOGE("detect hardware encoder, avcodec_alloc_context3 failed!");
        return false;
    }
    ConfigureEncoderTest(context, codec);
    if (avcodec_open2(context, codec, nullptr) < 0) {
        BG_LOGE("Failed to open codec for %s", codec->name);
        FreeContext(&context);
        return false;
    }
    AVFrame* frame = BlackTestPicture();
    if (!frame || avcodec_send_frame(context, frame) < 0)
        BG_LOGE("Error during encode\\n");
    av_frame_free(&frame);
    FreeContext(&context);
    return true;
}

bool HardwareCodecDetector::TestDeviceType(const std::string& name) {
    AVHWDeviceType type = av_hwdevice_find_type_by_name(name.c_str());
    if (type == AV_HWDEVICE_TYPE_NONE)
        return false;
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!decoder)
        return false;
    int surface = SurfaceFormatFor(decoder, type);
    if (surface < 0) {
        BG_LOGE("Decoder %s does not support device type %s.", decoder->name, name.c_str());
        return false;
    }
    g_hwSurfaceFormat.store(surface);

    AVCodecContext* context = avcodec_alloc_context3(decoder);
    BG_LOGD("avcodec_alloc_context3 end!");
    if (!context)
        return false;
    context->get_format = ChooseSurfaceFormat;

    AVBufferRef* device = nullptr;
    int rc = av_hwdevice_ctx_create(&device, type, nullptr, nullptr, 0);
    BG_LOGD("av_hwdevice_ctx_create end!");
    if (rc < 0) {
        BG_LOGE("Failed to create specified HW device.");
        FreeContext(&context);
        return false;
    }
    // Without its device reference the context would open as a software
    // decoder and prove nothing about the device.
    context->hw_device_ctx = av_buffer_ref(device);
    BG_LOGD("av_buffer_ref end!");

    bool supported = context->hw_device_ctx != nullptr;
    if (supported && avcodec_open2(context, decoder, nullptr) < 0) {
        BG_LOGE("Failed to open codec for %s", decoder->name);
        supported = false;
    }
    if (supported)
        supported = SendTestPicture(context);
    FreeContext(&context);
    av_buffer_unref(&device);
    return supported;
}
