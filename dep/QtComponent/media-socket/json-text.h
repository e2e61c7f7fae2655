#pragma once

#include <cstddef>
#include <string>

#include <json/value.h>

namespace media_socket {

// Compact JSON exactly as the phones have always received it: no spaces,
// object members in key order, non-ASCII escaped as \uXXXX, doubles with 17
// significant digits, and a closing line feed (counted in the frame length).
std::string WriteCompactJson(const Json::Value& value);

// Parses JSON text that may carry comments; trailing text after the value is
// ignored. False (and no exception) when the text is not JSON. `used`, when
// given, receives the length of the text up to the end of the value.
bool ParseJson(const char* begin, const char* end, Json::Value* root, size_t* used = nullptr);

}  // namespace media_socket
