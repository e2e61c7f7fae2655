#include "tests/ui/ui-test-app.h"

#include <gtest/gtest.h>

#include <QDir>
#include <cstdlib>
#include <memory>

namespace uitest {

QApplication& App() {
    static std::unique_ptr<QApplication> app;
    if (!app) {
        if (std::getenv("DISPLAY") == nullptr) {
            ADD_FAILURE() << "window tests need an X server: set DISPLAY (scripts/services.sh starts Xvfb)";
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        static int argc = 1;
        static char name[] = "zucam-ui-test";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    }
    return *app;
}

QString PictureDir() {
    const QString dir = QStringLiteral(ZUCAM_BINARY_DIR "/ui-test-pictures");
    QDir().mkpath(dir);
    return dir;
}

QString KeepPicture(const QImage& image, const QString& name) {
    const QString path = PictureDir() + "/" + name + ".png";
    image.save(path);
    return path;
}

}  // namespace uitest
