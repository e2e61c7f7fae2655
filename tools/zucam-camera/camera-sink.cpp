#include "tools/zucam-camera/camera-sink.h"

#include "platform/v4l2-output.h"
#include "tools/zucam-camera/camera-say.h"
#include "tools/zucam-camera/pipewire-output.h"
#include "tools/zucam-camera/v4l2-camera-output.h"

namespace {

std::unique_ptr<CameraOutput> Open(std::unique_ptr<CameraOutput> output,
                                   const CameraOptions& options, int failureCode, int* exitCode,
                                   std::string* error) {
    if (output->open(options.width, options.height, options.fps, error))
        return output;
    *exitCode = failureCode;
    return nullptr;
}

}  // namespace

std::unique_ptr<CameraOutput> OpenCameraOutput(const CameraOptions& options, int* exitCode,
                                               std::string* error) {
    if (options.output == CameraOptions::Output::V4l2) {
        return Open(std::make_unique<V4l2CameraOutput>(options.v4l2Device), options, kExitUsage,
                    exitCode, error);
    }
    std::string deviceError;
    if (options.output == CameraOptions::Output::Auto) {
        std::string device = platform::V4l2Output::FindByLabel(PipeWireOutput::kNodeName);
        if (!device.empty()) {
            auto output = Open(std::make_unique<V4l2CameraOutput>(device), options, kExitUsage,
                               exitCode, error);
            if (output)
                return output;
            // A device another program holds must not leave the phone
            // without any camera: PipeWire may still serve.
            deviceError = *error;
            Say("%s; trying PipeWire", error->c_str());
        }
    }
    if (options.output == CameraOptions::Output::PipeWire || PipeWireOutput::DaemonAnswers()) {
        return Open(std::make_unique<PipeWireOutput>(), options, kExitNoCameraOutput, exitCode,
                    error);
    }
    if (!deviceError.empty()) {
        *error = deviceError + ", and no PipeWire daemon answers either";
        return nullptr;  // with the device's exit code
    }
    *exitCode = kExitNoCameraOutput;
    *error = std::string(
                 "no camera output: there is no v4l2loopback device labelled \"ZuCam\" "
                 "and no PipeWire daemon answers. Either load the module (") +
             V4l2CameraOutput::kModprobe +
             ") or start PipeWire (systemctl --user start pipewire wireplumber)";
    return nullptr;
}
