#include "ui/rotate-label.h"

#include <QFile>
#include <QPainter>

namespace {

double sharedAngle = 0.0;

}  // namespace

RotateLabel::RotateLabel(QWidget* parent) : QLabel(parent) {
    setWordWrap(true);
    connect(&timer_, &QTimer::timeout, this, &RotateLabel::Tick);
}

void RotateLabel::setImage(const QString& path) {
    if (!QFile::exists(path))
        return;
    QPixmap loaded(path);
    if (loaded.isNull())
        return;
    image_ = loaded.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void RotateLabel::setInterval(int ms) {
    interval_ = ms;
}

void RotateLabel::start() {
    timer_.stop();
    timer_.start(interval_);
}

void RotateLabel::stop() {
    timer_.stop();
}

double RotateLabel::angle() {
    return sharedAngle;
}

void RotateLabel::Tick() {
    if (image_.isNull())
        return;
    QPixmap turned(image_.size());
    turned.fill(Qt::transparent);
    {
        QPainter painter(&turned);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPointF centre(image_.width() / 2.0, image_.height() / 2.0);
        painter.translate(centre);
        painter.rotate(sharedAngle);
        painter.translate(-centre);
        painter.drawPixmap(0, 0, image_);
    }
    setPixmap(turned);
    sharedAngle += kStepDegrees;
    if (sharedAngle >= 360.0)
        sharedAngle -= 360.0;
}
