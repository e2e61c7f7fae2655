#include "ui/video-picture.h"

#include "hublet/interface.h"
#include "hublet/value-store.h"

bool VideoPicture::ScaleShow() {
    if (!CD || !CD->valueStore)
        return true;
    return CD->valueStore->get("Video.ScaleShow", bg::Value(true)).toBool(true);
}

QSizeF VideoPicture::DrawnSize(QSizeF picture, QSizeF area, bool scaleShow) {
    if (!scaleShow)
        return picture;
    const float aspect = static_cast<float>(picture.width()) / static_cast<float>(picture.height());
    const float areaW = static_cast<float>(area.width());
    const float areaH = static_cast<float>(area.height());
    if (aspect >= areaW / areaH)
        return QSizeF(areaW, areaW / aspect);
    return QSizeF(aspect * areaH, areaH);
}

bool VideoPicture::HasPlanes(const FrameHolder& frame, int count) {
    for (int i = 0; i < count; ++i) {
        if (!frame.data(i) || frame.linesize(i) <= 0)
            return false;
    }
    return true;
}
