#include "tests/support/isolation.h"

#include <string>

#include "platform/paths.h"

namespace zutest {

void IsolateMachineWideNames() {
    if (platform::GetEnv("ZUCAM_CAMERA_QUEUE").empty()) {
        platform::SetEnv("ZUCAM_CAMERA_QUEUE", "/ZuVirtualCameraQueue-test-" +
                                                   std::to_string(platform::CurrentProcessId()));
    }
}

}  // namespace zutest
