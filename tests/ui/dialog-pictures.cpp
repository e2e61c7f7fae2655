#include "tests/ui/dialog-pictures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QWidget>
#include <QWindow>
#include <cstdlib>

namespace uitest {

namespace {

int Brightness(QRgb c) {
    return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000;
}

QRgb MostCommon(const QImage& picture, const QRect& area) {
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[picture.pixel(x, y) | 0xff000000u];
    QRgb best = 0;
    int bestCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return best;
}

}  // namespace

QImage ShowAndGrab(QWidget* window) {
    window->show();
    window->raise();
    QElapsedTimer waited;
    waited.start();
    // Mapping and the first paint are the server's business: wait for the
    // window to be exposed, then let the pending paint events through.
    while (!(window->windowHandle() && window->windowHandle()->isExposed())) {
        // Generous: on a busy machine the server may take a while.
        if (waited.elapsed() > 30000)
            return QImage();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // The window paints itself into the picture: other test programs' windows
    // on the same server may lie over it on the screen.
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRect AreaOf(const QWidget* child) {
    return QRect(child->mapTo(child->window(), QPoint(0, 0)), child->size());
}

int InkPixels(const QImage& picture, const QRect& wanted) {
    const QRect area = wanted & picture.rect();
    if (area.isEmpty())
        return 0;
    const int background = Brightness(MostCommon(picture, area));
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ink += std::abs(Brightness(picture.pixel(x, y)) - background) > 64 ? 1 : 0;
    return ink;
}

int BackgroundBrightness(const QImage& picture, const QRect& wanted) {
    const QRect area = wanted & picture.rect();
    return area.isEmpty() ? -1 : Brightness(MostCommon(picture, area));
}

int ColourCount(const QImage& picture) {
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            colours.insert(picture.pixel(x, y) | 0xff000000u);
    return colours.size();
}

int PixelsNear(const QImage& picture, QRgb colour, int tolerance) {
    int near = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            near += std::abs(qRed(p) - qRed(colour)) <= tolerance &&
                            std::abs(qGreen(p) - qGreen(colour)) <= tolerance &&
                            std::abs(qBlue(p) - qBlue(colour)) <= tolerance
                        ? 1
                        : 0;
        }
    }
    return near;
}

}  // namespace uitest
