#pragma once

#include <QString>
#include <cstdint>

namespace zu {

// One line of "adb reverse --list". A port that is not "tcp:<n>" reads as 0.
struct PortConnection {
    QString name;
    uint16_t remotePort = 0;  // device side
    uint16_t localPort = 0;   // computer side
};

}  // namespace zu
