#include "tests/ui/ui-test-app.h"

#include <gtest/gtest.h>

#include <QDir>
#include <cstdlib>
#include <string>

#include "platform/child-process.h"
#include "tests/support/xvfb.h"

// Qt's xcb platform keeps D-Bus buffers (accessibility, input methods) until
// the process ends.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ZUCAM_UI_LSAN_SUPPRESSIONS;
}

namespace uitest {
namespace {

// Never destroyed: at exit Qt's own global objects are gone before a
// function's static would be, and ~QApplication on xcb touches them.
QApplication* app = nullptr;
// The X server UseBareDisplay started; it ends by itself (-terminate).
platform::ChildProcess* bareServer = nullptr;

}  // namespace

QApplication& App() {
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

bool UseBareDisplay(std::string* why) {
    if (app) {
        *why = "the windows of this program already show on " +
               qEnvironmentVariable("DISPLAY").toStdString();
        return false;
    }
    char dir[] = "/tmp/zucam-bare-display-XXXXXX";
    if (!::mkdtemp(dir)) {
        *why = "no folder for the X server's files";
        return false;
    }
    // -terminate: the server ends when the program's connection does, so it
    // is never left behind whatever way the program ends after connecting.
    bareServer = new platform::ChildProcess;
    std::string display;
    if (!zutest::StartXvfb(bareServer, dir, true, 10000, &display)) {
        *why =
            "Xvfb did not take connections within 10 s (scripts/install-deps.sh test "
            "installs it; see " +
            display + ")";
        return false;
    }
    qputenv("DISPLAY", QByteArray::fromStdString(display));
    // Its log stays open in the server; the folder need not.
    QDir(QString::fromStdString(dir)).removeRecursively();
    return true;
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
