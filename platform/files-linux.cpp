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
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetError(error, "create " + tmp);
        return false;
    }
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
