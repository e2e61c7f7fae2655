#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "hublet/interface.h"
#include "platform/network-startup.h"
#include "platform/stop-request.h"
#include "tools/zucamd/headless-host.h"
#include "tools/zucamd/zucamd-options.h"

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
    platform::NetworkStartup network;
    bg::InitBridge(argc, argv);
    std::atexit(bg::UninitBridge);

    int code = 0;
    {
        QCoreApplication app(argc, argv);
        platform::CatchStopSignals();
        HeadlessHost host(options);
        if (!host.Start(&error)) {
            std::fprintf(stderr, "zucamd: %s\n", error.c_str());
            return 1;
        }
        // SIGINT/SIGTERM only raise a flag; the main thread notices it here
        // and leaves the event loop so everything is torn down in order.
        QTimer stopPoll;
        QObject::connect(&stopPoll, &QTimer::timeout, [&app] {
            if (platform::StopRequested())
                app.quit();
        });
        stopPoll.start(50);
        code = app.exec();
        host.Shutdown();
    }
    return code;
}
