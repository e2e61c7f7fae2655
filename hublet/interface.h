#pragma once

#include "hublet/value.h"

namespace bg {

class AppInfo;
class LogSink;
class ConfigStore;
class ValueStore;
class SignalBus;
class Clock;

// The module host as the program sees it: six facets behind one global pointer.
struct Interface {
    AppInfo* appInfo = nullptr;
    LogSink* logSink = nullptr;
    ConfigStore* configStore = nullptr;
    ValueStore* valueStore = nullptr;
    SignalBus* signalBus = nullptr;
    Clock* clock = nullptr;
};

// Brings the host up: log file, settings store, value store, signal bus, clock.
// Calling it again while the host runs changes nothing. Returns 0 on success.
int InitBridge(int argc, char** argv);

// Loads optional modules named `names[0..count)` from the "modules" folder
// beside the executable (lib<name>.so). A module exports
// `extern "C" int bg_module_init(bg::Interface*)` returning 0 when it is ready;
// with `callInit` false the library is only loaded. Returns how many modules
// were loaded; a missing module is not an error.
int LoadModules(const char* const* names, int count, bool callInit);

// Shuts the host down; CD is null afterwards. Safe to call more than once.
void UninitBridge();

}  // namespace bg

extern bg::Interface* CD;
