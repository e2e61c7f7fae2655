#include <QApplication>
#include <QString>
#include <cstdlib>

#include "app-identity.h"
#include "hublet/app-info.h"
#include "hublet/interface.h"
#include "hublet/value-store.h"
#include "platform/network-startup.h"
#include "uninstall.h"
#include "value-qt.h"
#include "zucam.h"

namespace {

using app_identity::kAppName;
using app_identity::kBuildDate;
using app_identity::kTitle;
using app_identity::kVersion;
using app_identity::kWebSite;

// Only the first argument is looked at, and only this exact spelling.
bool IsUninstallRun(int argc, char** argv) {
    return argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--uninstall");
}

int RunUninstall(int& argc, char** argv) {
    QApplication app(argc, argv);
    Uninstall();
    return 0;
}

void PublishIdentity() {
    if (!CD)
        return;
    CD->appInfo->setName(kAppName);
    CD->appInfo->setVersion(kVersion);
    CD->appInfo->setDate(kBuildDate);
    CD->appInfo->setWebSite(kWebSite);
    CD->valueStore->set("app_title", bg::ValueQt(QString::fromUtf8(kTitle)));
}

}  // namespace

int main(int argc, char** argv) {
    platform::NetworkStartup network;
    bg::InitBridge(argc, argv);
    // The host goes last, after every object of this function is gone.
    std::atexit(bg::UninitBridge);

    if (IsUninstallRun(argc, argv))
        return RunUninstall(argc, argv);

    PublishIdentity();
    int code = 0;
    {
        ZuCam app(argc, argv);
        if (app.isSecondary()) {
            // Whether or not the running instance heard it, this start is done.
            app.sendMessage("show", 100);
        } else {
            code = app.exec();
        }
    }
    return code;
}
