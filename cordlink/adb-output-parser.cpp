#include "cordlink/adb-output-parser.h"

#include <QRegularExpression>
#include <QStringList>

namespace zu {
namespace {

const QString kDeviceWord = QStringLiteral("device");

// adb ends lines with "\n"; output that went through a Windows-style pipe or a
// terminal may carry "\r\n".
QStringList SplitLines(const QString& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n"));
    return text.split(lineBreak, Qt::SkipEmptyParts);
}

bool IsError(const QString& line) {
    return line.startsWith(QLatin1String("error:"));
}

bool IsWordEdge(const QString& line, int pos) {
    return pos < 0 || pos >= line.size() || line.at(pos).isSpace();
}

// The first "device" standing as a word of its own. A bare substring search
// would also hit "device:<name>" of an offline phone's long listing, or the
// "developer.android.com/tools/device.html" of a "no permissions" state, and
// turn a phone that cannot be used into an entry with a garbage serial.
int FindStateWord(const QString& line) {
    for (int p = line.indexOf(kDeviceWord); p >= 0; p = line.indexOf(kDeviceWord, p + 1)) {
        if (IsWordEdge(line, p - 1) && IsWordEdge(line, p + kDeviceWord.size()))
            return p;
    }
    return -1;
}

// "tcp:<port>" gives the port; anything else (localabstract:, a number out of
// range, garbage) gives 0.
uint16_t TcpPort(const QString& part) {
    const QStringList pieces = part.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (pieces.size() != 2 || pieces.at(0) != QLatin1String("tcp"))
        return 0;
    bool ok = false;
    const uint value = pieces.at(1).toUInt(&ok, 10);
    return ok && value <= 0xFFFF ? static_cast<uint16_t>(value) : 0;
}

}  // namespace

std::list<DeviceInfo> ParseDeviceList(const QString& text) {
    std::list<DeviceInfo> devices;
    for (const QString& raw : SplitLines(text)) {
        // Trimmed first, so a line starting with blanks cannot yield an empty serial.
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("List of devices attached")) || IsError(line))
            continue;
        const int p = FindStateWord(line);
        if (p <= 0)
            continue;
        devices.push_back({line.left(p).trimmed(), line.mid(p + kDeviceWord.size()).trimmed()});
    }
    return devices;
}

std::list<PortConnection> ParsePortConnections(const QString& text) {
    std::list<PortConnection> mappings;
    if (IsError(text))
        return mappings;
    for (const QString& raw : SplitLines(text)) {
        const QString line = raw.trimmed();
        if (IsError(line))
            continue;
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() != 3)
            continue;
        mappings.push_back({parts.at(0), TcpPort(parts.at(1)), TcpPort(parts.at(2))});
    }
    return mappings;
}

}  // namespace zu
