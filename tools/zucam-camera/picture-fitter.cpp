#include "tools/zucam-camera/picture-fitter.h"

#include <libyuv/scale.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kBlackY = 16;
constexpr uint8_t kBlackChroma = 128;

int EvenAtLeastTwo(long long value) {
    return static_cast<int>(std::max<long long>(2, value & ~1LL));
}

}  // namespace

FittedRegion PictureFitter::RegionFor(int sourceWidth, int sourceHeight, int width, int height) {
    FittedRegion region;
    // Compare width/height ratios without rounding: a 1000 x 562 picture is
    // a hair wider than 16:9 and must get (thin) bands above and below.
    if (static_cast<long long>(sourceWidth) * height >=
        static_cast<long long>(width) * sourceHeight) {
        region.width = width;
        long long h =
            (static_cast<long long>(width) * sourceHeight + sourceWidth / 2) / sourceWidth;
        region.height = std::min(height, EvenAtLeastTwo(h));
    } else {
        region.height = height;
        long long w =
            (static_cast<long long>(height) * sourceWidth + sourceHeight / 2) / sourceHeight;
        region.width = std::min(width, EvenAtLeastTwo(w));
    }
    region.x = ((width - region.width) / 2) & ~1;
    region.y = ((height - region.height) / 2) & ~1;
    return region;
}

void PictureFitter::PaintBands(I420Frame* frame) {
    size_t luma = size_t(frame->width) * frame->height;
    std::memset(frame->y(), kBlackY, luma);
    std::memset(frame->u(), kBlackChroma, luma / 2);
}

bool PictureFitter::fit(const VirtualCameraSlot& slot, I420Frame* frame) const {
    const VirtualCameraSlotHeader& h = slot.header;
    // The slot holds width / 2 chroma samples per row and height / 2 rows, and
    // its own rows may be shorter than the width claims: scale only the even
    // part every plane really has.
    long long usable =
        std::min<long long>({h.width, h.yBytesPerRow, 2LL * h.uBytesPerRow, 2LL * h.vBytesPerRow});
    int sourceWidth = static_cast<int>(usable & ~1LL);
    int sourceHeight = static_cast<int>(h.height & ~1u);
    if (sourceWidth < 2 || sourceHeight < 2 ||
        VirtualCameraQueue::PictureBytes(h.height, h.yBytesPerRow, h.uBytesPerRow, h.vBytesPerRow) >
            slot.bytes) {
        return false;
    }
    if (frame->width != width_ || frame->height != height_)
        frame->allocate(width_, height_);
    FittedRegion region = RegionFor(sourceWidth, sourceHeight, width_, height_);
    if (region != frame->region) {
        PaintBands(frame);
        frame->region = region;
    }
    const uint8_t* y = slot.data;
    const uint8_t* u = y + size_t(h.height) * h.yBytesPerRow;
    const uint8_t* v = u + (size_t(h.uBytesPerRow) * h.height) / 2;
    size_t lumaOffset = size_t(region.y) * width_ + region.x;
    size_t chromaOffset = size_t(region.y / 2) * (width_ / 2) + region.x / 2;
    // Luma carries the detail and gets the bilinear filter; the half-size
    // chroma planes take nearest samples, a third of the work for a
    // difference nobody sees in a camera picture.
    uint8_t* dst[3] = {frame->y() + lumaOffset, frame->u() + chromaOffset,
                       frame->v() + chromaOffset};
    libyuv::ScalePlane(y, static_cast<int>(h.yBytesPerRow), sourceWidth, sourceHeight, dst[0],
                       width_, region.width, region.height, libyuv::kFilterBilinear);
    libyuv::ScalePlane(u, static_cast<int>(h.uBytesPerRow), sourceWidth / 2, sourceHeight / 2,
                       dst[1], width_ / 2, region.width / 2, region.height / 2,
                       libyuv::kFilterNone);
    libyuv::ScalePlane(v, static_cast<int>(h.vBytesPerRow), sourceWidth / 2, sourceHeight / 2,
                       dst[2], width_ / 2, region.width / 2, region.height / 2,
                       libyuv::kFilterNone);
    return true;
}
