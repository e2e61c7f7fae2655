#pragma once

#include <string>

namespace platform {

// The user's home directory ($HOME, else the password database).
std::string HomeDir();
// $XDG_CONFIG_HOME, or ~/.config when unset or empty.
std::string ConfigHomeDir();
// $XDG_STATE_HOME, or ~/.local/state when unset or empty.
std::string StateHomeDir();
// $XDG_RUNTIME_DIR, or /tmp/zucam-<uid> (created 0700) when unset.
std::string RuntimeDir();
// Absolute path of the running executable, empty when it cannot be read.
std::string ExecutablePath();
// Directory of the running executable, without a trailing slash.
std::string ExecutableDir();
// The local host name, empty on failure.
std::string HostName();
// Name of the effective user (password database, else $USER).
std::string UserName();
// Id of the effective user.
unsigned long UserId();
// Value of an environment variable, empty when unset.
std::string GetEnv(const char* name);
// Sets (or, with an empty value, removes) an environment variable of this
// process; children started afterwards inherit it.
void SetEnv(const char* name, const std::string& value);
// Creates a directory and its parents (mode 0755 unless given); true when it exists afterwards.
bool MakeDirs(const std::string& path, unsigned mode = 0755);
// Everything up to the last '/', or "." when there is none.
std::string DirName(const std::string& path);
// Process id of the calling process.
long CurrentProcessId();
// Numeric id of the user the calling process runs as.
long CurrentUserId();

}  // namespace platform
