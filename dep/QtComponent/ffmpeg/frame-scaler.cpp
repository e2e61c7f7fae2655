#include "dep/QtComponent/ffmpeg/frame-scaler.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

FrameScaler::FrameScaler(int dstFormat, int dstWidth, int dstHeight)
    : dstFormat_(dstFormat), dstWidth_(dstWidth), dstHeight_(dstHeight) {}

FrameScaler::~FrameScaler() {
    release();
}

void FrameScaler::release() {
    if (context_) {
        sws_freeContext(context_);
        context_ = nullptr;
    }
}

FrameHolder FrameScaler::convert(const uint8_t* const srcData[], const int srcLinesize[], int width,
                                 int height, int srcFormat) {
    if (!srcData || !srcLinesize || width < 1 || height < 1)
        return FrameHolder();
    // Codes outside FFmpeg's table would not even be valid enum values.
    if (srcFormat < 0 || srcFormat >= AV_PIX_FMT_NB || dstFormat_ < 0 ||
        dstFormat_ >= AV_PIX_FMT_NB) {
        return FrameHolder();
    }
    int dw = (dstWidth_ < 1 || dstHeight_ < 1) ? width : dstWidth_;
    int dh = (dstWidth_ < 1 || dstHeight_ < 1) ? height : dstHeight_;
    context_ = sws_getCachedContext(context_, width, height, static_cast<AVPixelFormat>(srcFormat),
                                    dw, dh, static_cast<AVPixelFormat>(dstFormat_),
                                    SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!context_)
        return FrameHolder();
    AVFrame* out = av_frame_alloc();
    if (!out)
        return FrameHolder();
    out->format = dstFormat_;
    out->width = dw;
    out->height = dh;
    if (av_frame_get_buffer(out, 32) < 0) {
        av_frame_free(&out);
        return FrameHolder();
    }
    if (sws_scale(context_, srcData, srcLinesize, 0, height, out->data, out->linesize) <= 0) {
        av_frame_free(&out);
        return FrameHolder();
    }
    return FrameHolder::Adopt(out);
}

FrameHolder FrameScaler::convert(const FrameHolder& src) {
    if (!src)
        return FrameHolder();
    return convert(src.get()->data, src.get()->linesize, src.width(), src.height(), src.format());
}
