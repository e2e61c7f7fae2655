#include "uninstall.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>
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

// The log keeps the designed text; the box shows it translated.
const char* const kHoldersWarning =
    QT_TRANSLATE_NOOP("Uninstall", "由于以下软件占用驱动文件，软件将不能完全卸载");

QString UninstallWarningText(const std::set<QString>& holders) {
    QString text = QString::fromUtf8(kHoldersWarning);
    int position = 1;
    for (const QString& name : holders) {
        text += QString("\n%1. %2").arg(position++).arg(name);
    }
    return text;
}

namespace {

// What the run did, for the person who asked for it.
void Say(const std::string& line) {
    std::fputs(("zucam: " + line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

void Uninstall() {
    std::string why;
    switch (probeAudioDriver(&why)) {
        case AudioDriverPresence::kPresent:
            removeAudioDriver();
            Say(std::string("removed the virtual microphone \"") + kAudioDeviceSourceName + "\"");
            break;
        case AudioDriverPresence::kAbsent:
            removeAudioDriver();  // a FIFO left behind goes too
            Say("no virtual microphone to remove");
            break;
        case AudioDriverPresence::kUnknown:
            Say("could not check for the virtual microphone: " + why);
            break;
    }
    unregisterCameraFilters();
    Say("the camera has nothing to remove: it exists only while ZuCam or zucamd runs");
    const std::set<QString> holders = FilterFileHolders(QCoreApplication::applicationDirPath());
    if (holders.empty())
        return;
    const QString text = UninstallWarningText(holders);
    BG_LOGW("%s", qUtf8Printable(text));
    std::string names;
    for (const QString& name : holders)
        names += (names.empty() ? "" : ", ") + name.toStdString();
    Say("these programs still hold ZuCam's camera files, so it is not removed completely: " +
        names);
    if (!ZuCam::CanShowDialogs())
        return;
    const QString shown = QCoreApplication::translate("Uninstall", kHoldersWarning) +
                          text.mid(QString::fromUtf8(kHoldersWarning).size());
    QMessageBox::warning(nullptr, QCoreApplication::translate("Uninstall", "警告"), shown,
                         QMessageBox::Ok);
}
