#pragma once

#include <QString>
#include <set>

// The "--uninstall" run, inside a plain Qt application object: removes the
// virtual microphone driver, unregisters the camera filter and warns when
// other programs still hold the filter files.
void Uninstall();

// The two camera filter files below the application directory.
std::set<QString> CameraFilterFiles(const QString& appDir);
// Names of the programs holding either filter file, sorted, without repeats.
std::set<QString> FilterFileHolders(const QString& appDir);
// The warning: the fixed text, then "\n<n>. <name>" per holder.
QString UninstallWarningText(const std::set<QString>& holders);
