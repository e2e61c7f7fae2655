#pragma once

#include <string>

namespace platform {

// An exclusive advisory lock on a file, held until release or destruction and
// dropped by the kernel when the process dies, so a crash never leaves it
// stuck. Serialises processes that share one outside resource (a sound
// server's global source name, for instance).
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates `path` when needed and waits at most timeoutMs for the lock.
    bool acquire(const std::string& path, int timeoutMs);
    void release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace platform
