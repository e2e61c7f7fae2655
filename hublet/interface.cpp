#include "hublet/interface.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "hublet/app-info.h"
#include "hublet/clock.h"
#include "hublet/config-store.h"
#include "hublet/log-sink.h"
#include "hublet/signal-bus.h"
#include "hublet/value-store.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/paths.h"

bg::Interface* CD = nullptr;

namespace bg {
namespace {

std::mutex g_bridgeMutex;
std::vector<void*> g_modules;

}  // namespace

int InitBridge(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::lock_guard<std::mutex> lock(g_bridgeMutex);
    if (CD)
        return 0;
    auto* host = new Interface;
    // The clock and the log sink come first so the other facets can log.
    host->clock = new Clock;
    host->logSink = new LogSink(platform::StateHomeDir() + "/ZuCam/zucam.log");
    host->appInfo = new AppInfo;
    host->valueStore = new ValueStore;
    host->signalBus = new SignalBus;
    CD = host;
    host->configStore = new ConfigStore(platform::ConfigHomeDir() + "/ZuCam/settings.json");
    return 0;
}

int LoadModules(const char* const* names, int count, bool callInit) {
    if (!names || count <= 0)
        return 0;
    std::string dir = platform::ExecutableDir() + "/modules/";
    // An installation without optional modules has no folder for them.
    if (!platform::IsDirectory(dir)) {
        BG_LOGD("no optional modules: %s does not exist", dir.c_str());
        return 0;
    }
    int loaded = 0;
    for (int i = 0; i < count; ++i) {
        // A module name is a plain file name: nothing may be loaded from
        // outside the modules folder.
        if (!names[i] || !names[i][0] || std::strchr(names[i], '/'))
            continue;
        std::string path = dir + "lib" + names[i] + ".so";
        std::string error;
        void* lib = platform::OpenLibrary(path, &error);
        if (!lib) {
            BG_LOGD("module %s not loaded: %s", names[i], error.c_str());
            continue;
        }
        if (callInit) {
            using InitFn = int (*)(Interface*);
            auto init = reinterpret_cast<InitFn>(platform::LibrarySymbol(lib, "bg_module_init"));
            if (!init || init(CD) != 0) {
                BG_LOGW("module %s has no working bg_module_init, unloaded", names[i]);
                platform::CloseLibrary(lib);
                continue;
            }
        }
        std::lock_guard<std::mutex> lock(g_bridgeMutex);
        g_modules.push_back(lib);
        ++loaded;
    }
    return loaded;
}

void UninitBridge() {
    std::lock_guard<std::mutex> lock(g_bridgeMutex);
    Interface* host = CD;
    if (!host)
        return;
    for (void* lib : g_modules)
        platform::CloseLibrary(lib);
    g_modules.clear();
    delete host->configStore;
    host->configStore = nullptr;
    delete host->signalBus;
    delete host->valueStore;
    delete host->appInfo;
    // The log sink and the clock go last: the facets above may log while closing.
    CD = nullptr;
    delete host->logSink;
    delete host->clock;
    delete host;
}

}  // namespace bg
