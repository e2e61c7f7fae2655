#pragma once

#include <QString>

namespace zu {

// One line of "adb devices -l" whose state is "device" (ready for commands).
struct DeviceInfo {
    QString serial;
    // Everything after the state word: usb path, product, model, transport id.
    QString detail;
};

}  // namespace zu
