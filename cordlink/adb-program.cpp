#include "cordlink/adb-program.h"

#include <atomic>
#include <mutex>

namespace zu {
namespace {

std::mutex& PathMutex() {
    static std::mutex mutex;
    return mutex;
}

QString& ProgramPath() {
    static QString path;
    return path;
}

std::atomic<int> g_waitLimitMs{kDefaultAdbWaitLimitMs};
std::atomic<bool (*)()> g_stopCheck{nullptr};

}  // namespace

void SetAdbProgramPath(const QString& path) {
    std::lock_guard<std::mutex> lock(PathMutex());
    ProgramPath() = path;
}

QString AdbProgramPath() {
    std::lock_guard<std::mutex> lock(PathMutex());
    const QString& path = ProgramPath();
    return path.isEmpty() ? QStringLiteral("adb") : path;
}

void SetAdbWaitLimit(int milliseconds) {
    g_waitLimitMs.store(milliseconds > 0 ? milliseconds : kDefaultAdbWaitLimitMs);
}

int AdbWaitLimit() {
    return g_waitLimitMs.load();
}

void SetAdbStopCheck(bool (*stopRequested)()) {
    g_stopCheck.store(stopRequested);
}

bool AdbStopRequested() {
    bool (*check)() = g_stopCheck.load();
    return check && check();
}

}  // namespace zu
