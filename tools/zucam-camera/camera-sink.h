#pragma once

#include <memory>
#include <string>

#include "tools/zucam-camera/camera-options.h"
#include "tools/zucam-camera/camera-output.h"

// Opens the camera output the command line asks for. `--sink auto` takes a
// v4l2loopback device labelled "ZuCam" when there is one, else PipeWire when
// its daemon answers. Null with a one-line *error and the exit code to end
// with when none can be opened.
std::unique_ptr<CameraOutput> OpenCameraOutput(const CameraOptions& options, int* exitCode,
                                               std::string* error);
