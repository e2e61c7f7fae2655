#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app-identity.h"
#include "hublet/app-info.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/value-store.h"
#include "platform/display.h"
#include "platform/log-output.h"
#include "platform/network-startup.h"
#include "platform/paths.h"
#include "platform/stop-request.h"
#include "ui/main-window.h"
#include "ui/message-box-dialog.h"
#include "ui/ui-setup.h"
#include "ui/web-links.h"
#include "uninstall.h"
#include "value-qt.h"
#include "zucam.h"

namespace {

using app_identity::kAppName;
using app_identity::kBuildDate;
using app_identity::kTitle;
using app_identity::kVersion;

// Only the first argument is looked at, and only this exact spelling.
bool IsUninstallRun(int argc, char** argv) {
    return argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--uninstall");
}

bool FirstArgumentIs(int argc, char** argv, const char* option) {
    return argc > 1 && std::strcmp(argv[1], option) == 0;
}

bool AnyArgumentIs(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0)
            return true;
    }
    return false;
}

// Quiet unless asked: the log lines, the protocol's prints and everything
// else meant for developers go to the log file; a window has nothing to say
// on the terminal. A log file that cannot be written leaves both as they are.
void QuietTerminal(bool verbose) {
    if (verbose || !CD || !CD->logSink)
        return;
    if (!CD->logSink->divertStandardError()) {
        std::fprintf(stderr, "zucam: the log file %s cannot be written; logging here instead\n",
                     CD->logSink->path().c_str());
        return;
    }
    platform::JoinStandardOutputToStandardError();
}

// Why Qt could not open a window here; "" when it can: a platform chosen by
// hand that needs no display server, or a display server the chosen (or
// default) one can reach.
std::string NoDisplayReason() {
    const std::string chosen = platform::GetEnv("QT_QPA_PLATFORM");
    const std::string display = platform::GetEnv("DISPLAY");
    const bool wantsX = chosen.empty() || chosen.find("xcb") != std::string::npos;
    const bool wantsWayland = chosen.empty() || chosen.find("wayland") != std::string::npos;
    if (!wantsX && !wantsWayland)
        return std::string();
    if (wantsX && platform::XDisplayReachable(display))
        return std::string();
    if (wantsWayland && !platform::GetEnv("WAYLAND_DISPLAY").empty())
        return std::string();
    if (wantsX && !display.empty())
        return "the X display " + display + " cannot be reached";
    return "neither DISPLAY nor WAYLAND_DISPLAY is set";
}

bool HasDisplay() {
    return NoDisplayReason().empty();
}

const char kUsage[] =
    "Usage: zucam [--verbose | --uninstall | --help | --version]\n"
    "\n"
    "ZuCam turns a phone into this computer's camera and microphone: the phone's\n"
    "ZuCam app connects over Wi-Fi or, for Android, over the USB cable.\n"
    "Without options it opens its window (a second start shows the running one).\n"
    "\n"
    "  --verbose     also print the log and the developers' lines here (they\n"
    "                go to the log file otherwise)\n"
    "  --uninstall   remove what ZuCam set up on this computer (the virtual\n"
    "                microphone) and say what was removed; needs no display\n"
    "  --help        this text\n"
    "  --version     the version\n"
    "\n"
    "Without a display, zucamd serves a phone without the window.\n"
    "Settings: ${XDG_CONFIG_HOME:-~/.config}/ZuCam/settings.json\n"
    "Log:      ${XDG_STATE_HOME:-~/.local/state}/ZuCam/zucam.log\n";

int RunUninstall(int& argc, char** argv) {
    // The terminal shows only what the run did; the diagnostics of the tools
    // it asks go to the log.
    if (CD && CD->logSink)
        CD->logSink->divertStandardError();
    // The warning box needs a display; without one the run still works and
    // only prints.
    if (HasDisplay()) {
        QApplication app(argc, argv);
        SetUpUiResources();
        Uninstall();
    } else {
        QCoreApplication app(argc, argv);
        Uninstall();
    }
    return 0;
}

void PublishIdentity() {
    if (!CD)
        return;
    CD->appInfo->setName(kAppName);
    CD->appInfo->setVersion(kVersion);
    CD->appInfo->setDate(kBuildDate);
    // The build names the web site, if any (ZUCAM_WEBSITE); none is made up.
    CD->appInfo->setWebSite(WebLinks::WebSite().toStdString());
    CD->valueStore->set("app_title", bg::ValueQt(QString::fromUtf8(kTitle)));
}

// SIGTERM (a session logging out) and SIGINT (Ctrl-C) end ZuCam the way a
// confirmed close does: the event loop returns 0 and the application
// object's destructor stops the servers, finishes a recording, removes the
// camera queue and saves the settings.
void EndOnStopSignals(QCoreApplication& app) {
    const int fd = platform::StopSignalDescriptor();
    if (fd < 0)
        return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        platform::DrainStopSignals();
        QCoreApplication::exit(0);
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (FirstArgumentIs(argc, argv, "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (FirstArgumentIs(argc, argv, "--version")) {
        std::printf("zucam %s (%s)\n", kVersion, kBuildDate);
        return 0;
    }
    platform::NetworkStartup network;
    bg::InitBridge(argc, argv);
    // The host goes last, after every object of this function is gone.
    std::atexit(bg::UninitBridge);

    if (IsUninstallRun(argc, argv))
        return RunUninstall(argc, argv);

    const std::string noDisplay = NoDisplayReason();
    if (!noDisplay.empty()) {
        std::fprintf(stderr,
                     "zucam: no display to open the window on (%s); start it in a desktop "
                     "session, or serve a phone without a window with zucamd\n",
                     noDisplay.c_str());
        return 2;
    }
    QuietTerminal(AnyArgumentIs(argc, argv, "--verbose"));
    PublishIdentity();
    ZuCam::SetMainWindowFactory([] { return new MainWindow; });
    ZuCam::SetMessageBox(&MessageBoxDialog::Show);
    int code = 0;
    {
        ZuCam app(argc, argv);
        if (app.isSecondary()) {
            // Whether or not the running instance heard it, this start is done.
            app.sendMessage("show", 100);
        } else {
            // The language first: start-up may ask about the microphone driver.
            SetUpUiResources();
            EndOnStopSignals(app);
            code = app.exec();
        }
    }
    return code;
}
