#pragma once

#include <string>

// Questions the program asks about the computer it runs on.

// Whether the system takes the newer paths (unicast announcement sweep,
// virtual microphone allowed). Every Linux system ZuCam runs on does.
bool IsWindows10OrGreater();

// Whether the machine runs a 64-bit system (x86_64 or aarch64); picks the
// driver folder.
bool Is64BitWindows();

// The first process of this user whose executable is named `name` (case
// ignored); false when there is none. The calling process is never found.
bool FindProcessByName(const std::string& name, long* pid);

// Ends the first process found by FindProcessByName. True when one was found
// and signalled.
bool TerminateProcessByName(const std::string& name);
