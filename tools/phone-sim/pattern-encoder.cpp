#include "tools/phone-sim/pattern-encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include "tools/phone-sim/annexb-splitter.h"

namespace phonesim {
namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return text;
}

void FillRect(AVFrame* f, int plane, int x0, int y0, int w, int h, uint8_t value) {
    for (int y = y0; y < y0 + h; ++y) {
        uint8_t* row = f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane];
        for (int x = x0; x < x0 + w; ++x)
            row[x] = value;
    }
}

}  // namespace

struct PatternEncoder::Parts {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    ~Parts() {
        avcodec_free_context(&context);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

PatternEncoder::PatternEncoder() : parts_(new Parts) {}
PatternEncoder::~PatternEncoder() = default;

bool PatternEncoder::Open(const Settings& settings, std::string* error) {
    settings_ = settings;
    if (settings_.gop <= 0)
        settings_.gop = 2 * settings_.fps;
    if (!settings_.moreSizes.empty())
        settings_.moreSizes.insert(settings_.moreSizes.begin(), {settings.width, settings.height});
    return OpenCodec(settings.width, settings.height, error);
}

bool PatternEncoder::OpenCodec(int width, int height, std::string* error) {
    avcodec_free_context(&parts_->context);
    av_frame_free(&parts_->frame);
    settings_.width = width;
    settings_.height = height;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        *error = "this FFmpeg has no libx264 encoder; use --video FILE instead of --pattern";
        return false;
    }
    AVCodecContext* c = avcodec_alloc_context3(codec);
    parts_->context = c;
    parts_->frame = av_frame_alloc();
    if (!parts_->packet)
        parts_->packet = av_packet_alloc();
    if (!c || !parts_->frame || !parts_->packet) {
        *error = "out of memory setting up the pattern encoder";
        return false;
    }
    c->width = settings_.width;
    c->height = settings_.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, settings_.fps};
    c->framerate = AVRational{settings_.fps, 1};
    c->gop_size = settings_.gop;
    c->keyint_min = settings_.gop;
    c->max_b_frames = 0;
    // Two threads at most: the machines this runs on are shared with the
    // desktop under test.
    c->thread_count = 2;
    if (settings_.bitrateKbps > 0) {
        c->bit_rate = int64_t(settings_.bitrateKbps) * 1000;
        c->rc_max_rate = c->bit_rate;
        c->rc_buffer_size = static_cast<int>(c->bit_rate);
    }
    av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    // No scene-cut key frames: the GOP length is exactly what was asked for.
    av_opt_set(c->priv_data, "x264-params", "scenecut=0", 0);
    int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        *error = "cannot open libx264 at " + std::to_string(settings_.width) + "x" +
                 std::to_string(settings_.height) + ": " + AvError(rc);
        return false;
    }
    AVFrame* f = parts_->frame;
    f->format = AV_PIX_FMT_YUV420P;
    f->width = settings_.width;
    f->height = settings_.height;
    rc = av_frame_get_buffer(f, 0);
    if (rc < 0) {
        *error = "cannot allocate the pattern picture: " + AvError(rc);
        return false;
    }
    return true;
}

void PatternEncoder::Paint(int64_t index) {
    AVFrame* f = parts_->frame;
    const int w = settings_.width;
    const int h = settings_.height;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
        for (int x = 0; x < w; ++x) {
            row[x] = static_cast<uint8_t>(16 + ((x + y + 4 * index) & 0x7f));
        }
    }
    for (int y = 0; y < h / 2; ++y) {
        uint8_t* u = f->data[1] + static_cast<ptrdiff_t>(y) * f->linesize[1];
        uint8_t* v = f->data[2] + static_cast<ptrdiff_t>(y) * f->linesize[2];
        for (int x = 0; x < w / 2; ++x) {
            int band = (x * 8) / (w / 2);
            u[x] = static_cast<uint8_t>(64 + band * 16);
            v[x] = static_cast<uint8_t>(192 - band * 16 + (index & 0x0f));
        }
    }
    const int box = h / 4 < 8 ? 8 : h / 4;
    const int counterH = CounterHeight(h);
    if (w > box && h > box + counterH) {
        int x = static_cast<int>((index * 8) % (w - box)) & ~1;
        int y = counterH + ((h - counterH - box) / 2 & ~1);
        FillRect(f, 0, x, y, box, box, 235);
    }
    const int blockW = w / kCounterBits;
    for (int bit = 0; bit < kCounterBits; ++bit) {
        bool one = (index >> (kCounterBits - 1 - bit)) & 1;
        FillRect(f, 0, bit * blockW, 0, blockW, counterH, one ? 235 : 16);
        FillRect(f, 1, bit * blockW / 2, 0, blockW / 2, counterH / 2, 128);
        FillRect(f, 2, bit * blockW / 2, 0, blockW / 2, counterH / 2, 128);
    }
}

int PatternEncoder::Next(AccessUnit* unit, std::string* error) {
    if (!settings_.moreSizes.empty()) {
        const auto& size =
            settings_.moreSizes[static_cast<size_t>(index_) % settings_.moreSizes.size()];
        if ((size.first != settings_.width || size.second != settings_.height) &&
            !OpenCodec(size.first, size.second, error)) {
            return -1;
        }
    }
    AVCodecContext* c = parts_->context;
    AVFrame* f = parts_->frame;
    AVPacket* p = parts_->packet;
    // zerolatency gives one packet per picture; the loop only guards against a
    // library that holds the first pictures back.
    for (int attempt = 0; attempt < 64; ++attempt) {
        int rc = av_frame_make_writable(f);
        if (rc < 0) {
            *error = "pattern picture: " + AvError(rc);
            return -1;
        }
        Paint(index_);
        f->pts = index_++;
        rc = avcodec_send_frame(c, f);
        if (rc < 0) {
            *error = "libx264 refused a picture: " + AvError(rc);
            return -1;
        }
        rc = avcodec_receive_packet(c, p);
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0) {
            *error = "libx264 failed: " + AvError(rc);
            return -1;
        }
        *unit = AnnexBSplitter::Classify(reinterpret_cast<const char*>(p->data),
                                         static_cast<size_t>(p->size));
        unit->key = unit->key || (p->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(p);
        return 1;
    }
    *error = "libx264 produced no output for 64 pictures";
    return -1;
}

}  // namespace phonesim
