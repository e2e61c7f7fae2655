#pragma once

#include <cstddef>
#include <string>

namespace platform {

// One named shared-memory object of the machine ("/Name"), mapped whole into
// this process. An owner creates it (or takes over an abandoned one) and holds
// an exclusive lock on it for as long as it lives, so a second owner is
// refused while the first is alive, yet a crashed owner's leftover never
// blocks a new one. Readers map it read-only and never lock.
class SharedMemory {
public:
    enum class Status {
        Ok,
        NotFound,  // reader: no object of that name
        Busy,      // owner: a live owner holds the object
        TooSmall,  // reader: the object is smaller than asked (not yet sized)
        Failed,    // anything else; error() says what
    };

    SharedMemory() = default;
    // Same as close().
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Opens or creates `name`, locks it, makes sure it holds at least `size`
    // bytes of reserved memory and maps `size` bytes read-write. An object of
    // another user is refused. Busy when another process (or another
    // SharedMemory of this one) owns it.
    Status createOwned(const std::string& name, size_t size);
    // Maps the first `size` bytes of an existing object read-only. TooSmall
    // when the object is smaller than that: touching the missing part would
    // kill the process. An object of another user is refused (Failed). Should
    // the object shrink later, reading the mapping never faults: the mapping
    // turns to zeros and cutShort() says so.
    Status openReadOnly(const std::string& name, size_t size);
    // True while `name` still refers to the mapped object; false once its
    // owner has removed it or replaced it by a new one.
    bool stillLinked() const;
    // True once the object holds fewer bytes than are mapped (someone cut it
    // short under us); what the mapping shows then means nothing.
    bool cutShort() const;
    // Unmaps; an owner removes the name first, while it still holds the lock,
    // so no newcomer can take over an object on its way out.
    void close();

    bool isOpen() const { return data_ != nullptr; }
    bool isOwner() const { return owner_; }
    void* data() const { return data_; }
    size_t size() const { return size_; }
    const std::string& name() const { return name_; }
    // Why the last open failed.
    const std::string& error() const { return error_; }

private:
    Status tryCreateOwned(size_t size, bool* retry);
    Status fail(const std::string& what, int err);
    void release();

    std::string name_;
    std::string error_;
    int fd_ = -1;
    void* data_ = nullptr;
    size_t size_ = 0;
    bool owner_ = false;
    int guard_ = -1;
};

// True when a shared-memory object of that name exists.
bool SharedMemoryExists(const std::string& name);

}  // namespace platform
