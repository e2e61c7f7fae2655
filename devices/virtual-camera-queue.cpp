#include "devices/virtual-camera-queue.h"

#include "platform/paths.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "hublet/log-sink.h"

// The queue's integers are little-endian and are written in place.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the camera queue is little-endian");

namespace {

// The counters are shared with another process on another core. Plain
// aligned 32-bit accesses through the compiler's atomic built-ins keep each
// one whole and keep the compiler from moving the picture copy across them.
uint32_t LoadRelaxed(const uint32_t* p) {
    return __atomic_load_n(p, __ATOMIC_RELAXED);
}
uint32_t LoadAcquire(const uint32_t* p) {
    return __atomic_load_n(p, __ATOMIC_ACQUIRE);
}
void StoreRelaxed(uint32_t* p, uint32_t v) {
    __atomic_store_n(p, v, __ATOMIC_RELAXED);
}
void StoreRelease(uint32_t* p, uint32_t v) {
    __atomic_store_n(p, v, __ATOMIC_RELEASE);
}

uint64_t Align32(uint64_t x) {
    return (x + 31) & ~uint64_t(31);
}

void CopyPlane(uint8_t* dst, const uint8_t* src, int srcLineSize, uint32_t bytesPerRow,
               uint32_t rows) {
    if (bytesPerRow == static_cast<uint32_t>(srcLineSize)) {
        std::memcpy(dst, src, static_cast<size_t>(bytesPerRow) * rows);
        return;
    }
    for (uint32_t i = 0; i < rows; ++i) {
        std::memcpy(dst + static_cast<size_t>(i) * bytesPerRow,
                    src + static_cast<size_t>(i) * srcLineSize, bytesPerRow);
    }
}

}  // namespace

VirtualCameraQueue::VirtualCameraQueue(bool writer) : writer_(writer) {}

VirtualCameraQueue::~VirtualCameraQueue() {
    close();
}

std::unique_ptr<VirtualCameraQueue> VirtualCameraQueue::create(uint32_t capacity) {
    auto queue = std::make_unique<VirtualCameraQueue>(true);
    if (!queue->open(capacity)) {
        queue->close();
        return nullptr;
    }
    return queue;
}

VirtualCameraQueueLayout VirtualCameraQueue::Layout(uint32_t capacity) {
    VirtualCameraQueueLayout layout;
    uint64_t header = 64;
    uint64_t data = Align32(header + sizeof(VirtualCameraSlotHeader));
    uint64_t headers[kSlotCount];
    uint64_t datas[kSlotCount];
    for (uint32_t k = 0; k < kSlotCount; ++k) {
        if (k > 0) {
            header = Align32(datas[k - 1] + capacity + 32);
            data = Align32(header + sizeof(VirtualCameraSlotHeader));
        }
        headers[k] = header;
        datas[k] = data;
    }
    uint64_t size = Align32(datas[kSlotCount - 1] + capacity + 32);
    if (capacity == 0 || size > UINT32_MAX)
        return layout;
    for (uint32_t k = 0; k < kSlotCount; ++k) {
        layout.slotHeaderOffset[k] = static_cast<uint32_t>(headers[k]);
        layout.slotDataOffset[k] = static_cast<uint32_t>(datas[k]);
    }
    layout.mappingSize = static_cast<uint32_t>(size);
    layout.valid = true;
    return layout;
}

uint64_t VirtualCameraQueue::PictureBytes(uint32_t height, uint32_t yBytesPerRow,
                                          uint32_t uBytesPerRow, uint32_t vBytesPerRow) {
    // The U area is (U bytes per row x height) / 2 bytes, while only height / 2
    // rows are copied into it: for an odd height the V plane starts one half
    // row later than the copied rows end. Readers rely on exactly this.
    uint64_t h = height;
    return h * yBytesPerRow + (uint64_t(uBytesPerRow) * h) / 2 + (h / 2) * vBytesPerRow;
}

bool VirtualCameraQueue::open(uint32_t capacity) {
    close();
    error_.clear();
    status_ = platform::SharedMemory::Status::Ok;
    VirtualCameraQueueLayout layout = Layout(capacity);
    if (!layout.valid) {
        error_ = "slot capacity " + std::to_string(capacity) + " gives no valid layout";
        status_ = platform::SharedMemory::Status::Failed;
        BG_LOGW("camera queue: %s", error_.c_str());
        return false;
    }
    bool opened = writer_ ? openWriter(layout) : openReader(layout);
    if (opened)
        capacity_ = capacity;
    return opened;
}

std::string VirtualCameraQueue::Name() {
    std::string name = platform::GetEnv("ZUCAM_CAMERA_QUEUE");
    bool valid = name.size() > 1 && name.size() < 200 && name[0] == '/' &&
                 name.find('/', 1) == std::string::npos;
    return valid ? name : std::string(kName) + "-" + std::to_string(platform::UserId());
}

bool VirtualCameraQueue::openWriter(const VirtualCameraQueueLayout& layout) {
    status_ = memory_.createOwned(Name(), layout.mappingSize);
    if (status_ != platform::SharedMemory::Status::Ok) {
        error_ = memory_.error();
        BG_LOGW("camera queue not opened: %s", error_.c_str());
        return false;
    }
    auto* base = static_cast<uint8_t*>(memory_.data());
    auto* header = reinterpret_cast<VirtualCameraQueueHeader*>(base);
    // A taken-over object may still be mapped by a reader: the counters go
    // back to 0 before anything else so no old picture looks new.
    StoreRelaxed(&header->writeCounter, 0);
    StoreRelaxed(&header->publishedCounter, 0);
    header->reserved = 0;
    StoreRelaxed(&header->state, kStateCreated);
    for (uint32_t k = 0; k < kSlotCount; ++k) {
        header->slotHeaderOffset[k] = layout.slotHeaderOffset[k];
        header->slotDataOffset[k] = layout.slotDataOffset[k];
        slotHeaders_[k] =
            reinterpret_cast<VirtualCameraSlotHeader*>(base + layout.slotHeaderOffset[k]);
        slotData_[k] = base + layout.slotDataOffset[k];
    }
    std::memset(header->reserved2, 0, sizeof(header->reserved2));
    std::atomic_thread_fence(std::memory_order_release);
    header_ = header;
    BG_LOGI("camera queue \"%s\" opened, %u bytes", Name().c_str(), layout.mappingSize);
    return true;
}

bool VirtualCameraQueue::openReader(const VirtualCameraQueueLayout& layout) {
    status_ = memory_.openReadOnly(Name(), layout.mappingSize);
    if (status_ != platform::SharedMemory::Status::Ok) {
        error_ = memory_.error();
        return false;
    }
    header_ = static_cast<VirtualCameraQueueHeader*>(memory_.data());
    return true;
}

bool VirtualCameraQueue::accepts(const int lineSizes[3], int width, int height,
                                 const uint8_t* const planes[3]) {
    if (!planes || !lineSizes || width < 1 || height < 1)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (!planes[i] || lineSizes[i] < 1)
            return false;
    }
    uint32_t chromaWidth = static_cast<uint32_t>(width / 2);
    uint64_t bytes =
        PictureBytes(static_cast<uint32_t>(height), std::min<uint32_t>(lineSizes[0], width),
                     std::min<uint32_t>(lineSizes[1], chromaWidth),
                     std::min<uint32_t>(lineSizes[2], chromaWidth));
    if (bytes <= capacity_)
        return true;
    // A slot is followed by the next slot's header: a picture that does not
    // fit would overwrite it. Said once per size, not once per picture.
    if (width != refusedWidth_ || height != refusedHeight_) {
        refusedWidth_ = width;
        refusedHeight_ = height;
        BG_LOGW("camera picture %dx%d needs %llu bytes, a slot holds %u: not written", width,
                height, static_cast<unsigned long long>(bytes), capacity_);
    }
    return false;
}

const VirtualCameraQueueHeader* VirtualCameraQueue::writeFrame(const uint8_t* const planes[3],
                                                               const int lineSizes[3], int width,
                                                               int height) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!header_ || !writer_ || !accepts(lineSizes, width, height, planes))
        return nullptr;

    // Raise the write counter before touching the slot: a reader that sees
    // any byte of the new picture then also sees the counter that tells it
    // its copy may be torn.
    uint32_t counter = LoadRelaxed(&header_->writeCounter) + 1;
    StoreRelaxed(&header_->writeCounter, counter);
    std::atomic_thread_fence(std::memory_order_release);

    uint32_t slot = counter % kSlotCount;
    uint32_t h = static_cast<uint32_t>(height);
    uint32_t chromaWidth = static_cast<uint32_t>(width / 2);
    uint32_t yRow = std::min<uint32_t>(lineSizes[0], width);
    uint32_t uRow = std::min<uint32_t>(lineSizes[1], chromaWidth);
    uint32_t vRow = std::min<uint32_t>(lineSizes[2], chromaWidth);
    VirtualCameraSlotHeader* slotHeader = slotHeaders_[slot];
    slotHeader->width = static_cast<uint32_t>(width);
    slotHeader->height = h;
    slotHeader->yBytesPerRow = yRow;
    slotHeader->uBytesPerRow = uRow;
    slotHeader->vBytesPerRow = vRow;

    uint8_t* data = slotData_[slot];
    size_t uOffset = static_cast<size_t>(h) * yRow;
    size_t vOffset = uOffset + (static_cast<size_t>(uRow) * h) / 2;
    CopyPlane(data, planes[0], lineSizes[0], yRow, h);
    CopyPlane(data + uOffset, planes[1], lineSizes[1], uRow, h / 2);
    CopyPlane(data + vOffset, planes[2], lineSizes[2], vRow, h / 2);

    // Published only once every byte is in place.
    StoreRelease(&header_->publishedCounter, counter);
    StoreRelease(&header_->state, kStateStreaming);
    return header_;
}

void VirtualCameraQueue::setState(uint32_t state) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A reader's view is read-only: writing it would fault.
    if (header_ && writer_)
        StoreRelease(&header_->state, state);
}

void VirtualCameraQueue::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (header_ && writer_)
        StoreRelease(&header_->state, kStateStopped);
    header_ = nullptr;
    for (uint32_t k = 0; k < kSlotCount; ++k) {
        slotHeaders_[k] = nullptr;
        slotData_[k] = nullptr;
    }
    capacity_ = 0;
    memory_.close();
}

uint32_t VirtualCameraQueue::publishedCounter() const {
    return header_ ? LoadAcquire(&header_->publishedCounter) : 0;
}

uint32_t VirtualCameraQueue::state() const {
    return header_ ? LoadAcquire(&header_->state) : 0;
}

bool VirtualCameraQueue::slotOf(uint32_t published, VirtualCameraSlot* out) const {
    if (!header_ || !out)
        return false;
    const auto* base = reinterpret_cast<const uint8_t*>(header_);
    uint64_t size = memory_.size();
    uint32_t slot = published % kSlotCount;
    uint64_t headerOffset = LoadRelaxed(&header_->slotHeaderOffset[slot]);
    uint64_t dataOffset = LoadRelaxed(&header_->slotDataOffset[slot]);
    if (headerOffset % 4 != 0 || headerOffset < sizeof(VirtualCameraQueueHeader) ||
        headerOffset + sizeof(VirtualCameraSlotHeader) > size || dataOffset > size) {
        return false;
    }
    const auto* fields = reinterpret_cast<const uint32_t*>(base + headerOffset);
    VirtualCameraSlotHeader h;
    h.width = LoadRelaxed(&fields[0]);
    h.height = LoadRelaxed(&fields[1]);
    h.yBytesPerRow = LoadRelaxed(&fields[2]);
    h.uBytesPerRow = LoadRelaxed(&fields[3]);
    h.vBytesPerRow = LoadRelaxed(&fields[4]);
    uint64_t bytes = PictureBytes(h.height, h.yBytesPerRow, h.uBytesPerRow, h.vBytesPerRow);
    if (h.width == 0 || h.height == 0 || bytes > size - dataOffset)
        return false;
    out->header = h;
    out->data = base + dataOffset;
    out->bytes = static_cast<size_t>(bytes);
    return true;
}

bool VirtualCameraQueue::pictureIntact(uint32_t published) const {
    if (!header_)
        return false;
    // Pairs with the writer's fence after raising the write counter: had the
    // copy seen any byte of a newer picture in this slot, the counter read
    // below shows that picture's number.
    std::atomic_thread_fence(std::memory_order_acquire);
    uint32_t written = LoadRelaxed(&header_->writeCounter);
    // The slot is written again by picture published + 3. Unsigned
    // arithmetic keeps this right across the counter's wrap-around, and a
    // counter that went back (a new writer took over) reads as torn.
    return static_cast<uint32_t>(written - published) < kSlotCount;
}
