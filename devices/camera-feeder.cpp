#include "devices/camera-feeder.h"

#include <algorithm>
#include <cmath>

#include "devices/virtual-camera-queue.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace {

constexpr float kLandscapeRatio = 16.0f / 9.0f;  // 1.7777778
constexpr float kPortraitRatio = 0.5625f;        // 9 / 16
constexpr int kLongSide = 1920;
constexpr int kShortSide = 1080;

// Readers (the camera filter among them) were tuned against these exact
// sizes: single precision, halves rounded away from zero.
int RoundSide(float side) {
    return static_cast<int>(std::lround(side));
}

// A picture that is already planar 4:2:0 the right way up would only be
// copied by the scaler: use it as it is, saving a copy on the hottest path.
bool UsableAsIs(const FrameHolder& frame) {
    if (frame.format() != AV_PIX_FMT_YUV420P)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (!frame.data(i) || frame.linesize(i) < 1)
            return false;
    }
    return true;
}

}  // namespace

CameraFeeder::CameraFeeder(VirtualCameraQueue* queue)
    : scaler_(AV_PIX_FMT_YUV420P), queue_(queue) {}

void CameraFeeder::setQueue(VirtualCameraQueue* queue) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_ = queue;
}

CameraCrop CameraFeeder::ComputeCrop(int width, int height) {
    CameraCrop crop;
    if (width < 1 || height < 1)
        return crop;
    float w = static_cast<float>(width);
    float h = static_cast<float>(height);
    float cropWidth;
    float cropHeight;
    if (width > height) {
        if (w / h > kLandscapeRatio) {
            cropHeight = static_cast<float>(std::min(height, kShortSide));
            cropWidth = cropHeight * kLandscapeRatio;
        } else {
            cropWidth = static_cast<float>(std::min(width, kLongSide));
            cropHeight = cropWidth / kLandscapeRatio;
        }
    } else {
        if (w / h > kPortraitRatio) {
            cropHeight = static_cast<float>(std::min(height, kLongSide));
            cropWidth = cropHeight * kPortraitRatio;
        } else {
            cropWidth = static_cast<float>(std::min(width, kShortSide));
            cropHeight = cropWidth / kPortraitRatio;
        }
    }
    // Rounding can never legitimately exceed the picture; the clamp keeps a
    // float surprise from becoming a read outside it.
    crop.width = std::min(RoundSide(cropWidth), width);
    crop.height = std::min(RoundSide(cropHeight), height);
    crop.x = (width - crop.width) / 2;
    crop.y = (height - crop.height) / 2;
    crop.chromaX = crop.x / 2;
    crop.chromaY = crop.y / 2;
    return crop;
}

bool CameraFeeder::Feed(const FrameHolder& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!queue_ || !frame)
        return false;
    FrameHolder converted;
    const FrameHolder* picture = &frame;
    if (!UsableAsIs(frame)) {
        converted = scaler_.convert(frame);
        if (!converted)
            return false;
        picture = &converted;
    }
    CameraCrop crop = ComputeCrop(picture->width(), picture->height());
    if (crop.width <= 0 || crop.height <= 0)
        return false;
    const int lineSizes[3] = {picture->linesize(0), picture->linesize(1), picture->linesize(2)};
    const uint8_t* planes[3] = {
        picture->data(0) + static_cast<ptrdiff_t>(crop.y) * lineSizes[0] + crop.x,
        picture->data(1) + static_cast<ptrdiff_t>(crop.chromaY) * lineSizes[1] + crop.chromaX,
        picture->data(2) + static_cast<ptrdiff_t>(crop.chromaY) * lineSizes[2] + crop.chromaX,
    };
    return queue_->writeFrame(planes, lineSizes, crop.width, crop.height) != nullptr;
}
