#include "devices/audio-level.h"

#include <cmath>
#include <cstdlib>

int AudioLevelFromPeak(int peak) {
    // The meter's thresholds sit exactly on these precisions: log10 in double,
    // the product in single precision. 328 must land on 3, not 4.
    float db = -60.0f;
    if (peak > 0) {
        double x = peak / 32767.0;
        db = 20.0f * static_cast<float>(std::log10(x));
    }
    if (db < -60.0f)
        db = -60.0f;
    if (db > 0.0f)
        db = 0.0f;
    return static_cast<int>((60.0f + db) * 10.0f / 60.0f);
}

int AudioLevelOfBlock(const int16_t* samples, size_t count) {
    int peak = 0;
    for (size_t i = 0; i < count; ++i) {
        int v = std::abs(static_cast<int>(samples[i]));  // -32768 fits in int
        if (v > peak)
            peak = v;
    }
    return AudioLevelFromPeak(peak);
}
