#pragma once

#include <QImage>
#include <QRect>

#include <cstdint>
#include <functional>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

// Pictures for the renderer tests, and what the tests look for in the
// widgets' grabbed images.
namespace rendertest {

struct Yuv {
    uint8_t y, u, v;
};

struct Rgb {
    int r, g, b;
};

// BT.601 limited range, computed here independently of both renderers.
Rgb Bt601(Yuv c);

// A picture of `format` (YUV420P, YUVJ420P, NV12, YUV422P) whose luma rows are
// `lumaLineSize` bytes (chroma rows of planar formats half of it, NV12's
// interleaved rows the same), every byte past the visible part of a row set
// to `padding`. `colourAt(x, y)` colours luma pixel (x, y); chroma comes from
// the top-left pixel of each chroma sample's block.
FrameHolder MakePicture(int format, int width, int height, int lumaLineSize,
                        const std::function<Yuv(int x, int y)>& colourAt, Yuv padding);

// One colour everywhere, padding included.
FrameHolder UniformPicture(int format, int width, int height, Yuv colour);

// Every channel within `tolerance` levels.
bool Near(QRgb pixel, Rgb expected, int tolerance);

// The smallest rectangle holding every pixel brighter than the black bands.
QRect LitArea(const QImage& image);

}  // namespace rendertest
