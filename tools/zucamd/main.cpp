#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app-identity.h"
#include "cordlink/adb-program.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "platform/network-startup.h"
#include "platform/stop-request.h"
#include "tools/zucamd/headless-host.h"
#include "tools/zucamd/zucamd-options.h"

// The terminal speaks English: the program's own texts (a recording's failure,
// say) are shown in the window's English. The translations are resources of a
// static library, registered by name, which works only outside a namespace.
static void SpeakEnglish(QTranslator* translator) {
    Q_INIT_RESOURCE(zucam_translations);
    if (translator->load(QStringLiteral(":/translations/zucam_en.qm")))
        QCoreApplication::installTranslator(translator);
}

namespace {

// Quiet unless asked: the log lines and the prints meant for developers go
// to the log file, and the terminal keeps the lines meant for people.
void QuietTerminal(const ZucamdOptions& options) {
    if (options.verbose || !CD || !CD->logSink)
        return;
    if (!CD->logSink->divertStandardError()) {
        std::fprintf(stderr, "zucamd: the log file %s cannot be written; logging here instead\n",
                     CD->logSink->path().c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    ZucamdOptions options;
    std::string error;
    if (!options.Parse(argc, argv, &error)) {
        std::fprintf(stderr, "zucamd: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(ZucamdOptions::Usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("zucamd %s (%s)\n", app_identity::kVersion, app_identity::kAppName);
        return 0;
    }
    platform::NetworkStartup network;
    bg::InitBridge(argc, argv);
    std::atexit(bg::UninitBridge);
    QuietTerminal(options);

    int code = 0;
    {
        QCoreApplication app(argc, argv);
        QTranslator english;
        SpeakEnglish(&english);
        platform::CatchStopSignals();
        // A stop while an adb call waits ends that call at once.
        zu::SetAdbStopCheck(&platform::StopRequested);
        HeadlessHost host(options);
        code = host.Start();
        if (code != 0)
            return code;
        // SIGINT/SIGTERM only raise a flag; the main thread notices it here
        // and leaves the event loop so everything is torn down in order.
        // Only from the main loop itself: quitting ends every loop of the
        // thread, and an adb call waiting in a loop of its own would be cut
        // off (its adb killed).
        QTimer stopPoll;
        QObject::connect(&stopPoll, &QTimer::timeout, [&app] {
            if (platform::StopRequested() && QThread::currentThread()->loopLevel() == 1)
                app.quit();
        });
        stopPoll.start(50);
        code = app.exec();
        // The teardown waits for adb (removing the port mappings) in loops of
        // its own, which a quit would end early.
        stopPoll.stop();
        host.Shutdown();
    }
    return code;
}
