#pragma once

#include <QString>
#include <list>

#include "cordlink/cordlink-export.h"
#include "cordlink/device-info.h"
#include "cordlink/port-connection.h"

namespace zu {

// The devices of "adb devices -l" output that are ready for commands: lines
// whose state is the word "device". Header, "error:" and other-state lines
// (unauthorized, offline, no permissions) give no entry.
CORDLINK_EXPORT std::list<DeviceInfo> ParseDeviceList(const QString& text);

// The mappings of "adb reverse --list" output: lines of exactly three
// space-separated parts, name then device port then computer port.
CORDLINK_EXPORT std::list<PortConnection> ParsePortConnections(const QString& text);

}  // namespace zu
