// A small program built on SingleApplication for the single-instance tests.
//
//   single_app_probe <name> run [message]   start as ZuCam does (secondaries
//       allowed, options 7, 1000 ms). The primary prints what it hears and
//       quits on a message containing "quit"; a secondary sends [message]
//       (default "show") and exits 0.
//   single_app_probe <name> hold-lock <key> lock the block <key> and sleep.
//
// Every line goes to standard output, flushed at once.
#include <QCoreApplication>
#include <QSharedMemory>
#include <QTimer>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

#include "single-application-p.h"
#include "single-application.h"

namespace {

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stdout, format, ap);
    va_end(ap);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int HoldLock(const char* key) {
    QSharedMemory memory(QString::fromLatin1(key));
    const bool created = memory.create(sizeof(InstanceBlock));
    if (!created && !memory.attach())
        return 2;
    if (!memory.lock())
        return 3;
    if (created) {
        auto* block = static_cast<InstanceBlock*>(memory.data());
        std::memset(block, 0, sizeof(InstanceBlock));
        block->primaryPid = -1;
        block->checksum = InstanceBlockChecksum(*block);
    }
    Say("locked");
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}

int Run(int argc, char** argv) {
    const QByteArray message = argc > 3 ? QByteArray(argv[3]) : QByteArray("show");
    SingleApplication app(argc, argv, true,
                          SingleApplication::User | SingleApplication::System |
                              SingleApplication::SecondaryNotification,
                          1000);
    Say("started primary=%d id=%u pid=%lld", app.isPrimary() ? 1 : 0, app.instanceId(),
        static_cast<long long>(QCoreApplication::applicationPid()));
    if (app.isSecondary()) {
        Say("sent %d", app.sendMessage(message, 100) ? 1 : 0);
        return 0;
    }
    QObject::connect(&app, &SingleApplication::instanceStarted, [] { Say("instanceStarted"); });
    QObject::connect(&app, &SingleApplication::receivedMessage,
                     [&app](quint32 id, const QByteArray& bytes) {
                         Say("message %u %s", id, bytes.toHex().constData());
                         if (bytes.contains("quit"))
                             app.quit();
                     });
    // Never outlive the test that started it.
    QTimer::singleShot(30000, &app, [&app] { app.exit(3); });
    const int code = app.exec();
    Say("exit %d", code);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 64;
    QCoreApplication::setApplicationName(QString::fromUtf8(argv[1]));
    if (std::strcmp(argv[2], "hold-lock") == 0 && argc > 3)
        return HoldLock(argv[3]);
    if (std::strcmp(argv[2], "run") == 0)
        return Run(argc, argv);
    return 64;
}
