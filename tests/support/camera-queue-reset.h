#pragma once

#include "devices/virtual-camera-queue.h"
#include "platform/shared-memory.h"

namespace zutest {

// Each test process has a camera queue name of its own (see isolation.h), so
// a queue already there was left by an earlier, crashed process that had the
// same id: taking it over as writer and closing it removes it. False when a
// live writer holds it.
inline bool RemoveStaleCameraQueue() {
    if (!platform::SharedMemoryExists(VirtualCameraQueue::Name()))
        return true;
    return VirtualCameraQueue::create(VirtualCameraQueue::kSlotCapacity) != nullptr;
}

}  // namespace zutest
