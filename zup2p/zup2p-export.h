#pragma once

// The library is built with hidden visibility; these names are its interface.
#define ZUP2P_EXPORT __attribute__((visibility("default")))
