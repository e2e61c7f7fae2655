// Saves the settings over and over until it is killed, each round with new
// values derived from a counter that carries on from what is on disk. The
// kill test checks the file after killing it at random moments.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app-settings.h"
#include "hublet/interface.h"
#include "tests/app/settings-loop-values.h"

int main() {
    bg::InitBridge(0, nullptr);
    AppSettings settings;
    settings.LoadSettings();
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    long n = zutest::CounterOf(settings.values.saveDir);
    if (n < 0)
        n = 0;
    for (;;) {
        ++n;
        settings.values.saveDir = zutest::SaveDirFor(n);
        settings.values.deviceName = zutest::DeviceNameFor(n);
        settings.values.firstOpen = n % 2 == 0;
        settings.SaveSettings();
    }
}
