#pragma once

#include <QString>

#include "cordlink/cordlink-export.h"

namespace zu {

// Every adb call of a wait ends after this long: a hung adb (a wedged server,
// a device stuck in authorisation) must never freeze the window that waits.
constexpr int kDefaultAdbWaitLimitMs = 10000;

// The adb program every AdbProcess starts. Library-wide: each QAdbTools
// constructor sets it, so the last one created decides for all of them.
CORDLINK_EXPORT void SetAdbProgramPath(const QString& path);
// The path last set; "adb" (looked up on PATH) while none was set.
CORDLINK_EXPORT QString AdbProgramPath();

// How long one operation may wait for adb, in milliseconds; <= 0 restores
// the default. Library-wide, mainly so tests need not wait ten seconds.
CORDLINK_EXPORT void SetAdbWaitLimit(int milliseconds);
CORDLINK_EXPORT int AdbWaitLimit();

// Tells whether the program has been asked to stop: a call waiting for adb
// then ends at once (its adb killed), and later calls wait at most a second.
// Library-wide; null (the default) never stops.
CORDLINK_EXPORT void SetAdbStopCheck(bool (*stopRequested)());
CORDLINK_EXPORT bool AdbStopRequested();

}  // namespace zu
