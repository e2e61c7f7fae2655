// zusp-log-server: the stream-protocol server with callbacks that only record,
// for the phone simulator's end-to-end tests.
#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "hublet/interface.h"
#include "hublet/value-store.h"
#include "platform/child-process.h"
#include "platform/stop-request.h"
#include "platform/time.h"
#include "tests/tools/phone-sim-server/log-server-options.h"
#include "tests/tools/phone-sim-server/zusp-log-server.h"

namespace {

constexpr int kPollMs = 20;

enum ExitCode : int { kStopped = 0, kCannotStart = 1, kUsage = 2, kTimeLimit = 3 };

// Runs until SIGINT/SIGTERM or the time limit; a test that forgets to stop
// the server must not leave it behind for ever.
int Serve(const zusplog::LogServerOptions& options) {
    zusplog::ZuspLogServer server(options, std::cout);
    std::string error;
    if (!server.Start(&error)) {
        std::cerr << "zusp-log-server: " << error << "\n";
        return kCannotStart;
    }
    const int64_t deadline =
        platform::MonotonicMicros() + static_cast<int64_t>(options.limitSeconds * 1e6);
    while (!platform::StopRequested()) {
        if (platform::MonotonicMicros() >= deadline) {
            server.Event("time limit reached");
            return kTimeLimit;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    server.Event("stopped");
    return kStopped;
}

}  // namespace

int main(int argc, char** argv) {
    zusplog::LogServerOptions options;
    std::string error;
    switch (zusplog::LogServerOptions::Parse(argc, argv, &options, &error)) {
        case zusplog::LogServerOptions::Parsed::kHelp:
            std::cout << zusplog::LogServerOptions::HelpText();
            return 0;
        case zusplog::LogServerOptions::Parsed::kError:
            std::cerr << "zusp-log-server: " << error << "\n";
            return kUsage;
        case zusplog::LogServerOptions::Parsed::kRun:
            break;
    }
    platform::IgnoreBrokenPipe();
    platform::CatchStopSignals();
    // The device-name command reads the name from the module host's values,
    // where the program's settings would have put it.
    bg::InitBridge(argc, argv);
    CD->valueStore->set("zucam_device_name", bg::Value(options.deviceName));
    int code = Serve(options);
    bg::UninitBridge();
    return code;
}
