#pragma once

#include <cstddef>
#include <string>

namespace platform {

// A Video4Linux output device (in practice a v4l2loopback device), written
// one whole I420 picture per write(). The format is set once, at open.
class V4l2Output {
public:
    enum class Status {
        Ok,
        Missing,       // nothing at that path
        NotADevice,    // a file, a directory, ...
        NotV4l2,       // a device, but not a video one (/dev/null)
        NotOutput,     // a real camera: it has no output side
        Busy,          // another program holds it
        NoPermission,  // the user may not open it
        Failed,        // anything else (the reason is in detail)
    };

    V4l2Output() = default;
    ~V4l2Output();
    V4l2Output(const V4l2Output&) = delete;
    V4l2Output& operator=(const V4l2Output&) = delete;

    // Opens `path` and sets the format I420 width x height; *detail gets the
    // system's reason for Failed.
    Status open(const std::string& path, int width, int height, std::string* detail);
    // Writes one picture; false with the system's reason in *error.
    bool write(const void* data, size_t size, std::string* error);
    void close();

    // The /dev/videoN of a v4l2loopback device whose card label is `label`,
    // or "" when there is none. `sysRoot` stands for /sys in tests.
    static std::string FindByLabel(const std::string& label, const std::string& sysRoot = "/sys");

private:
    int fd_ = -1;
};

}  // namespace platform
