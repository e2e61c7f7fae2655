// zucam-test-camera-writer READY_FILE [CAPACITY] [SECONDS]
//
// Test helper: opens the camera queue as its writer with slots of CAPACITY
// bytes, writes one 64 x 48 picture, then writes "ready" into READY_FILE and
// stays alive for SECONDS (default 30) so a test can kill it. When the queue
// cannot be opened it writes "busy" and exits with 3.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "devices/virtual-camera-queue.h"
#include "platform/files.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    std::string readyFile = argv[1];
    uint32_t capacity = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10))
                                 : VirtualCameraQueue::kSlotCapacity;
    int seconds = argc > 3 ? std::atoi(argv[3]) : 30;

    auto queue = VirtualCameraQueue::create(capacity);
    if (!queue) {
        platform::WriteFileAtomic(readyFile, "busy\n");
        return 3;
    }
    std::vector<uint8_t> y(64 * 48, 0x5A), u(32 * 24, 0x6B), v(32 * 24, 0x7C);
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int lineSizes[3] = {64, 32, 32};
    if (!queue->writeFrame(planes, lineSizes, 64, 48))
        return 4;
    platform::WriteFileAtomic(readyFile, "ready\n");
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}
