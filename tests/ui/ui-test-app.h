#pragma once

#include <QApplication>
#include <QImage>
#include <QString>
#include <string>

namespace uitest {

// The one QApplication of a window test program, on the xcb platform of the
// X server in DISPLAY (Xvfb in CI), never on the offscreen platform: pictures
// and input must go through a real window system. Fails the calling test when
// there is no display.
QApplication& App();

// Before the first App(): the program's windows go to an X server of their
// own that runs no window manager, for the paths a window takes where the
// system offers no moving or resizing. The server ends with the program's
// connection. False, saying why, when it cannot start or App() already runs.
bool UseBareDisplay(std::string* why);

// Where a test keeps the pictures it grabbed: <build>/ui-test-pictures.
QString PictureDir();

// Saves `image` as <PictureDir>/<name>.png and returns the path.
QString KeepPicture(const QImage& image, const QString& name);

}  // namespace uitest
