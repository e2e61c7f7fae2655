#include "uninstall.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <string>
#include <vector>

#include "devices/audio-driver-installer.h"
#include "hublet/log-sink.h"
#include "platform/process-list.h"
#include "zucam.h"

std::set<QString> CameraFilterFiles(const QString& appDir) {
    return {appDir + "/Drivers/camera/zu-virtual-camera-dshow32.dll",
            appDir + "/Drivers/camera/zu-virtual-camera-dshow64.dll"};
}

std::set<QString> FilterFileHolders(const QString& appDir) {
    std::vector<std::string> paths;
    for (const QString& file : CameraFilterFiles(appDir))
        paths.push_back(file.toStdString());
    std::set<QString> names;
    for (const platform::ProcessHolding& holder : platform::ProcessesHoldingFiles(paths)) {
        names.insert(QString::fromStdString(holder.name));
    }
    return names;
}

QString UninstallWarningText(const std::set<QString>& holders) {
    QString text = QString::fromUtf8("由于以下软件占用驱动文件，软件将不能完全卸载");
    int position = 1;
    for (const QString& name : holders) {
        text += QString("\n%1. %2").arg(position++).arg(name);
    }
    return text;
}

void Uninstall() {
    removeAudioDriver();
    unregisterCameraFilters();
    const std::set<QString> holders = FilterFileHolders(QCoreApplication::applicationDirPath());
    if (holders.empty())
        return;
    const QString text = UninstallWarningText(holders);
    BG_LOGW("%s", qUtf8Printable(text));
    if (!ZuCam::CanShowDialogs())
        return;
    QMessageBox::warning(nullptr, QString::fromUtf8("警告"), text, QMessageBox::Ok);
}
