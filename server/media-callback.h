#pragma once

#include "dep/QtComponent/ffmpeg/frame-holder.h"

// What the owner of a connection server implements: connection events, every
// decoded picture and audio block, and the phone's requests. The frame
// references are valid during the call only; a receiver that keeps a frame
// copies the holder.
class MediaCallback {
public:
    virtual ~MediaCallback() = default;
    // A phone finished push-play; `name` is its peer name, UTF-8. Server thread.
    virtual void OnClientConnected(const char* name) = 0;
    // The phone's connection closed. Server thread.
    virtual void OnClientDisconnected() = 0;
    // The phone's connection closed while the last picture should be kept for
    // a while (the phone may come back). Server thread.
    virtual void OnClientDisconnectedDelay() = 0;
    // One decoded picture. Decoder thread.
    virtual void OnVideoFrame(const FrameHolder& frame) = 0;
    // One audio block, signed 16-bit interleaved. Server thread (TCP) or the
    // Zup2p dispatch thread (UDP).
    virtual void OnAudioFrame(const FrameHolder& frame) = 0;
    virtual void OnScreenShotRequest() = 0;
    virtual void OnStartRecordRequest() = 0;
    virtual void OnStopRecordRequest() = 0;
    // The phone's pictures are in a format that cannot be shown and are
    // dropped; once per connection. Decoder thread.
    virtual void OnUnsupportedPicture() {}
};
