#pragma once

#include <mutex>

#include "dep/QtComponent/ffmpeg/frame-holder.h"
#include "dep/QtComponent/ffmpeg/frame-scaler.h"

class VirtualCameraQueue;

// The centred part of a picture the camera serves: 16:9 for landscape
// pictures, 9:16 otherwise, never larger than 1920 x 1080 / 1080 x 1920.
// Offsets are in pixels of the Y plane and of the chroma planes.
struct CameraCrop {
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
    int chromaX = 0;
    int chromaY = 0;
};

// Turns every decoded picture into what the virtual camera serves and writes
// it into the queue. Shared by the main window and the headless server; runs
// on the decoder thread.
class CameraFeeder {
public:
    // The queue is not owned and may be null (no camera: nothing is written).
    explicit CameraFeeder(VirtualCameraQueue* queue = nullptr);
    CameraFeeder(const CameraFeeder&) = delete;
    CameraFeeder& operator=(const CameraFeeder&) = delete;

    void setQueue(VirtualCameraQueue* queue);
    // Converts to planar 4:2:0, crops and writes one picture. True when the
    // queue took it.
    bool Feed(const FrameHolder& frame);

    static CameraCrop ComputeCrop(int width, int height);

private:
    // Several decoder threads may deliver at once; the scaler is not shareable.
    std::mutex mutex_;
    FrameScaler scaler_;
    VirtualCameraQueue* queue_;
};
