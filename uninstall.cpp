#include "uninstall.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <string>
#include <vector>

#include "hublet/log-sink.h"
#include "platform/process-list.h"

namespace {

// The driver tools arrive with the device installers; until then the
// uninstall run says plainly what it did not do.
void RemoveVirtualMicDriver() {
    BG_LOGW("removing the virtual microphone driver is not part of this build; nothing removed");
}

void UnregisterCameraFilter() {
    BG_LOGI("camera filter unregistration is not part of this build; nothing unregistered");
}

}  // namespace

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
    RemoveVirtualMicDriver();
    UnregisterCameraFilter();
    const std::set<QString> holders = FilterFileHolders(QCoreApplication::applicationDirPath());
    if (holders.empty())
        return;
    QMessageBox::warning(nullptr, QString::fromUtf8("警告"), UninstallWarningText(holders),
                         QMessageBox::Ok);
}
