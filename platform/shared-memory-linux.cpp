#include "platform/shared-memory.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

// A writer that closes removes the name and then drops its lock; a newcomer
// that opened the old object just before can win the lock on an object
// nobody will ever find again. Such a newcomer starts over, a few times.
constexpr int kOpenAttempts = 5;

// Whether `name` currently refers to the object open on `fd`.
bool SameObject(const std::string& name, int fd) {
    int other = ::shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (other < 0)
        return false;
    struct stat mine {};
    struct stat linked {};
    bool same = ::fstat(fd, &mine) == 0 && ::fstat(other, &linked) == 0 &&
                mine.st_dev == linked.st_dev && mine.st_ino == linked.st_ino;
    ::close(other);
    return same;
}

// Reserves the memory up front: a full /dev/shm must fail the open, not kill
// the writer with SIGBUS in the middle of a picture.
int Reserve(int fd, size_t size) {
    int rc;
    do {
        rc = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    } while (rc == EINTR);
    if (rc == EOPNOTSUPP || rc == EINVAL) {
        return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
    }
    return rc;
}

// A reader maps an object another process owns, and the owner (or anyone
// allowed to write it) can shrink it: touching a page past the new end raises
// SIGBUS. Readers' mappings are listed here; a fault inside one swaps the
// whole mapping for zeros, marks it cut short and lets the read go on, so the
// reader sees an empty queue and then a writer that went away.
struct GuardedMapping {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> cut{false};
};
constexpr int kGuardedMappings = 16;
GuardedMapping gGuarded[kGuardedMappings];
struct sigaction gPreviousBus {};

void PassOnBus(int sig, siginfo_t* info, void* context) {
    if (gPreviousBus.sa_flags & SA_SIGINFO) {
        if (gPreviousBus.sa_sigaction) {
            gPreviousBus.sa_sigaction(sig, info, context);
            return;
        }
    } else if (gPreviousBus.sa_handler != SIG_DFL && gPreviousBus.sa_handler != SIG_IGN) {
        gPreviousBus.sa_handler(sig);
        return;
    }
    // Not ours and nobody else's: the faulting access runs again and the
    // default action ends the process as it would have without us.
    ::signal(SIGBUS, SIG_DFL);
}

void OnBus(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const auto address = reinterpret_cast<uintptr_t>(info ? info->si_addr : nullptr);
    for (GuardedMapping& guarded : gGuarded) {
        const uintptr_t begin = guarded.begin.load();
        const uintptr_t end = guarded.end.load();
        if (begin == 0 || address < begin || address >= end)
            continue;
        void* zeros = ::mmap(reinterpret_cast<void*>(begin), end - begin, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros == MAP_FAILED)
            break;
        guarded.cut.store(true);
        errno = savedErrno;
        return;
    }
    errno = savedErrno;
    PassOnBus(sig, info, context);
}

void InstallBusGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBus;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &gPreviousBus);
    });
}

// The slot guarding `data`, or -1 when every slot is taken (the mapping then
// goes unguarded, as before).
int Guard(void* data, size_t size) {
    InstallBusGuard();
    for (int i = 0; i < kGuardedMappings; ++i) {
        uintptr_t expected = 0;
        GuardedMapping& guarded = gGuarded[i];
        if (guarded.begin.load() != 0)
            continue;
        guarded.cut.store(false);
        guarded.end.store(reinterpret_cast<uintptr_t>(data) + size);
        if (guarded.begin.compare_exchange_strong(expected, reinterpret_cast<uintptr_t>(data)))
            return i;
    }
    return -1;
}

void Unguard(int slot) {
    if (slot >= 0 && slot < kGuardedMappings)
        gGuarded[slot].begin.store(0);
}

}  // namespace

SharedMemory::~SharedMemory() {
    close();
}

SharedMemory::Status SharedMemory::fail(const std::string& what, int err) {
    error_ = what + " \"" + name_ + "\": " + std::strerror(err);
    return Status::Failed;
}

void SharedMemory::release() {
    Unguard(guard_);
    guard_ = -1;
    if (data_)
        ::munmap(data_, size_);
    if (fd_ >= 0)
        ::close(fd_);  // drops the lock with the last descriptor
    data_ = nullptr;
    size_ = 0;
    fd_ = -1;
    owner_ = false;
}

SharedMemory::Status SharedMemory::createOwned(const std::string& name, size_t size) {
    close();
    name_ = name;
    error_.clear();
    if (size == 0)
        return fail("empty size for", EINVAL);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        bool retry = false;
        Status status = tryCreateOwned(size, &retry);
        if (!retry)
            return status;
    }
    error_ = "\"" + name_ + "\" keeps being replaced while it is opened";
    return Status::Failed;
}

SharedMemory::Status SharedMemory::tryCreateOwned(size_t size, bool* retry) {
    fd_ = ::shm_open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return fail("cannot open", errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        int err = errno;
        release();
        return fail("cannot examine", err);
    }
    if (st.st_uid != ::geteuid()) {
        release();
        error_ = "\"" + name_ + "\" belongs to another user";
        return Status::Failed;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        release();
        if (err == EWOULDBLOCK) {
            error_ = "\"" + name_ + "\" is held by another writer";
            return Status::Busy;
        }
        return fail("cannot lock", err);
    }
    if (!SameObject(name_, fd_)) {
        release();
        *retry = true;
        return Status::Failed;
    }
    // From here on the object is ours; one that cannot be made usable is
    // removed rather than left behind half-sized.
    ::fchmod(fd_, 0600);
    int err = Reserve(fd_, size);
    if (err != 0) {
        ::shm_unlink(name_.c_str());
        release();
        return fail("cannot reserve memory for", err);
    }
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (data == MAP_FAILED) {
        err = errno;
        ::shm_unlink(name_.c_str());
        release();
        return fail("cannot map", err);
    }
    data_ = data;
    size_ = size;
    owner_ = true;
    return Status::Ok;
}

SharedMemory::Status SharedMemory::openReadOnly(const std::string& name, size_t size) {
    close();
    name_ = name;
    error_.clear();
    if (size == 0)
        return fail("empty size for", EINVAL);
    fd_ = ::shm_open(name_.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd_ < 0) {
        int err = errno;
        fail("cannot open", err);
        return err == ENOENT ? Status::NotFound : Status::Failed;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        int err = errno;
        release();
        return fail("cannot examine", err);
    }
    // Another user's object may carry that user's pictures, or pictures made
    // up to be passed off as this user's phone.
    if (st.st_uid != ::geteuid()) {
        release();
        error_ = "\"" + name_ + "\" belongs to another user";
        return Status::Failed;
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) < size) {
        release();
        error_ = "\"" + name_ + "\" holds " + std::to_string(st.st_size) + " bytes, fewer than " +
                 std::to_string(size);
        return Status::TooSmall;
    }
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd_, 0);
    if (data == MAP_FAILED) {
        int err = errno;
        release();
        return fail("cannot map", err);
    }
    data_ = data;
    size_ = size;
    guard_ = Guard(data, size);
    return Status::Ok;
}

bool SharedMemory::stillLinked() const {
    return fd_ >= 0 && SameObject(name_, fd_);
}

bool SharedMemory::cutShort() const {
    if (fd_ < 0)
        return false;
    if (guard_ >= 0 && gGuarded[guard_].cut.load())
        return true;
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && static_cast<unsigned long long>(st.st_size) < size_;
}

void SharedMemory::close() {
    // Only our own object is removed: someone may have deleted ours by hand
    // and a new owner may already live under the name.
    if (owner_ && fd_ >= 0 && SameObject(name_, fd_))
        ::shm_unlink(name_.c_str());
    release();
}

bool SharedMemoryExists(const std::string& name) {
    int fd = ::shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return errno != ENOENT;
    ::close(fd);
    return true;
}

}  // namespace platform
