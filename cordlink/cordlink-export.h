#pragma once

// Cordlink is built with hidden visibility; these names are its interface.
#define CORDLINK_EXPORT __attribute__((visibility("default")))
