#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace platform {

// Opens `path` for appending, readable and writable by the user alone (0600;
// a file that existed with wider rights is narrowed). Null when it cannot be
// opened. The stream does not pass to child processes.
std::FILE* OpenPrivateAppend(const std::string& path);

// Points the process's standard error (descriptor 2, so FFmpeg's, Qt's and
// our own prints alike, and those of child processes) at a pipe, so that
// every byte printed there passes through the caller, which counts it
// towards the log's size. A thread of its own calls `onReadable` whenever
// bytes wait; ReadDivertedStandardError takes them. The terminal standard
// error had before stays reachable through WriteTerminal. False, with
// nothing changed, when the pipe or the thread cannot be made, or standard
// error is diverted already.
bool DivertStandardError(std::function<void()> onReadable);

// Takes up to `size` bytes that wait in the diverted standard error, without
// waiting; 0 when none wait (or nothing is diverted).
size_t ReadDivertedStandardError(char* buffer, size_t size);

// Ends the diversion: standard error goes straight to `path` (appended to,
// private as above) from now on, and the thread ends; when `path` cannot be
// opened, back to the terminal. Bytes still in the pipe wait there for
// ReadDivertedStandardError until the last reader is gone with
// CloseDivertedStandardError.
void EndStandardErrorDiversion(const std::string& path);
void CloseDivertedStandardError();

// Sends standard output (descriptor 1, so a child's and a library's prints
// alike) where standard error goes now: after DivertStandardError, into the
// log. A program with nothing to say on its standard output uses it. False,
// with nothing changed, when the descriptor cannot be duplicated.
bool JoinStandardOutputToStandardError();

// Writes `text` to where standard error went before any diversion; to
// standard error itself while it was never diverted.
void WriteTerminal(const std::string& text);

}  // namespace platform
