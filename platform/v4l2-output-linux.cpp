#include "platform/v4l2-output.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace platform {

V4l2Output::~V4l2Output() {
    close();
}

void V4l2Output::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

V4l2Output::Status V4l2Output::open(const std::string& path, int width, int height,
                                    std::string* detail) {
    close();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Status::Missing : Status::Failed;
    if (!S_ISCHR(st.st_mode))
        return Status::NotADevice;
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        int err = errno;
        *detail = std::strerror(err);
        if (err == EACCES || err == EPERM)
            return Status::NoPermission;
        return err == EBUSY ? Status::Busy : Status::Failed;
    }
    v4l2_capability caps{};
    if (::ioctl(fd_, VIDIOC_QUERYCAP, &caps) != 0) {
        close();
        return Status::NotV4l2;
    }
    uint32_t effective =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    if (!(effective & (V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_VIDEO_OUTPUT_MPLANE))) {
        close();
        return Status::NotOutput;
    }
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    format.fmt.pix.width = static_cast<uint32_t>(width);
    format.fmt.pix.height = static_cast<uint32_t>(height);
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUV420;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    format.fmt.pix.bytesperline = static_cast<uint32_t>(width);
    format.fmt.pix.sizeimage = static_cast<uint32_t>(width * height * 3 / 2);
    format.fmt.pix.colorspace = V4L2_COLORSPACE_SRGB;
    if (::ioctl(fd_, VIDIOC_S_FMT, &format) != 0) {
        int err = errno;
        *detail = std::strerror(err);
        close();
        return err == EBUSY ? Status::Busy : Status::Failed;
    }
    return Status::Ok;
}

bool V4l2Output::write(const void* data, size_t size, std::string* error) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? std::strerror(errno) : "the device took nothing";
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string V4l2Output::FindByLabel(const std::string& label, const std::string& sysRoot) {
    std::string dir = sysRoot + "/class/video4linux";
    DIR* listing = ::opendir(dir.c_str());
    if (!listing)
        return "";
    std::string found;
    while (dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (name.compare(0, 5, "video") != 0)
            continue;
        std::string text;
        if (!ReadWholeFile(dir + "/" + name + "/name", &text))
            continue;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        // The lowest numbered match, so the choice is the same every time.
        std::string device = "/dev/" + name;
        if (text == label && (found.empty() || device.size() < found.size() ||
                              (device.size() == found.size() && device < found))) {
            found = device;
        }
    }
    ::closedir(listing);
    return found;
}

}  // namespace platform
