#include "platform/fifo.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace platform {

static_assert(FifoWriter::kAtomicWriteBytes <= PIPE_BUF,
              "writes above PIPE_BUF may be split and tear 16-bit samples apart");

namespace {

void SetError(std::string* error, const std::string& what, int code) {
    if (error)
        *error = what + ": " + std::strerror(code);
}

// A write to a FIFO whose reader has left raises SIGPIPE, which would end the
// whole program unless it is ignored. The signal is held back on this thread
// for the one write, and one raised by that write is taken off the pending
// set again, so the result is only EPIPE.
class SigPipeGuard {
public:
    SigPipeGuard() {
        sigemptyset(&pipeSet_);
        sigaddset(&pipeSet_, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        if (::sigpending(&pending) == 0)
            alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
        blocked_ = ::pthread_sigmask(SIG_BLOCK, &pipeSet_, &oldMask_) == 0;
    }
    ~SigPipeGuard() {
        if (raised_ && !alreadyPending_) {
            const struct timespec zero = {0, 0};
            int saved = errno;
            while (::sigtimedwait(&pipeSet_, nullptr, &zero) < 0 && errno == EINTR) {
            }
            errno = saved;
        }
        if (blocked_)
            ::pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
    }
    SigPipeGuard(const SigPipeGuard&) = delete;
    SigPipeGuard& operator=(const SigPipeGuard&) = delete;

    void noteRaised() { raised_ = true; }

private:
    sigset_t pipeSet_;
    sigset_t oldMask_;
    bool alreadyPending_ = false;
    bool blocked_ = false;
    bool raised_ = false;
};

bool IsFifoFd(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace

FifoPathState GetFifoPathState(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? FifoPathState::kMissing : FifoPathState::kOther;
    }
    return S_ISFIFO(st.st_mode) ? FifoPathState::kFifo : FifoPathState::kOther;
}

bool MakeFifo(const std::string& path, std::string* error) {
    if (::mkfifo(path.c_str(), 0600) != 0) {
        SetError(error, "mkfifo " + path, errno);
        return false;
    }
    return true;
}

bool IsPrivateDirectory(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

FifoWriter::~FifoWriter() {
    close();
}

FifoWriter::OpenResult FifoWriter::open(const std::string& path, std::string* error) {
    close();
    int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        int code = errno;
        SetError(error, "open " + path, code);
        return code == ENXIO ? OpenResult::kNoReader : OpenResult::kFailed;
    }
    if (!IsFifoFd(fd)) {
        ::close(fd);
        if (error)
            *error = path + " is not a FIFO";
        return OpenResult::kFailed;
    }
    fd_ = fd;
    return OpenResult::kOpened;
}

FifoWriter::WriteResult FifoWriter::write(const void* data, size_t size) {
    if (fd_ < 0 || size > kAtomicWriteBytes)
        return WriteResult::kFailed;
    if (size == 0)
        return WriteResult::kWritten;
    SigPipeGuard guard;
    for (;;) {
        ssize_t n = ::write(fd_, data, size);
        if (n == static_cast<ssize_t>(size))
            return WriteResult::kWritten;
        if (n >= 0)
            return WriteResult::kFailed;  // cannot happen at or below PIPE_BUF
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return WriteResult::kFull;
        if (errno == EPIPE) {
            guard.noteRaised();
            return WriteResult::kNoReader;
        }
        return WriteResult::kFailed;
    }
}

bool FifoWriter::setCapacity(size_t bytes) {
    if (fd_ < 0 || bytes > static_cast<size_t>(INT_MAX))
        return false;
    return ::fcntl(fd_, F_SETPIPE_SZ, static_cast<int>(bytes)) >= 0;
}

long FifoWriter::capacity() const {
    if (fd_ < 0)
        return -1;
    return ::fcntl(fd_, F_GETPIPE_SZ);
}

void FifoWriter::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

FifoReader::~FifoReader() {
    close();
}

bool FifoReader::open(const std::string& path, std::string* error) {
    close();
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        SetError(error, "open " + path, errno);
        return false;
    }
    if (!IsFifoFd(fd)) {
        ::close(fd);
        if (error)
            *error = path + " is not a FIFO";
        return false;
    }
    fd_ = fd;
    return true;
}

long FifoReader::read(void* data, size_t size, int timeoutMs) {
    if (fd_ < 0)
        return -1;
    struct pollfd pfd = {fd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&pfd, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return -1;
    if (ready == 0 || (pfd.revents & POLLIN) == 0) {
        // POLLHUP alone: no writer is connected. Waiting for one would need
        // a loop of its own; the caller's time-out decides.
        if (ready > 0 && timeoutMs > 0)
            ::poll(nullptr, 0, timeoutMs);
        return 0;
    }
    ssize_t n;
    do {
        n = ::read(fd_, data, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN ? 0 : -1;
    return static_cast<long>(n);
}

void FifoReader::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace platform
