#pragma once

#include <string>

#include "bench/zucamd/zucamd-process.h"
#include "platform/child-process.h"

namespace zubench {

// The program serving the benchmark's phone: zucamd, or zucam with its
// window on the X server in DISPLAY and the renderer its settings name.
// Both without the camera output child, with settings, log and temporary
// files in the workspace. Stopped (SIGTERM, then SIGKILL) by Stop or the
// destructor.
class ServedProgram {
public:
    enum class Kind { kZucamd, kWindowPainter, kWindowOpenGL };

    explicit ServedProgram(const Workspace& workspace) : workspace_(workspace) {}
    ~ServedProgram() { Stop(); }

    // Starts it and waits until it shows its window (zucam) or serves
    // (zucamd); its camera queue may still be on its way.
    bool Start(Kind kind, int port, std::string* error);
    int Stop();
    long pid() const { return child_.pid(); }
    // The window as xdotool names it; empty for zucamd.
    const std::string& window() const { return window_; }

private:
    const Workspace& workspace_;
    platform::ChildProcess child_;
    std::string window_;
    bool started_ = false;
};

}  // namespace zubench
