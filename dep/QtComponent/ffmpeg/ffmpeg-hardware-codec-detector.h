#pragma once

#include <mutex>
#include <string>
#include <vector>

struct AVCodec;

// Finds out once, at start-up, which hardware H.264 encoders and which
// hardware device types work on this machine. The decoder takes the first
// working device type, the recorder the first working encoder. Without a call
// to detect() both lists stay empty: software decoding, no hardware encoder.
class HardwareCodecDetector {
public:
    // The process-wide detector, created on first use; never null.
    static HardwareCodecDetector* instance();

    // Tries every candidate of both tables in table order and keeps the ones
    // that work. Running it again starts from empty lists.
    void detect();

    std::vector<std::string> hardwareEncoders() const;
    std::vector<std::string> hardwareDeviceTypes() const;

    // The candidate tables, in the order they are tried.
    static const std::vector<std::string>& EncoderCandidates();
    static const std::vector<std::string>& DeviceTypeCandidates();

    // One encoder test: the encoder opens and takes a 64x64 picture.
    static bool TestEncoder(const std::string& name);
    // One device type test: a device of the type can be created and the
    // H.264 decoder opened on it accepts the built-in test picture.
    static bool TestDeviceType(const std::string& name);

    // The surface format the last device test found (-1 before any did).
    static int HardwareSurfaceFormat();

    // The pixel format in which `codec` hands out pictures of the hardware
    // device type `deviceType` (an AVHWDeviceType) through a device context;
    // -1 when it offers no such configuration.
    static int SurfaceFormatFor(const AVCodec* codec, int deviceType);

private:
    HardwareCodecDetector() = default;

    mutable std::mutex mutex_;
    std::vector<std::string> encoders_;
    std::vector<std::string> deviceTypes_;
};
