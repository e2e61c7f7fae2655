#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/paths.h"

namespace platform {
namespace {

void SetError(std::string* error, const std::string& what) {
    if (error)
        *error = what + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const char* data, size_t len) {
    while (len > 0) {
        ssize_t n = ::write(fd, data, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

void SyncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* out, std::string* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "open " + path);
        return false;
    }
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetError(error, "read " + path);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (out)
        out->swap(data);
    return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error) {
    // The temporary name carries the pid so two processes saving at once never
    // write into the same temporary file.
    std::string tmp = path + ".tmp." + std::to_string(::getpid());
    int fd = CreateFreshFile(tmp, error);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    if (!WriteAll(fd, data.data(), data.size()) || ::fsync(fd) != 0) {
        SetError(error, "write " + tmp);
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::close(fd) != 0) {
        SetError(error, "close " + tmp);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        SetError(error, "rename " + tmp);
        ::unlink(tmp.c_str());
        return false;
    }
    SyncDirectory(DirName(path));
    return true;
}

int CreateFreshFile(const std::string& path, std::string* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            SetError(error, "create " + path);
            return -1;
        }
        // Unlinking removes a planted link itself, never what it points to.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            SetError(error, "replace " + path);
            return -1;
        }
    }
    // O_EXCL also refuses a link someone plants between the unlink and here.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        SetError(error, "create " + path);
    return fd;
}

bool WriteFreshFile(const std::string& path, const std::string& data, std::string* error) {
    int fd = CreateFreshFile(path, error);
    if (fd < 0)
        return false;
    bool written = WriteAll(fd, data.data(), data.size());
    if (!written)
        SetError(error, "write " + path);
    if (::close(fd) != 0 && written) {
        SetError(error, "close " + path);
        written = false;
    }
    if (!written)
        ::unlink(path.c_str());
    return written;
}

std::string DescriptorPath(int descriptor) {
    return "/proc/self/fd/" + std::to_string(descriptor);
}

void CloseDescriptor(int descriptor) {
    if (descriptor >= 0)
        ::close(descriptor);
}

long long WriteWholeFile(const std::string& path, const std::string& data) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    long long written = 0;
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        written += n;
        p += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
    return written;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long long FileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<long long>(st.st_size);
}

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

}  // namespace platform
