#include "tests/ui/renderer-pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace rendertest {

namespace {

int Clip(double v) {
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

struct PlaneShape {
    int lineSize;
    int rows;
    int xShift;      // log2 of horizontal subsampling
    int yShift;      // log2 of vertical subsampling
    int components;  // bytes per sample
};

PlaneShape ShapeOf(int format, int plane, int height, int lumaLineSize) {
    if (plane == 0)
        return {lumaLineSize, height, 0, 0, 1};
    if (format == AV_PIX_FMT_NV12)
        return {lumaLineSize, (height + 1) / 2, 1, 1, 2};
    if (format == AV_PIX_FMT_YUV422P)
        return {lumaLineSize / 2, height, 1, 0, 1};
    return {lumaLineSize / 2, (height + 1) / 2, 1, 1, 1};
}

uint8_t Component(Yuv c, int plane, int component) {
    if (plane == 0)
        return c.y;
    return (plane == 1 && component == 0) ? c.u : c.v;
}

}  // namespace

Rgb Bt601(Yuv c) {
    const double y = 1.164384 * (c.y - 16);
    const double u = c.u - 128;
    const double v = c.v - 128;
    return {Clip(y + 1.596027 * v), Clip(y - 0.391762 * u - 0.812968 * v), Clip(y + 2.017232 * u)};
}

FrameHolder MakePicture(int format, int width, int height, int lumaLineSize,
                        const std::function<Yuv(int x, int y)>& colourAt, Yuv padding) {
    AVFrame* frame = av_frame_alloc();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    const int planes = format == AV_PIX_FMT_NV12 ? 2 : 3;
    for (int p = 0; p < planes; ++p) {
        const PlaneShape shape = ShapeOf(format, p, height, lumaLineSize);
        frame->buf[p] = av_buffer_alloc(static_cast<size_t>(shape.lineSize) * shape.rows);
        frame->data[p] = frame->buf[p]->data;
        frame->linesize[p] = shape.lineSize;
        const int samples = (width + (1 << shape.xShift) - 1) >> shape.xShift;
        for (int row = 0; row < shape.rows; ++row) {
            uint8_t* line = frame->data[p] + static_cast<size_t>(row) * shape.lineSize;
            for (int byte = 0; byte < shape.lineSize; ++byte) {
                const int sample = byte / shape.components;
                const int component = byte % shape.components;
                const Yuv c = sample < samples
                                  ? colourAt(sample << shape.xShift, row << shape.yShift)
                                  : padding;
                line[byte] = Component(c, p, component);
            }
        }
    }
    return FrameHolder::Adopt(frame);
}

FrameHolder UniformPicture(int format, int width, int height, Yuv colour) {
    const int lineSize = (width + 63) / 64 * 64;
    return MakePicture(
        format, width, height, lineSize, [colour](int, int) { return colour; }, colour);
}

bool Near(QRgb pixel, Rgb expected, int tolerance) {
    return std::abs(qRed(pixel) - expected.r) <= tolerance &&
           std::abs(qGreen(pixel) - expected.g) <= tolerance &&
           std::abs(qBlue(pixel) - expected.b) <= tolerance;
}

QRect LitArea(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int left = rgb.width(), top = rgb.height(), right = -1, bottom = -1;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            if (std::max({qRed(line[x]), qGreen(line[x]), qBlue(line[x])}) > 24) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace rendertest
