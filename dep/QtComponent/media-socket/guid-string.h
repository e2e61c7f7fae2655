#pragma once

#include <string>

namespace media_socket {

// A fresh random GUID as the phone expects the stream key:
// "{XXXXXXXX-XXXX-xxxx-XXXX-XXXXXXXXXXXX}" (the third group in lower case).
// Empty when no random bytes could be had.
std::string NewGuidString();

}  // namespace media_socket
