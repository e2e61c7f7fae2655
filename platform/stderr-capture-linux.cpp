#include "platform/stderr-capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

std::string TempPattern() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/zucam-stderr-XXXXXX";
}

}  // namespace

StderrCapture::StderrCapture() {
    std::string pattern = TempPattern();
    fileFd_ = ::mkostemp(&pattern[0], O_CLOEXEC);
    if (fileFd_ < 0)
        return;
    ::unlink(pattern.c_str());  // nothing to clean up, even after a crash
    std::fflush(stderr);
    savedFd_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (savedFd_ < 0 || ::dup2(fileFd_, STDERR_FILENO) < 0) {
        if (savedFd_ >= 0)
            ::close(savedFd_);
        savedFd_ = -1;
        ::close(fileFd_);
        fileFd_ = -1;
    }
}

StderrCapture::~StderrCapture() {
    stop();
    if (fileFd_ >= 0)
        ::close(fileFd_);
}

std::string StderrCapture::text() const {
    std::string out;
    if (fileFd_ < 0)
        return out;
    std::fflush(stderr);
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(fileFd_, buffer, sizeof(buffer), offset);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
        offset += n;
    }
    return out;
}

std::string StderrCapture::stop() {
    std::string out = text();
    if (savedFd_ >= 0) {
        std::fflush(stderr);
        ::dup2(savedFd_, STDERR_FILENO);
        ::close(savedFd_);
        savedFd_ = -1;
        // Whatever was captured still reaches the real stream, so a failing
        // test's diagnostics are not swallowed.
        if (!out.empty()) {
            ssize_t unused = ::write(STDERR_FILENO, out.data(), out.size());
            (void)unused;
        }
    }
    return out;
}

}  // namespace platform
