#include "tools/zucam-camera/camera-sink.h"

#include "platform/v4l2-output.h"
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
    std::string device = options.v4l2Device;
    if (options.output == CameraOptions::Output::Auto)
        device = platform::V4l2Output::FindByLabel(PipeWireOutput::kNodeName);
    if (options.output == CameraOptions::Output::V4l2 || !device.empty()) {
        return Open(std::make_unique<V4l2CameraOutput>(device), options, kExitUsage, exitCode,
                    error);
    }
    if (options.output == CameraOptions::Output::PipeWire || PipeWireOutput::DaemonAnswers()) {
        return Open(std::make_unique<PipeWireOutput>(), options, kExitNoCameraOutput, exitCode,
                    error);
    }
    *exitCode = kExitNoCameraOutput;
    *error = std::string(
                 "no camera output: there is no v4l2loopback device labelled \"ZuCam\" "
                 "and no PipeWire daemon answers. Either load the module (") +
             V4l2CameraOutput::kModprobe +
             ") or start PipeWire (systemctl --user start pipewire wireplumber)";
    return nullptr;
}
