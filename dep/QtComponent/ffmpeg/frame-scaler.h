#pragma once

#include <cstdint>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

struct SwsContext;

// A picture converter with a cached libswscale context: converting pictures of
// the same size and format again reuses the context.
class FrameScaler {
public:
    // A width or height below 1 means "the source size".
    explicit FrameScaler(int dstFormat, int dstWidth = 0, int dstHeight = 0);
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // Converts the whole picture; an empty holder when the conversion is not possible.
    FrameHolder convert(const uint8_t* const srcData[], const int srcLinesize[], int width,
                        int height, int srcFormat);
    FrameHolder convert(const FrameHolder& src);
    // Frees the cached context.
    void release();

private:
    int dstFormat_;
    int dstWidth_;
    int dstHeight_;
    SwsContext* context_ = nullptr;
};
