#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Opens `path` for appending, readable and writable by the user alone (0600;
// a file that existed with wider rights is narrowed). Null when it cannot be
// opened. The stream does not pass to child processes.
std::FILE* OpenPrivateAppend(const std::string& path);

// Points the process's standard error (descriptor 2, so FFmpeg's, Qt's and
// our own prints alike, and those of child processes) at `path`, appended to
// and private as above. The terminal standard error had before the first
// diversion stays reachable through WriteTerminal. False, with nothing
// changed, when the file cannot be opened.
bool DivertStandardError(const std::string& path);

// Writes `text` to where standard error went before any diversion; to
// standard error itself while it was never diverted.
void WriteTerminal(const std::string& text);

}  // namespace platform
