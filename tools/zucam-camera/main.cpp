#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/child-process.h"
#include "platform/parent-watch.h"
#include "platform/paths.h"
#include "platform/stop-request.h"
#include "tools/zucam-camera/camera-options.h"
#include "tools/zucam-camera/camera-pump.h"
#include "tools/zucam-camera/camera-say.h"
#include "tools/zucam-camera/camera-streamer.h"

int main(int argc, char** argv) {
    // A closed pipe must end the program with a message, not kill it.
    platform::IgnoreBrokenPipe();
    CameraOptions options;
    std::string error;
    switch (options.parse(std::vector<std::string>(argv + 1, argv + argc), &error)) {
        case CameraOptions::Parsed::Help:
            std::fputs(CameraOptions::UsageText().c_str(), stdout);
            return kExitOk;
        case CameraOptions::Parsed::Version:
            std::puts("zucam-camera " ZUCAM_VERSION);
            return kExitOk;
        case CameraOptions::Parsed::Error:
            std::fprintf(stderr, "zucam-camera: %s\nTry \"zucam-camera --help\".\n", error.c_str());
            return kExitUsage;
        case CameraOptions::Parsed::Run:
            break;
    }
    SetVerbose(options.verbose);
    platform::CatchStopSignals();
    // Started by ZuCam or zucamd: a camera nobody feeds any more must not
    // stay behind when they crash.
    std::string parent = platform::GetEnv("ZUCAM_CAMERA_PARENT");
    if (!parent.empty() && !platform::EndWithParent(std::atol(parent.c_str())))
        return kExitOk;
    if (options.cameraOutput()) {
        CameraStreamer streamer(options);
        return streamer.run();
    }
    CameraPump pump(options);
    return pump.run();
}
