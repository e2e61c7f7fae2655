#include "tests/ui/ui-test-app.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QThread>
#include <cstdlib>
#include <string>

#include "platform/child-process.h"
#include "platform/files.h"

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
    const std::string numberFile = std::string(dir) + "/display-number";
    // -terminate: the server ends when the program's connection does, so it
    // is never left behind whatever way the program ends after connecting.
    bareServer = new platform::ChildProcess;
    platform::ChildProcess* server = bareServer;
    platform::ChildProcess::Options options;
    options.argv = {"sh", "-c",
                    "exec Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -terminate "
                    "3>\"$0\"",
                    numberFile};
    options.stdoutPath = std::string(dir) + "/xvfb.log";
    options.stderrPath = std::string(dir) + "/xvfb.log";
    if (!server->start(options)) {
        *why = "Xvfb could not be started (scripts/install-deps.sh test installs it)";
        return false;
    }
    std::string number;
    for (int i = 0; i < 200 && number.find('\n') == std::string::npos; ++i) {
        QThread::msleep(50);
        platform::ReadWholeFile(numberFile, &number);
        if (!server->running())
            break;
    }
    if (number.find('\n') == std::string::npos) {
        *why = "Xvfb did not take connections within 10 s (see " + std::string(dir) + "/xvfb.log)";
        return false;
    }
    qputenv("DISPLAY", QByteArray(":") + QByteArray::fromStdString(number).trimmed());
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
