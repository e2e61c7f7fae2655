#pragma once

namespace zutest {

// Programs that start announcing servers re-run themselves inside a private
// network namespace whose only interface is loopback, so nothing they start
// can reach the real network. Returns at once when already inside (or after
// re-running, never). Prints why and exits with 1 when the namespace cannot
// be entered (unshare -n needs root or user namespaces): such a program must
// not run outside one.
void EnterPrivateNetwork(int argc, char** argv);

}  // namespace zutest
