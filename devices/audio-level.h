#pragma once

#include <cstddef>
#include <cstdint>

// The microphone meter of the main window: 0 (silence, or quieter than
// -60 dBFS) to 10 (full scale), in steps of 6 dB.
int AudioLevelFromPeak(int peak);

// The meter level of a block of signed 16-bit samples: its largest absolute
// sample, as AudioLevelFromPeak rates it.
int AudioLevelOfBlock(const int16_t* samples, size_t count);
