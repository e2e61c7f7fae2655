#include "tools/zucam-camera/v4l2-camera-output.h"

#include <chrono>

#include "platform/process-list.h"

namespace {

std::string Holders(const std::string& path) {
    std::string names;
    for (const platform::ProcessHolding& p : platform::ProcessesHoldingFiles({path})) {
        if (!names.empty())
            names += ", ";
        names += p.name + " (pid " + std::to_string(p.pid) + ")";
    }
    return names.empty() ? "another program" : names;
}

}  // namespace

std::string V4l2CameraOutput::OpenFailure(const std::string& path,
                                          platform::V4l2Output::Status status,
                                          const std::string& detail) {
    using Status = platform::V4l2Output::Status;
    const std::string device = std::string("give the /dev/videoN that ") + kModprobe + " makes";
    switch (status) {
        case Status::Ok:
            return "";
        case Status::Missing:
            return path + " does not exist: load v4l2loopback first (" + kModprobe +
                   "), then give the /dev/videoN it makes, or use --pipewire";
        case Status::NotADevice:
            return path + " is not a video device: " + device;
        case Status::NotV4l2:
            return path + " is not a Video4Linux device: " + device;
        case Status::NotOutput:
            return path + " is a camera, not a v4l2loopback output device: " + device;
        case Status::Busy:
            return path + " is busy: " + Holders(path) +
                   " uses it; close that program, or give another v4l2loopback device";
        case Status::NoPermission:
            return "cannot open " + path +
                   ": permission denied; add yourself to the \"video\" group (sudo usermod -aG "
                   "video $USER, then log in again)";
        case Status::Failed:
            break;
    }
    return "cannot use " + path + ": " + detail;
}

bool V4l2CameraOutput::open(int width, int height, int, std::string* error) {
    std::string detail;
    platform::V4l2Output::Status status = device_.open(path_, width, height, &detail);
    if (status == platform::V4l2Output::Status::Ok)
        return true;
    *error = OpenFailure(path_, status, detail);
    return false;
}

bool V4l2CameraOutput::write(const I420Frame& frame, uint32_t tag) {
    std::string reason;
    if (!device_.write(frame.bytes.data(), frame.bytes.size(), &reason)) {
        error_ = "cannot write to " + path_ + ": " + reason;
        return false;
    }
    if (queuedHook_) {
        queuedHook_(tag, std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
    }
    return true;
}
