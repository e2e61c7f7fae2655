#include "devices/virtual-camera-queue.h"
#include "tests/support/camera-queue-reset.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shared-memory.h"
#include "tests/support/temp-dir.h"

namespace {

constexpr uint32_t kCapacity = VirtualCameraQueue::kSlotCapacity;
std::string ShmPath() {
    return "/dev/shm" + VirtualCameraQueue::Name();
}

// One I420 picture with padded rows; every sample tells plane, row and column.
struct Picture {
    int width;
    int height;
    int lineSizes[3];
    std::vector<uint8_t> planes[3];

    Picture(int w, int h, int pad = 0, uint8_t seed = 0) : width(w), height(h) {
        int rows[3] = {h, (h + 1) / 2, (h + 1) / 2};
        int cols[3] = {w, (w + 1) / 2, (w + 1) / 2};
        for (int p = 0; p < 3; ++p) {
            lineSizes[p] = cols[p] + pad;
            planes[p].resize(static_cast<size_t>(lineSizes[p]) * rows[p]);
            for (int r = 0; r < rows[p]; ++r) {
                for (int c = 0; c < lineSizes[p]; ++c) {
                    planes[p][r * lineSizes[p] + c] = Sample(p, r, c, seed);
                }
            }
        }
    }
    static uint8_t Sample(int plane, int row, int col, uint8_t seed) {
        return static_cast<uint8_t>(plane * 71 + row * 13 + col * 7 + seed);
    }
    const VirtualCameraQueueHeader* writeTo(VirtualCameraQueue& queue) const {
        const uint8_t* p[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
        return queue.writeFrame(p, lineSizes, width, height);
    }
};

// Each test program has a queue name of its own (see tests/support); a
// queue left by an earlier crashed run is taken over first.
class VirtualCameraQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(zutest::RemoveStaleCameraQueue());
        ASSERT_FALSE(platform::SharedMemoryExists(VirtualCameraQueue::Name()));
    }

    static std::unique_ptr<VirtualCameraQueue> OpenReader() {
        auto reader = std::make_unique<VirtualCameraQueue>(false);
        if (!reader->open(kCapacity))
            return nullptr;
        return reader;
    }

    static std::string Bin(const std::string& name) {
        return platform::GetEnv("ZUCAM_BIN_DIR") + "/" + name;
    }

    // Starts the writer helper; it says "ready" or "busy" in `readyFile`.
    static bool StartHelper(platform::ChildProcess* helper, std::vector<std::string> args) {
        platform::ChildProcess::Options options;
        options.argv = std::move(args);
        options.argv.insert(options.argv.begin(), Bin("zucam-test-camera-writer"));
        return helper->start(options);
    }

    static bool WaitForFile(const std::string& path, std::string* text, int timeoutMs) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (platform::ReadWholeFile(path, text) && !text->empty())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

const uint8_t* SlotData(const VirtualCameraQueue& queue, int slot) {
    return reinterpret_cast<const uint8_t*>(queue.header()) + queue.header()->slotDataOffset[slot];
}

const VirtualCameraSlotHeader* SlotHeader(const VirtualCameraQueue& queue, int slot) {
    return reinterpret_cast<const VirtualCameraSlotHeader*>(
        reinterpret_cast<const uint8_t*>(queue.header()) + queue.header()->slotHeaderOffset[slot]);
}

TEST(VirtualCameraQueueLayout, OffsetsOfTheShippedCapacity) {
    VirtualCameraQueueLayout layout = VirtualCameraQueue::Layout(5529600);
    ASSERT_TRUE(layout.valid);
    EXPECT_EQ(layout.slotHeaderOffset[0], 64u);
    EXPECT_EQ(layout.slotDataOffset[0], 96u);
    EXPECT_EQ(layout.slotHeaderOffset[1], 5529728u);
    EXPECT_EQ(layout.slotDataOffset[1], 5529760u);
    EXPECT_EQ(layout.slotHeaderOffset[2], 11059392u);
    EXPECT_EQ(layout.slotDataOffset[2], 11059424u);
    EXPECT_EQ(layout.mappingSize, 16589056u);
}

TEST(VirtualCameraQueueLayout, SmallAndImpossibleCapacities) {
    // N = 1: every offset is rounded up to the next multiple of 32.
    VirtualCameraQueueLayout small = VirtualCameraQueue::Layout(1);
    ASSERT_TRUE(small.valid);
    EXPECT_EQ(small.slotHeaderOffset[1], 160u);  // align32(96 + 1 + 32)
    EXPECT_EQ(small.slotDataOffset[1], 192u);
    EXPECT_EQ(small.slotHeaderOffset[2], 256u);
    EXPECT_EQ(small.slotDataOffset[2], 288u);
    EXPECT_EQ(small.mappingSize, 352u);
    EXPECT_FALSE(VirtualCameraQueue::Layout(0).valid);
    // Three slots of 2 GB cannot be described by 32-bit offsets.
    EXPECT_FALSE(VirtualCameraQueue::Layout(0x80000000u).valid);
    EXPECT_TRUE(VirtualCameraQueue::Layout(0x50000000u).valid);
}

TEST_F(VirtualCameraQueueTest, CreateWritesTheHeaderAndSizesTheObject) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue) << "cannot create the queue";
    EXPECT_EQ(platform::FileSize(ShmPath()), 16589056);
    auto reader = OpenReader();
    ASSERT_TRUE(reader);
    const VirtualCameraQueueHeader* h = reader->header();
    EXPECT_EQ(h->writeCounter, 0u);
    EXPECT_EQ(h->publishedCounter, 0u);
    EXPECT_EQ(h->reserved, 0u);
    EXPECT_EQ(h->state, 0u);
    const uint32_t headers[3] = {64, 5529728, 11059392};
    const uint32_t datas[3] = {96, 5529760, 11059424};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(h->slotHeaderOffset[k], headers[k]);
        EXPECT_EQ(h->slotDataOffset[k], datas[k]);
    }
    // Byte by byte, little-endian, as the filter reads it.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(h);
    EXPECT_EQ(bytes[20], 0x80);  // 5529728 = 0x00546080
    EXPECT_EQ(bytes[21], 0x60);
    EXPECT_EQ(bytes[22], 0x54);
    EXPECT_EQ(bytes[23], 0x00);
    for (int i = 40; i < 64; ++i)
        EXPECT_EQ(bytes[i], 0) << "reserved byte " << i;
}

TEST_F(VirtualCameraQueueTest, PicturesRotateThroughTheSlotsStartingAtOne) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    // Picture k is 16 * k pixels wide, so each slot header says who wrote it.
    for (int k = 1; k <= 4; ++k) {
        Picture picture(16 * k, 8);
        ASSERT_TRUE(picture.writeTo(*queue));
        EXPECT_EQ(queue->header()->writeCounter, uint32_t(k));
        EXPECT_EQ(queue->header()->publishedCounter, uint32_t(k));
        EXPECT_EQ(SlotHeader(*queue, k % 3)->width, uint32_t(16 * k)) << "picture " << k;
    }
    EXPECT_EQ(SlotHeader(*queue, 1)->width, 64u);  // the fourth replaced the first
    EXPECT_EQ(SlotHeader(*queue, 2)->width, 32u);
    EXPECT_EQ(SlotHeader(*queue, 0)->width, 48u);
}

TEST_F(VirtualCameraQueueTest, StateFollowsPicturesDisconnectionsAndClose) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    auto reader = OpenReader();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->state(), 0u);
    Picture picture(32, 16);
    ASSERT_TRUE(picture.writeTo(*queue));
    EXPECT_EQ(reader->state(), 2u);
    queue->setState(3);
    EXPECT_EQ(reader->state(), 3u);
    ASSERT_TRUE(picture.writeTo(*queue));
    EXPECT_EQ(reader->state(), 2u);
    queue->close();
    // The reader still maps the object its writer has left.
    EXPECT_EQ(reader->state(), 3u);
    EXPECT_FALSE(queue->isOpen());
    EXPECT_EQ(queue->writeFrame(nullptr, nullptr, 32, 16), nullptr);
    queue->setState(2);  // closed: nothing to write, nothing to crash
}

TEST_F(VirtualCameraQueueTest, PlanesArePackedFromTheRightRowsAndColumns) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    // Odd height: the U area is (U bytes per row x height) / 2 bytes, one half
    // row more than its height / 2 copied rows.
    Picture picture(10, 5, /*pad=*/6, /*seed=*/3);
    ASSERT_TRUE(picture.writeTo(*queue));
    const VirtualCameraSlotHeader* sh = SlotHeader(*queue, 1);
    EXPECT_EQ(sh->width, 10u);
    EXPECT_EQ(sh->height, 5u);
    EXPECT_EQ(sh->yBytesPerRow, 10u);
    EXPECT_EQ(sh->uBytesPerRow, 5u);
    EXPECT_EQ(sh->vBytesPerRow, 5u);
    const uint8_t* data = SlotData(*queue, 1);
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 10; ++c) {
            ASSERT_EQ(data[r * 10 + c], Picture::Sample(0, r, c, 3)) << r << "," << c;
        }
    }
    const uint8_t* u = data + 50;
    const uint8_t* v = data + 50 + (5 * 5) / 2;  // 62, not 60
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 5; ++c) {
            ASSERT_EQ(u[r * 5 + c], Picture::Sample(1, r, c, 3)) << r << "," << c;
            ASSERT_EQ(v[r * 5 + c], Picture::Sample(2, r, c, 3)) << r << "," << c;
        }
    }
}

TEST_F(VirtualCameraQueueTest, RowsNarrowerThanThePictureKeepTheirLineSize) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    std::vector<uint8_t> y(8 * 4, 1), u(3 * 2, 2), v(5 * 2, 3);
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int lineSizes[3] = {8, 3, 5};
    ASSERT_TRUE(queue->writeFrame(planes, lineSizes, 12, 4));
    const VirtualCameraSlotHeader* sh = SlotHeader(*queue, 1);
    EXPECT_EQ(sh->yBytesPerRow, 8u);
    EXPECT_EQ(sh->uBytesPerRow, 3u);
    EXPECT_EQ(sh->vBytesPerRow, 5u);
}

TEST_F(VirtualCameraQueueTest, RefusesPicturesThatDoNotFitOrMakeNoSense) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    std::vector<uint8_t> slot2Before(SlotData(*queue, 2) - 32, SlotData(*queue, 2) + 64);

    Picture biggest(2560, 1440);  // exactly N bytes
    ASSERT_TRUE(biggest.writeTo(*queue));
    Picture wider(2562, 1440);
    EXPECT_EQ(wider.writeTo(*queue), nullptr);
    Picture taller(2560, 1442);
    EXPECT_EQ(taller.writeTo(*queue), nullptr);
    EXPECT_EQ(queue->header()->writeCounter, 1u);
    EXPECT_EQ(queue->header()->publishedCounter, 1u);
    // Nothing spilled into the next slot's header.
    std::vector<uint8_t> slot2After(SlotData(*queue, 2) - 32, SlotData(*queue, 2) + 64);
    EXPECT_EQ(slot2Before, slot2After);

    Picture small(16, 16);
    const uint8_t* planes[3] = {small.planes[0].data(), small.planes[1].data(),
                                small.planes[2].data()};
    const uint8_t* missingV[3] = {planes[0], planes[1], nullptr};
    const int noLine[3] = {16, 0, 8};
    const int negativeLine[3] = {-16, 8, 8};
    EXPECT_EQ(queue->writeFrame(missingV, small.lineSizes, 16, 16), nullptr);
    EXPECT_EQ(queue->writeFrame(nullptr, small.lineSizes, 16, 16), nullptr);
    EXPECT_EQ(queue->writeFrame(planes, nullptr, 16, 16), nullptr);
    EXPECT_EQ(queue->writeFrame(planes, noLine, 16, 16), nullptr);
    EXPECT_EQ(queue->writeFrame(planes, negativeLine, 16, 16), nullptr);
    EXPECT_EQ(queue->writeFrame(planes, small.lineSizes, 0, 16), nullptr);
    EXPECT_EQ(queue->writeFrame(planes, small.lineSizes, 16, -2), nullptr);
    EXPECT_EQ(queue->header()->writeCounter, 1u);
    EXPECT_EQ(queue->header()->state, 2u);
    ASSERT_TRUE(small.writeTo(*queue));
    EXPECT_EQ(queue->header()->publishedCounter, 2u);
}

TEST_F(VirtualCameraQueueTest, SecondWriterInTheSameProcessIsRefused) {
    // flock belongs to the open file description: a second shm_open in the
    // same process conflicts just like another process would.
    auto first = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(first);
    Picture picture(64, 32, 0, 9);
    ASSERT_TRUE(picture.writeTo(*first));
    std::vector<uint8_t> before(reinterpret_cast<const uint8_t*>(first->header()),
                                SlotData(*first, 1) + 64 * 32);

    auto second = VirtualCameraQueue::create(kCapacity);
    EXPECT_FALSE(second);
    VirtualCameraQueue third(true);
    EXPECT_FALSE(third.open(kCapacity));
    EXPECT_EQ(third.lastOpenStatus(), platform::SharedMemory::Status::Busy);
    third.close();

    std::vector<uint8_t> after(reinterpret_cast<const uint8_t*>(first->header()),
                               SlotData(*first, 1) + 64 * 32);
    EXPECT_EQ(before, after);
    EXPECT_TRUE(platform::SharedMemoryExists(VirtualCameraQueue::Name()));
    ASSERT_TRUE(picture.writeTo(*first));
}

TEST_F(VirtualCameraQueueTest, SecondWriterInAnotherProcessIsRefused) {
    auto first = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(first);
    Picture picture(64, 32, 0, 1);
    ASSERT_TRUE(picture.writeTo(*first));
    std::vector<uint8_t> before(reinterpret_cast<const uint8_t*>(first->header()),
                                SlotData(*first, 1) + 64 * 32);

    zutest::TempDir dir;
    platform::ChildProcess helper;
    ASSERT_TRUE(StartHelper(&helper, {dir.file("ready")}));
    EXPECT_EQ(helper.wait(10000), 3);
    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(dir.file("ready"), &text));
    EXPECT_EQ(text, "busy\n");

    std::vector<uint8_t> after(reinterpret_cast<const uint8_t*>(first->header()),
                               SlotData(*first, 1) + 64 * 32);
    EXPECT_EQ(before, after);
    EXPECT_EQ(first->header()->state, 2u);
}

TEST_F(VirtualCameraQueueTest, QueueOfAKilledWriterIsTakenOver) {
    zutest::TempDir dir;
    platform::ChildProcess helper;
    // The dead writer's object is smaller than ours: taking it over grows it.
    ASSERT_TRUE(StartHelper(&helper, {dir.file("ready"), "100000"}));
    std::string text;
    ASSERT_TRUE(WaitForFile(dir.file("ready"), &text, 10000));
    ASSERT_EQ(text, "ready\n");
    ASSERT_TRUE(helper.signal(true));
    EXPECT_EQ(helper.wait(5000), 128 + 9);
    ASSERT_TRUE(platform::SharedMemoryExists(VirtualCameraQueue::Name()));

    // A reader that mapped the old object before keeps following it.
    auto oldReader = std::make_unique<VirtualCameraQueue>(false);
    ASSERT_TRUE(oldReader->open(100000));
    EXPECT_EQ(oldReader->publishedCounter(), 1u);

    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue) << "a dead writer's queue must not block a new one";
    EXPECT_EQ(platform::FileSize(ShmPath()), 16589056);
    EXPECT_EQ(queue->header()->writeCounter, 0u);
    EXPECT_EQ(queue->header()->publishedCounter, 0u);
    EXPECT_EQ(queue->header()->state, 0u);
    EXPECT_EQ(queue->header()->slotHeaderOffset[1], 5529728u);
    EXPECT_EQ(oldReader->publishedCounter(), 0u);
    Picture picture(32, 32);
    ASSERT_TRUE(picture.writeTo(*queue));
    EXPECT_EQ(oldReader->publishedCounter(), 1u);
    EXPECT_TRUE(oldReader->stillPublished());
}

// Whoever may write the queue may shrink it too: the reader's next look at a
// page past the new end must read zeros and a writer gone, not SIGBUS.
TEST_F(VirtualCameraQueueTest, AReaderOfAQueueCutShortSeesTheWriterGone) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    const auto fullSize = std::filesystem::file_size(ShmPath());
    auto reader = OpenReader();
    ASSERT_TRUE(reader);
    Picture picture(64, 48);
    ASSERT_TRUE(picture.writeTo(*queue));
    VirtualCameraSlot slot;
    ASSERT_TRUE(reader->slotOf(1, &slot));
    EXPECT_TRUE(reader->stillPublished());

    // The header stays, the slots go: the slot found before now reads zeros.
    std::filesystem::resize_file(ShmPath(), 4096);
    EXPECT_EQ(slot.data[slot.bytes - 1], 0);
    EXPECT_FALSE(reader->stillPublished());
    EXPECT_EQ(reader->publishedCounter(), 0u) << "the whole mapping reads as empty";

    // Nothing left at all; a second reader of the cut queue reads on too.
    std::filesystem::resize_file(ShmPath(), fullSize);
    auto second = OpenReader();
    ASSERT_TRUE(second);
    std::filesystem::resize_file(ShmPath(), 0);
    EXPECT_EQ(second->publishedCounter(), 0u);
    EXPECT_EQ(second->state(), 0u);
    EXPECT_FALSE(second->slotOf(1, &slot));
    EXPECT_FALSE(second->stillPublished());
    VirtualCameraQueue late(false);
    EXPECT_FALSE(late.open(kCapacity));
    EXPECT_EQ(late.lastOpenStatus(), platform::SharedMemory::Status::TooSmall);
    // The writer's own mapping is not guarded: it is made whole before the
    // writer marks the queue stopped on closing.
    std::filesystem::resize_file(ShmPath(), fullSize);
}

TEST_F(VirtualCameraQueueTest, ReaderMapsReadOnlyAndNeverWrites) {
    VirtualCameraQueue missing(false);
    EXPECT_FALSE(missing.open(kCapacity));
    EXPECT_EQ(missing.lastOpenStatus(), platform::SharedMemory::Status::NotFound);

    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    auto reader = OpenReader();
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->isWriter());
    // A reader asking for more than the writer made fails instead of mapping
    // bytes that do not exist.
    VirtualCameraQueue greedy(false);
    EXPECT_FALSE(greedy.open(kCapacity + 4096));
    EXPECT_EQ(greedy.lastOpenStatus(), platform::SharedMemory::Status::TooSmall);

    Picture picture(32, 16);
    ASSERT_TRUE(picture.writeTo(*queue));
    EXPECT_EQ(reader->publishedCounter(), 1u);
    // Writing through the read-only view would fault: it is refused.
    EXPECT_EQ(picture.writeTo(*reader), nullptr);
    reader->setState(3);
    EXPECT_EQ(queue->header()->state, 2u);
    VirtualCameraSlot slot;
    ASSERT_TRUE(reader->slotOf(1, &slot));
    EXPECT_EQ(slot.header.width, 32u);
    EXPECT_EQ(slot.bytes, 32u * 16 + 16u * 16 / 2 + 8u * 16);
    EXPECT_EQ(slot.data[0], Picture::Sample(0, 0, 0, 0));
    EXPECT_TRUE(reader->pictureIntact(1));

    // Closing a reader neither stops nor removes the writer's queue.
    reader->close();
    EXPECT_EQ(queue->header()->state, 2u);
    EXPECT_TRUE(platform::SharedMemoryExists(VirtualCameraQueue::Name()));
}

TEST_F(VirtualCameraQueueTest, CloseAndDestructionRemoveTheQueue) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    auto reader = OpenReader();
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->stillPublished());
    queue->close();
    EXPECT_FALSE(platform::SharedMemoryExists(VirtualCameraQueue::Name()));
    EXPECT_FALSE(reader->stillPublished());
    queue->close();  // twice is harmless

    // Reopened, then dropped without close().
    ASSERT_TRUE(queue->open(kCapacity));
    EXPECT_TRUE(platform::SharedMemoryExists(VirtualCameraQueue::Name()));
    EXPECT_FALSE(reader->stillPublished());  // a new queue, not the old one
    queue.reset();
    EXPECT_FALSE(platform::SharedMemoryExists(VirtualCameraQueue::Name()));
}

TEST_F(VirtualCameraQueueTest, ReaderNeverKeepsACopyTheWriterLapped) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    auto reader = OpenReader();
    ASSERT_TRUE(reader);
    // Every byte of picture k is k mod 256, so a mixed copy shows at once.
    constexpr int kWidth = 256;
    constexpr int kHeight = 128;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::vector<uint8_t> y(kWidth * kHeight), c(kWidth * kHeight / 4);
        const int lineSizes[3] = {kWidth, kWidth / 2, kWidth / 2};
        for (uint32_t k = 1; !stop; ++k) {
            std::memset(y.data(), int(k & 0xFF), y.size());
            std::memset(c.data(), int(k & 0xFF), c.size());
            const uint8_t* planes[3] = {y.data(), c.data(), c.data()};
            queue->writeFrame(planes, lineSizes, kWidth, kHeight);
        }
    });
    std::vector<uint8_t> copy;
    int intact = 0, torn = 0, mixed = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        uint32_t published = reader->publishedCounter();
        VirtualCameraSlot slot;
        if (published == 0 || !reader->slotOf(published, &slot))
            continue;
        copy.assign(slot.data, slot.data + slot.bytes);
        if (!reader->pictureIntact(published)) {
            ++torn;
            continue;
        }
        ++intact;
        for (uint8_t b : copy) {
            if (b != (published & 0xFF)) {
                ++mixed;
                break;
            }
        }
    }
    stop = true;
    writer.join();
    EXPECT_EQ(mixed, 0) << intact << " whole copies, " << torn << " torn";
    EXPECT_GT(intact, 0);
}

}  // namespace

namespace {

TEST(VirtualCameraQueueNameTest, OnlyAPlainSharedMemoryNameReplacesTheDefault) {
    const std::string saved = platform::GetEnv("ZUCAM_CAMERA_QUEUE");
    platform::SetEnv("ZUCAM_CAMERA_QUEUE", "");
    // One queue per user: another user's queue of the same name never
    // stands in the way.
    const std::string own = "/ZuVirtualCameraQueue-" + std::to_string(platform::UserId());
    EXPECT_EQ(VirtualCameraQueue::Name(), own);
    platform::SetEnv("ZUCAM_CAMERA_QUEUE", "/Other");
    EXPECT_EQ(VirtualCameraQueue::Name(), "/Other");
    for (const char* bad : {"Other", "/", "/a/b", "/../x"}) {
        platform::SetEnv("ZUCAM_CAMERA_QUEUE", bad);
        EXPECT_EQ(VirtualCameraQueue::Name(), own) << bad;
    }
    platform::SetEnv("ZUCAM_CAMERA_QUEUE", saved);
}

}  // namespace
