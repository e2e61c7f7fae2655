#include "tests/ui/ui-test-app.h"

#include <gtest/gtest.h>

#include <QDir>
#include <cstdlib>

// Qt's xcb platform keeps D-Bus buffers (accessibility, input methods) until
// the process ends.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ZUCAM_UI_LSAN_SUPPRESSIONS;
}

namespace uitest {

QApplication& App() {
    // Never destroyed: at exit Qt's own global objects are gone before a
    // function's static would be, and ~QApplication on xcb touches them.
    static QApplication* app = nullptr;
    if (!app) {
        if (std::getenv("DISPLAY") == nullptr) {
            ADD_FAILURE()
                << "window tests need an X server: set DISPLAY (scripts/services.sh starts Xvfb)";
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        // The window tests check the designed Chinese texts unless a test asks
        // for another language.
        if (!qEnvironmentVariableIsSet("ZUCAM_LANG"))
            qputenv("ZUCAM_LANG", "zh");
        static int argc = 1;
        static char name[] = "zucam-ui-test";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
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
