#include "tools/zucam-camera/queue-reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/shared-memory.h"
#include "tests/support/camera-queue-reset.h"

namespace {

constexpr uint32_t kCapacity = VirtualCameraQueue::kSlotCapacity;

class QueueReaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(zutest::RemoveStaleCameraQueue()); }

    // Writes a uniform w x h picture of value `value`.
    static bool Write(VirtualCameraQueue& queue, int w, int h, uint8_t value) {
        std::vector<uint8_t> y(size_t(w) * h, value), c(size_t(w / 2) * (h / 2) + 1, value);
        const uint8_t* planes[3] = {y.data(), c.data(), c.data()};
        const int lineSizes[3] = {w, w / 2 > 0 ? w / 2 : 1, w / 2 > 0 ? w / 2 : 1};
        return queue.writeFrame(planes, lineSizes, w, h) != nullptr;
    }

    // The writer's own mapping, to play a writer that breaks the rules.
    static uint8_t* Raw(VirtualCameraQueue& queue) {
        return reinterpret_cast<uint8_t*>(const_cast<VirtualCameraQueueHeader*>(queue.header()));
    }
};

TEST_F(QueueReaderTest, NotRunningUntilZuCamCreatesTheQueue) {
    QueueReader reader;
    EXPECT_EQ(reader.attach(), QueueReader::Attach::NotRunning);
    EXPECT_FALSE(reader.attached());
    CameraPicture picture;
    EXPECT_EQ(reader.poll(&picture), QueueReader::Poll::None);
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    EXPECT_EQ(reader.attach(), QueueReader::Attach::Ok);
    EXPECT_TRUE(reader.attached());
}

TEST_F(QueueReaderTest, OnlyPicturesPublishedAfterAttachingAreNew) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    ASSERT_TRUE(Write(*queue, 16, 8, 1));
    QueueReader reader;
    ASSERT_EQ(reader.attach(), QueueReader::Attach::Ok);
    CameraPicture picture;
    EXPECT_EQ(reader.poll(&picture), QueueReader::Poll::None);

    ASSERT_TRUE(Write(*queue, 16, 8, 2));
    ASSERT_EQ(reader.poll(&picture), QueueReader::Poll::Picture);
    EXPECT_EQ(picture.counter, 2u);
    EXPECT_EQ(picture.header.width, 16u);
    ASSERT_EQ(picture.bytes.size(), 16u * 8 * 3 / 2);
    EXPECT_EQ(picture.bytes.front(), 2);
    EXPECT_EQ(picture.bytes.back(), 2);
    EXPECT_EQ(reader.poll(&picture), QueueReader::Poll::None);

    // Three pictures between two polls: the newest is taken, two are skipped.
    for (uint8_t v = 3; v <= 5; ++v)
        ASSERT_TRUE(Write(*queue, 16, 8, v));
    ASSERT_EQ(reader.poll(&picture), QueueReader::Poll::Picture);
    EXPECT_EQ(picture.counter, 5u);
    EXPECT_EQ(picture.bytes[0], 5);
    EXPECT_EQ(reader.skipped(), 2u);
}

TEST_F(QueueReaderTest, ImpossibleSlotHeadersAreDroppedNotFollowed) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    QueueReader reader;
    ASSERT_EQ(reader.attach(), QueueReader::Attach::Ok);
    uint8_t* raw = Raw(*queue);
    auto* header = reinterpret_cast<VirtualCameraQueueHeader*>(raw);
    CameraPicture picture;

    struct Broken {
        const char* what;
        void (*apply)(VirtualCameraQueueHeader*, VirtualCameraSlotHeader*);
    };
    const Broken cases[] = {
        {"rows past the mapping",
         [](VirtualCameraQueueHeader*, VirtualCameraSlotHeader* s) {
             s->height = 100000;
             s->yBytesPerRow = 4000;
         }},
        {"a width no slot can hold",
         [](VirtualCameraQueueHeader*, VirtualCameraSlotHeader* s) {
             s->width = 0x7FFFFFFF;
             s->height = 2;
             s->yBytesPerRow = 1;
         }},
        {"zero width", [](VirtualCameraQueueHeader*, VirtualCameraSlotHeader* s) { s->width = 0; }},
        {"slot header outside",
         [](VirtualCameraQueueHeader* h, VirtualCameraSlotHeader*) {
             h->slotHeaderOffset[1] = 0xFFFFFFF0;
         }},
        {"slot data outside", [](VirtualCameraQueueHeader* h,
                                 VirtualCameraSlotHeader*) { h->slotDataOffset[1] = 16589050; }},
        {"slot header inside the queue header",
         [](VirtualCameraQueueHeader* h, VirtualCameraSlotHeader*) { h->slotHeaderOffset[1] = 8; }},
    };
    uint32_t counter = 0;
    for (const Broken& c : cases) {
        // Every third picture lands in slot 1, the one we break.
        while (counter % 3 != 0) {
            ASSERT_TRUE(Write(*queue, 16, 8, 1));
            ++counter;
            ASSERT_EQ(reader.poll(&picture), QueueReader::Poll::Picture);
        }
        ASSERT_TRUE(Write(*queue, 16, 8, 1));
        ++counter;
        header->slotHeaderOffset[1] = 5529728;
        header->slotDataOffset[1] = 5529760;
        auto* slot = reinterpret_cast<VirtualCameraSlotHeader*>(raw + 5529728);
        c.apply(header, slot);
        EXPECT_EQ(reader.poll(&picture), QueueReader::Poll::Invalid) << c.what;
        header->slotHeaderOffset[1] = 5529728;
        header->slotDataOffset[1] = 5529760;
    }
}

TEST_F(QueueReaderTest, CopyIsTornOnceTheWriterIsThreePicturesAhead) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    QueueReader reader;
    ASSERT_EQ(reader.attach(), QueueReader::Attach::Ok);
    auto* header = reinterpret_cast<VirtualCameraQueueHeader*>(Raw(*queue));
    CameraPicture picture;
    // Picture 4 reuses the slot of picture 1: a writer that far ahead by the
    // time the copy is checked may have changed any of its bytes.
    ASSERT_TRUE(Write(*queue, 16, 8, 1));
    header->writeCounter = 4;
    EXPECT_EQ(reader.poll(&picture), QueueReader::Poll::Torn);
    // Two pictures ahead the slot is still untouched.
    header->writeCounter = 1;
    ASSERT_TRUE(Write(*queue, 16, 8, 2));
    header->writeCounter = 4;
    ASSERT_EQ(reader.poll(&picture), QueueReader::Poll::Picture);
    EXPECT_EQ(picture.bytes[0], 2);
}

TEST_F(QueueReaderTest, NewWriterAfterTakeOverStartsAtZero) {
    auto queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    QueueReader reader;
    ASSERT_EQ(reader.attach(), QueueReader::Attach::Ok);
    for (uint8_t v = 1; v <= 5; ++v)
        ASSERT_TRUE(Write(*queue, 16, 8, v));
    CameraPicture picture;
    ASSERT_EQ(reader.poll(&picture), QueueReader::Poll::Picture);
    EXPECT_TRUE(reader.stillPublished());
    queue->close();
    EXPECT_FALSE(reader.stillPublished());
    reader.detach();
    queue = VirtualCameraQueue::create(kCapacity);
    ASSERT_TRUE(queue);
    ASSERT_EQ(reader.attach(), QueueReader::Attach::Ok);
    ASSERT_TRUE(Write(*queue, 16, 8, 9));
    ASSERT_EQ(reader.poll(&picture), QueueReader::Poll::Picture);
    EXPECT_EQ(picture.counter, 1u);
    EXPECT_EQ(picture.bytes[0], 9);
}

}  // namespace
