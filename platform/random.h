#pragma once

#include <cstddef>

namespace platform {

// Fills `out` with `len` bytes from the kernel's random source. False when it
// cannot deliver them all.
bool RandomBytes(void* out, size_t len);

}  // namespace platform
