#pragma once

#include <string>

#include "platform/v4l2-output.h"
#include "tools/zucam-camera/camera-output.h"

// A camera output to a v4l2loopback device: every failure to open it becomes
// one line that says what to do about it.
class V4l2CameraOutput : public CameraOutput {
public:
    static constexpr const char* kModprobe =
        "sudo modprobe v4l2loopback exclusive_caps=1 card_label=ZuCam";

    explicit V4l2CameraOutput(std::string path) : path_(std::move(path)) {}

    bool open(int width, int height, int fps, std::string* error) override;
    bool write(const I420Frame& frame, uint32_t tag) override;
    std::string describe() const override { return "the camera " + path_; }

    static std::string OpenFailure(const std::string& path, platform::V4l2Output::Status status,
                                   const std::string& detail);

private:
    std::string path_;
    platform::V4l2Output device_;
};
