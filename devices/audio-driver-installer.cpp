#include "devices/audio-driver-installer.h"

#include <QByteArray>
#include <QDebug>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <string>

#include "devices/audio-device-link.h"
#include "hublet/log-sink.h"
#include "platform/fifo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process-identity.h"

const char* const kAudioDeviceSourceName = "ZuAudioDevice";

namespace {

const char* const kPipeSourceModule = "module-pipe-source";
// A property of the source naming the user and the process that loaded it,
// so that a later run can tell a source a killed run left behind from one a
// living run still uses: "<uid>.<pid>.<start ticks>".
const char* const kOwnerProperty = "zucam.owner";

QString OwnerTag() {
    const long pid = platform::CurrentProcessId();
    return QStringLiteral("%1.%2.%3")
        .arg(platform::CurrentUserId())
        .arg(pid)
        .arg(platform::IdentifyProcess(pid).startTicks);
}

// Whether a module's arguments name a loader of this user that is gone.
bool LoadedByAGoneRunOfThisUser(const QString& arguments) {
    static const QRegularExpression owner(QStringLiteral("zucam\\.owner=(\\d+)\\.(\\d+)\\.(\\d+)"));
    const QRegularExpressionMatch m = owner.match(arguments);
    if (!m.hasMatch() || m.captured(1).toLongLong() != platform::CurrentUserId())
        return false;
    const long pid = m.captured(2).toLong();
    const unsigned long long ticks = m.captured(3).toULongLong();
    if (pid <= 0 || pid == platform::CurrentProcessId())
        return false;
    return platform::IdentifyProcess(pid).startTicks != ticks;
}

struct ToolRun {
    bool finished = false;  // ended by itself within the limit
    int exitCode = -1;
    QString out;
    QByteArray err;
};

ToolRun RunPactl(const QStringList& args, int timeoutMs) {
    ToolRun run;
    QProcess process;
    process.start(QStringLiteral("pactl"), args);
    if (!process.waitForFinished(timeoutMs > 0 ? timeoutMs : 0)) {
        if (process.state() != QProcess::NotRunning) {
            BG_LOGW("pactl %s ran past %d ms; ended", qUtf8Printable(args.join(' ')), timeoutMs);
            process.kill();
            process.waitForFinished(1000);
        }
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = process.readAllStandardError();
    return run;
}

bool ToolSucceeded(const ToolRun& run) {
    return run.finished && run.exitCode == 0;
}

// "pactl list short ..." prints one tab-separated record per line.
QList<QStringList> ShortRecords(const QString& text) {
    QList<QStringList> records;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        records.append(line.split('\t'));
    }
    return records;
}

bool IsOurPipeSourceModule(const QStringList& record) {
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    if (record.size() < 3 || record[1] != QLatin1String(kPipeSourceModule))
        return false;
    if (!digits.match(record[0]).hasMatch())
        return false;
    const QString wanted = QStringLiteral("source_name=") + kAudioDeviceSourceName;
    return record[2].split(QRegularExpression(QStringLiteral("\\s+"))).contains(wanted);
}

// Module arguments are split at white space unless quoted.
bool QuoteModuleValue(const std::string& value, QString* quoted) {
    const QString text = QString::fromStdString(value);
    if (!text.contains(QRegularExpression(QStringLiteral("[\\s'\"\\\\]")))) {
        *quoted = text;
        return true;
    }
    if (text.contains('"') || text.contains('\\'))
        return false;
    *quoted = '"' + text + '"';
    return true;
}

bool HasReader(const std::string& fifoPath) {
    platform::FifoWriter probe;
    return probe.open(fifoPath) == platform::FifoWriter::OpenResult::kOpened;
}

// The pipe source creates the FIFO itself and refuses to load over anything
// already at the path; PulseAudio 16 can even wedge after such a failed load.
// So the path must be free (or already served) before pactl is asked.
enum class LinkPathState { kFree, kServed, kBlocked };

LinkPathState PrepareLinkPath(const std::string& path) {
    const std::string dir = platform::DirName(path);
    if (!platform::MakeDirs(dir, 0700) || !platform::IsPrivateDirectory(dir)) {
        BG_LOGE("virtual microphone: %s is not a private directory of this user", dir.c_str());
        return LinkPathState::kBlocked;
    }
    switch (platform::GetFifoPathState(path)) {
        case platform::FifoPathState::kMissing:
            return LinkPathState::kFree;
        case platform::FifoPathState::kFifo:
            if (HasReader(path))
                return LinkPathState::kServed;
            if (platform::RemoveFile(path))
                return LinkPathState::kFree;
            BG_LOGE("virtual microphone: cannot remove the stale FIFO %s", path.c_str());
            return LinkPathState::kBlocked;
        case platform::FifoPathState::kOther:
            break;
    }
    BG_LOGE("virtual microphone: %s exists and is not a FIFO", path.c_str());
    return LinkPathState::kBlocked;
}

}  // namespace

bool findAudioDriver(int timeoutMs) {
    std::string why;
    return probeAudioDriver(&why, timeoutMs) == AudioDriverPresence::kPresent;
}

AudioDriverPresence probeAudioDriver(std::string* why, int timeoutMs) {
    const ToolRun run = RunPactl({"list", "short", "sources"}, timeoutMs);
    if (!ToolSucceeded(run)) {
        const QString said = QString::fromLocal8Bit(run.err).simplified();
        *why = !run.finished && run.exitCode == -1 && said.isEmpty()
                   ? "pactl did not answer (is it installed, and the sound server running?)"
                   : "the sound server could not be reached" +
                         (said.isEmpty() ? std::string() : ": " + said.left(200).toStdString());
        return AudioDriverPresence::kUnknown;
    }
    for (const QStringList& record : ShortRecords(run.out)) {
        if (record.size() >= 2 && record[1] == QLatin1String(kAudioDeviceSourceName))
            return AudioDriverPresence::kPresent;
    }
    return AudioDriverPresence::kAbsent;
}

bool installAudioDriver(int timeoutMs) {
    const std::string path = AudioDeviceLinkPath();
    const LinkPathState state = PrepareLinkPath(path);
    if (state == LinkPathState::kBlocked)
        return false;
    if (state == LinkPathState::kServed) {
        BG_LOGI("virtual microphone: %s is already read by the sound server", path.c_str());
        return true;
    }
    QString file;
    if (!QuoteModuleValue(path, &file)) {
        BG_LOGE("virtual microphone: cannot pass the path %s to the sound server", path.c_str());
        return false;
    }
    const QStringList args = {
        "load-module",
        kPipeSourceModule,
        QStringLiteral("source_name=") + kAudioDeviceSourceName,
        "file=" + file,
        "format=s16le",
        "rate=48000",
        "channels=1",
        QStringLiteral("source_properties=\"device.description=Zu虚拟麦克风 %1=%2\"")
            .arg(kOwnerProperty, OwnerTag()),
    };
    const ToolRun run = RunPactl(args, timeoutMs);
    qDebug() << run.exitCode << "out:" << run.out << "err:" << run.err;
    static const QRegularExpression index(QStringLiteral("^\\d+$"));
    return ToolSucceeded(run) && index.match(run.out.trimmed()).hasMatch();
}

bool removeAudioDriver(int timeoutMs) {
    const ToolRun list = RunPactl({"list", "short", "modules"}, timeoutMs);
    QString out;
    QByteArray err;
    if (ToolSucceeded(list)) {
        for (const QStringList& record : ShortRecords(list.out)) {
            if (!IsOurPipeSourceModule(record))
                continue;
            const ToolRun unload = RunPactl({"unload-module", record[0]}, timeoutMs);
            out += unload.out;
            err += unload.err;
        }
    } else {
        out = list.out;
        err = list.err;
    }
    qDebug() << "out" << out << "err" << err;
    const std::string path = AudioDeviceLinkPath();
    if (platform::GetFifoPathState(path) == platform::FifoPathState::kFifo && !HasReader(path)) {
        platform::RemoveFile(path);
    }
    return true;
}

namespace {

// The pipe sources named "ZuAudioDevice" that a run of this user loaded and
// that outlived it (a kill -9 gives no chance to unload). Empty on failure.
QStringList OrphanedModules(int timeoutMs) {
    QStringList modules;
    const ToolRun list = RunPactl({"list", "short", "modules"}, timeoutMs);
    if (!ToolSucceeded(list))
        return modules;
    for (const QStringList& record : ShortRecords(list.out)) {
        if (IsOurPipeSourceModule(record) && LoadedByAGoneRunOfThisUser(record[2]))
            modules.append(record[0]);
    }
    return modules;
}

}  // namespace

bool findOrphanedAudioDriver(int timeoutMs) {
    return !OrphanedModules(timeoutMs).isEmpty();
}

int removeOrphanedAudioDriver(int timeoutMs) {
    const QStringList modules = OrphanedModules(timeoutMs);
    for (const QString& module : modules) {
        BG_LOGI("virtual microphone: unloading module %s, left behind by a run that was killed",
                qUtf8Printable(module));
        RunPactl({"unload-module", module}, timeoutMs);
    }
    const std::string path = AudioDeviceLinkPath();
    if (!modules.isEmpty() && platform::GetFifoPathState(path) == platform::FifoPathState::kFifo &&
        !HasReader(path)) {
        platform::RemoveFile(path);
    }
    return modules.size();
}

void registerCameraFilters() {
    BG_LOGI(
        "camera filters: nothing to register on Linux; programs read the camera through "
        "zucam-camera");
}

void unregisterCameraFilters() {
    BG_LOGI("camera filters: nothing to unregister on Linux");
}
