#pragma once

#include <QApplication>
#include <QImage>
#include <QString>

namespace uitest {

// The one QApplication of a window test program, on the xcb platform of the
// X server in DISPLAY (Xvfb in CI), never on the offscreen platform: pictures
// and input must go through a real window system. Fails the calling test when
// there is no display.
QApplication& App();

// Where a test keeps the pictures it grabbed: <build>/ui-test-pictures.
QString PictureDir();

// Saves `image` as <PictureDir>/<name>.png and returns the path.
QString KeepPicture(const QImage& image, const QString& name);

}  // namespace uitest
