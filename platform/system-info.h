#pragma once

#include <string>
#include <vector>

namespace platform {

// The processor architecture the kernel runs on ("x86_64", "aarch64", ...),
// empty when it cannot be read.
std::string MachineArchitecture();

// True when the machine is set to save power: the ACPI platform profile reads
// "low-power", or power-profiles-daemon reports "power-saver". False when
// neither can be read.
bool IsPowerSaverActive();

// The same check against a given profile file and daemon query command (the
// command's standard output is the active profile name); either may be empty
// to skip it. The command is given at most `timeoutMs`.
bool PowerSaverActiveFrom(const std::string& profilePath,
                          const std::vector<std::string>& queryCommand, int timeoutMs);

}  // namespace platform
