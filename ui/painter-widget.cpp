#include "ui/painter-widget.h"

#include <QMutexLocker>
#include <QPainter>
#include <QTimerEvent>

#include <cstring>

#include <libyuv/convert_argb.h>
#include <libyuv/scale_argb.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "ui/video-picture.h"

namespace {

// Pictures are opaque (the conversion writes alpha 255), and QPainter copies
// an RGB32 image where it would blend an ARGB32 one pixel by pixel: the same
// bytes are drawn through an RGB32 view.
QImage OpaqueView(const QImage& image) {
    return QImage(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                  QImage::Format_RGB32);
}

}  // namespace

PainterWidget::PainterWidget(QWidget* parent) : QWidget(parent) {
    // Every paint covers the whole widget, bands included.
    setAttribute(Qt::WA_OpaquePaintEvent);
    timerId_ = startTimer(40, Qt::CoarseTimer);
    dirty_ = true;
}

PainterWidget::~PainterWidget() = default;

bool PainterWidget::setFrame(const FrameHolder& frame) {
    QMutexLocker lock(&mutex_);
    if (!frame.empty() && frame.width() > 0 && frame.height() > 0) {
        switch (frame.format()) {
            case AV_PIX_FMT_YUV420P:
            case AV_PIX_FMT_YUVJ420P:
                // Full-range pictures take the limited-range matrix, exactly
                // as the OpenGL renderer shows them.
                if (VideoPicture::HasPlanes(frame, 3))
                    convert(frame, AV_PIX_FMT_YUV420P);
                break;
            case AV_PIX_FMT_NV12:
                if (VideoPicture::HasPlanes(frame, 2))
                    convert(frame, AV_PIX_FMT_NV12);
                break;
            default:
                break;
        }
    } else {
        workImage_ = QImage();
        fresh_ = true;
    }
    dirty_ = true;
    return true;
}

// Same size: the decoder thread only changes the colour model; scaling to
// the window waits for the paint. libyuv writes exactly width x height pixels
// (its vector loops finish a row's remainder through a bounce buffer), so the
// image needs no slack past its last row. Pictures change size at any time (a
// phone turning, a resolution switch): the image follows before any write.
void PainterWidget::convert(const FrameHolder& frame, int srcFormat) {
    const int w = frame.width();
    const int h = frame.height();
    if (workImage_.size() != QSize(w, h) || workImage_.format() != QImage::Format_ARGB32)
        workImage_ = QImage(w, h, QImage::Format_ARGB32);
    if (workImage_.isNull())
        return;
    // libyuv's "ARGB" is B, G, R, A in memory: QImage's ARGB32 on a
    // little-endian machine.
    uint8_t* dst = workImage_.bits();
    const int dstStride = static_cast<int>(workImage_.bytesPerLine());
    const AVFrame* f = frame.get();
    fresh_ = true;
    if (srcFormat == AV_PIX_FMT_NV12) {
        libyuv::NV12ToARGB(f->data[0], f->linesize[0], f->data[1], f->linesize[1], dst, dstStride,
                           w, h);
        return;
    }
    libyuv::I420ToARGB(f->data[0], f->linesize[0], f->data[1], f->linesize[1], f->data[2],
                       f->linesize[2], dst, dstStride, w, h);
}

void PainterWidget::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_) {
        QWidget::timerEvent(event);
        return;
    }
    // Cleared before the copy: a picture converted in between sets it again
    // instead of being lost.
    if (!isVisible() || !dirty_.exchange(false))
        return;
    takeWorkingImage();
    update();
}

// The two images trade buffers: the display image gets the new picture
// without a copy, and the decoder thread writes the next one in place into
// the buffer the GUI thread no longer reads. Neither is ever shared, so
// neither write detaches. Only a picture converted (or a blank) since the
// last trade is taken: a picture that could not be shown keeps the last one.
void PainterWidget::takeWorkingImage() {
    QMutexLocker lock(&mutex_);
    if (!fresh_)
        return;
    fresh_ = false;
    displayImage_.swap(workImage_);
}

void PainterWidget::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!displayImage_.isNull())
        drawDisplayImage(painter);
}

void PainterWidget::drawDisplayImage(QPainter& painter) {
    const QSize picture = displayImage_.size();
    if (!VideoPicture::ScaleShow()) {
        painter.drawImage(
            QPoint((width() - picture.width()) / 2, (height() - picture.height()) / 2),
            OpaqueView(displayImage_));
        return;
    }
    const QSizeF drawn = VideoPicture::DrawnSize(picture, size(), true);
    const QSize target(static_cast<int>(drawn.width()), static_cast<int>(drawn.height()));
    if (target.isEmpty())
        return;
    if (paintImage_.size() != target)
        paintImage_ = QImage(target, QImage::Format_ARGB32);
    if (paintImage_.isNull())
        return;
    libyuv::ARGBScale(displayImage_.constBits(), static_cast<int>(displayImage_.bytesPerLine()),
                      picture.width(), picture.height(), paintImage_.bits(),
                      static_cast<int>(paintImage_.bytesPerLine()), target.width(), target.height(),
                      libyuv::kFilterBox);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawImage(QPoint((width() - target.width()) / 2, (height() - target.height()) / 2),
                      OpaqueView(paintImage_));
}
