#pragma once

#include <QImage>
#include <QMutex>
#include <QWidget>

#include <atomic>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

// The software renderer: converts each picture to a 32-bit image on the
// caller's thread (the decoder's) and draws it scaled to the widget from its
// own repaint timer on the GUI thread, at most once per tick.
class QPainter;

class PainterWidget : public QWidget {
    Q_OBJECT

public:
    explicit PainterWidget(QWidget* parent = nullptr);
    ~PainterWidget() override;

    // Converts `frame` into the working image; an empty or zero-sized picture
    // blanks the widget, a picture of a format it cannot show is ignored.
    // Any thread.
    bool setFrame(const FrameHolder& frame);

    // A picture arrived since the last tick that took one.
    bool dirty() const { return dirty_.load(); }
    int repaintTimerId() const { return timerId_; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void convert(const FrameHolder& frame, int srcFormat);
    void takeWorkingImage();
    void drawDisplayImage(QPainter& painter);

    QImage workImage_;
    bool fresh_ = false;  // workImage_ holds what the next tick shows; under mutex_
    QMutex mutex_;
    int timerId_ = 0;
    QImage displayImage_;
    std::atomic<bool> dirty_{false};
    // The scaled picture of the last paint, reused while the size holds.
    QImage paintImage_;
};
