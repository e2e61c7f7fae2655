#pragma once

#include <QSizeF>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

// What both renderers need to know about a picture: whether its planes can be
// read, and where it lands inside the widget. Shared so that switching between
// hardware and software rendering never moves or resizes the picture.
class VideoPicture {
public:
    // The value "Video.ScaleShow" of the module host's value store, read anew on
    // every call (the main window may change it at any time); true when the host
    // is not up or the value was never set.
    static bool ScaleShow();

    // The picture's size on screen: fitted inside `area` keeping its aspect
    // (single-precision arithmetic, full width or full height) when
    // `scaleShow` is true, else the picture's own size, which the area may cut.
    // Both sizes must be positive.
    static QSizeF DrawnSize(QSizeF picture, QSizeF area, bool scaleShow);

    // Planes 0..count-1 all have data and a positive line size.
    static bool HasPlanes(const FrameHolder& frame, int count);
};
