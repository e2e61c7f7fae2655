#pragma once

#include "devices/virtual-camera-queue.h"
#include "tools/zucam-camera/i420-frame.h"

// Scales queue pictures of any size into a camera picture of one fixed size,
// keeping their aspect: landscape pictures wider than the camera get bands
// above and below, portrait ones bands at the sides.
class PictureFitter {
public:
    PictureFitter(int width, int height) : width_(width), height_(height) {}

    // The part of a width x height camera picture a sourceWidth x
    // sourceHeight picture covers: centred, even-aligned so the chroma planes
    // line up, never empty for a non-empty source.
    static FittedRegion RegionFor(int sourceWidth, int sourceHeight, int width, int height);

    // Scales the picture of `slot` into `frame` (allocated here on first
    // use). The slot may be rewritten by ZuCam meanwhile: every read stays
    // within the slot's own bytes whatever its header says. False for a
    // picture too small to show (under 2 x 2).
    bool fit(const VirtualCameraSlot& slot, I420Frame* frame) const;

private:
    static void PaintBands(I420Frame* frame);

    int width_;
    int height_;
};
