#pragma once

#include <string>

namespace zutest {

// The PulseAudio server the tests talk to. Before the first test runs (and
// before any TestHost moves XDG_CONFIG_HOME, which is where the client
// library looks for the server of a root session), the server is located
// with `pactl info` and pinned in PULSE_SERVER, so pactl, parecord and the
// output stream of every later test reach the same one.
bool PulseServerReachable();
// What to tell the reader when it is not.
std::string PulseServerMissingText();

// Runs pactl with a time-out; its standard output, or empty on failure.
std::string Pactl(const std::string& args, int timeoutMs = 10000);

}  // namespace zutest
