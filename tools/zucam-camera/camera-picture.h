#pragma once

#include <cstdint>
#include <vector>

#include "devices/virtual-camera-queue.h"

// One picture copied out of the camera queue, still in its slot layout.
struct CameraPicture {
    VirtualCameraSlotHeader header{};
    uint32_t counter = 0;        // the published counter it was taken at
    std::vector<uint8_t> bytes;  // the slot's bytes, PictureBytes() of them
};
