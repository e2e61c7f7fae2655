#pragma once

#include "dep/QtComponent/ffmpeg/frame-holder.h"

// What a decoder's owner implements to receive its pictures. Both operations
// run on the decoder's own thread, so an implementation guards its own state.
class DecodeFrameCallback {
public:
    virtual ~DecodeFrameCallback() = default;

    // One decoded picture (YUV420P, YUVJ420P or NV12). The holder is released
    // when the call returns: a receiver that keeps the picture copies the
    // holder, which takes its own reference.
    virtual void OnDecodeFrame(const FrameHolder& frame) = 0;

    // The owner is asked to rebuild its decoder. H264Decoder itself never asks;
    // the operation is there for decoders that can lose their device.
    virtual void OnReInitDecoder() = 0;

    // The phone sends pictures in a format that has no receiver (4:2:2, 4:4:4,
    // more than 8 bits); they are dropped. Called once per decoder, that is
    // once per connection, with the FFmpeg pixel format.
    virtual void OnUnsupportedFormat(int pixelFormat) { (void)pixelFormat; }
};
