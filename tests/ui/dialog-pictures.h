#pragma once

#include <QImage>
#include <QRect>
#include <QString>

class QWidget;

namespace uitest {

// Shows `window` on the X server, waits (up to 5 s) until the server has
// mapped it, and grabs the window as it paints itself. A null image when it
// never appeared.
QImage ShowAndGrab(QWidget* window);

// Where `child` lies in the picture of its window.
QRect AreaOf(const QWidget* child);

// How many pixels of `area` stand out from the area's most common colour
// (its background) by more than a quarter of the brightness range: the
// strokes of a text or a drawing.
int InkPixels(const QImage& picture, const QRect& area);

// The brightness (0..255) of the area's most common colour.
int BackgroundBrightness(const QImage& picture, const QRect& area);

// How many different colours the picture holds; 1 for a blank picture.
int ColourCount(const QImage& picture);

// How many pixels lie within `tolerance` of `colour` in every channel.
int PixelsNear(const QImage& picture, QRgb colour, int tolerance);

}  // namespace uitest
