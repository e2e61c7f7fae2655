#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/shared-memory.h"

// The shared-memory frame queue the virtual camera reads from. Its bytes are
// the whole contract with every reader (the camera filter, zucam-camera):
// unsigned 32-bit little-endian integers, a 64-byte header, then three slots
// of a 20-byte header and one I420 picture each.
struct VirtualCameraQueueHeader {
    uint32_t writeCounter;      // raised before a picture is written
    uint32_t publishedCounter;  // set to writeCounter once it is complete
    uint32_t reserved;
    uint32_t state;
    uint32_t slotHeaderOffset[3];
    uint32_t slotDataOffset[3];
    uint32_t reserved2[6];
};
static_assert(sizeof(VirtualCameraQueueHeader) == 64, "queue header is 64 bytes");

struct VirtualCameraSlotHeader {
    uint32_t width;
    uint32_t height;
    uint32_t yBytesPerRow;
    uint32_t uBytesPerRow;
    uint32_t vBytesPerRow;
};
static_assert(sizeof(VirtualCameraSlotHeader) == 20, "slot header is 20 bytes");

// Offsets of the three slots for a slot capacity, and the mapping size.
struct VirtualCameraQueueLayout {
    uint32_t slotHeaderOffset[3] = {};
    uint32_t slotDataOffset[3] = {};
    uint32_t mappingSize = 0;
    bool valid = false;  // false when the capacity does not fit 32-bit offsets
};

// A reader's view of one published picture: its slot header as read and its
// bytes in the mapping, already checked to lie inside it.
struct VirtualCameraSlot {
    VirtualCameraSlotHeader header{};
    const uint8_t* data = nullptr;
    size_t bytes = 0;
};

class VirtualCameraQueue {
public:
    static constexpr const char* kName = "/ZuVirtualCameraQueue";
    // The queue every reader looks for: kName followed by "-" and the user's
    // id (one queue per user: a queue made first by another user of the
    // machine must not keep this user's ZuCam from starting), unless
    // $ZUCAM_CAMERA_QUEUE names another shared-memory object ("/name", no
    // other slash). Tests use that so they never touch the camera of a ZuCam
    // the user is running.
    static std::string Name();
    // 2560 x 1440 x 3 / 2: room for the largest picture ZuCam ever writes.
    static constexpr uint32_t kSlotCapacity = 5529600;
    static constexpr uint32_t kSlotCount = 3;
    static constexpr uint32_t kStateCreated = 0;
    static constexpr uint32_t kStateStreaming = 2;
    static constexpr uint32_t kStateStopped = 3;

    // writer = true for ZuCam's own object; false maps an existing queue
    // read-only for a reading process.
    explicit VirtualCameraQueue(bool writer = true);
    ~VirtualCameraQueue();
    VirtualCameraQueue(const VirtualCameraQueue&) = delete;
    VirtualCameraQueue& operator=(const VirtualCameraQueue&) = delete;

    // An opened writer with slots of `capacity` bytes, or null.
    static std::unique_ptr<VirtualCameraQueue> create(uint32_t capacity);
    static VirtualCameraQueueLayout Layout(uint32_t capacity);
    // Bytes a picture takes in its slot (Y rows, the U area, the V rows).
    static uint64_t PictureBytes(uint32_t height, uint32_t yBytesPerRow, uint32_t uBytesPerRow,
                                 uint32_t vBytesPerRow);

    bool open(uint32_t capacity);
    // Copies one I420 picture into the next slot and publishes it. Null when
    // the queue is not open for writing or the picture is refused: null
    // planes, sizes or line sizes below 1, or more bytes than a slot holds.
    const VirtualCameraQueueHeader* writeFrame(const uint8_t* const planes[3],
                                               const int lineSizes[3], int width, int height);
    void setState(uint32_t state);
    void close();

    bool isOpen() const { return header_ != nullptr; }
    bool isWriter() const { return writer_; }
    uint32_t capacity() const { return capacity_; }
    const VirtualCameraQueueHeader* header() const { return header_; }
    // Why the last open failed, and how.
    const std::string& lastError() const { return error_; }
    platform::SharedMemory::Status lastOpenStatus() const { return status_; }

    // Reader side. The counter of the newest complete picture (0: none yet).
    uint32_t publishedCounter() const;
    uint32_t state() const;
    // The slot of the picture `published`; false when its header describes
    // bytes outside the mapping (a reader never trusts the other process).
    bool slotOf(uint32_t published, VirtualCameraSlot* out) const;
    // To be asked after copying the picture `published`: true when the writer
    // has not started to overwrite its slot meanwhile, so the copy is whole.
    bool pictureIntact(uint32_t published) const;
    // False once the writer has closed the queue (a new one may replace it),
    // or once the queue was cut short under us, which is read the same way.
    bool stillPublished() const { return memory_.stillLinked() && !memory_.cutShort(); }

private:
    bool openWriter(const VirtualCameraQueueLayout& layout);
    bool openReader(const VirtualCameraQueueLayout& layout);
    bool accepts(const int lineSizes[3], int width, int height, const uint8_t* const planes[3]);

    platform::SharedMemory memory_;
    VirtualCameraQueueHeader* header_ = nullptr;
    bool writer_;
    VirtualCameraSlotHeader* slotHeaders_[kSlotCount] = {};
    uint8_t* slotData_[kSlotCount] = {};
    uint32_t capacity_ = 0;
    std::string error_;
    platform::SharedMemory::Status status_ = platform::SharedMemory::Status::Ok;
    // Serialises the writer's own threads (decoder, network, main): close
    // must never unmap under a picture being written.
    std::mutex mutex_;
    int refusedWidth_ = 0;
    int refusedHeight_ = 0;
};
