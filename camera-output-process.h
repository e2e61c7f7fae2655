#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class ChildProcess;
}

// The camera other programs see on Linux: `zucam-camera --sink auto` run as
// a child of ZuCam or zucamd, the way the camera filter is registered on
// Windows. Its lines go to the log; it is started again once when it dies,
// and ended when the owner stops it. UI-free; Start and Stop on one thread.
class CameraOutputProcess {
public:
    struct Options {
        std::string program;  // empty: zucam-camera beside the running executable
        std::vector<std::string> args{"--sink", "auto"};
        // "zh" or "en": the language of the camera's "waiting for the phone"
        // picture (--lang); empty leaves it to the child's environment.
        std::string language;
        int restarts = 1;
        // How often the child's lines and its life are looked at.
        int watchIntervalMs = 100;
        // Told on the watcher's thread: working once a running child says it
        // offers the camera, not working with the exit code when it ends for
        // good.
        std::function<void(bool working, int code)> onState;
    };

    CameraOutputProcess();
    explicit CameraOutputProcess(Options options);
    ~CameraOutputProcess();
    CameraOutputProcess(const CameraOutputProcess&) = delete;
    CameraOutputProcess& operator=(const CameraOutputProcess&) = delete;

    // False (with a log line) when the program is not there or cannot be
    // started: ZuCam runs on without the camera output.
    bool Start();
    // Ends the child (SIGTERM, then SIGKILL after a grace period) and waits
    // for it. Safe to call more than once.
    void Stop();
    // What a person reads when the camera for other programs cannot work,
    // and what to do about it; `code` is how zucam-camera ended (-1: it
    // could not be started).
    static std::string NoOutputAdvice(int code);
    // zucam-camera's code for "neither v4l2loopback nor PipeWire".
    static constexpr int kNoCameraOutput = 8;

    // The running child's process id, -1 when none runs.
    long pid() const { return pid_; }

private:
    bool Spawn();
    void Watch();
    // Reads what the child wrote since the last call and logs whole lines.
    void ForwardLines(bool flushPartial);
    // Called from the watcher when the child has ended; true to watch on.
    bool OnEnded(int code);

    Options options_;
    std::string program_;
    std::string linesPath_;
    long long linesRead_ = 0;
    std::string partial_;
    std::unique_ptr<platform::ChildProcess> child_;
    std::atomic<long> pid_{-1};
    std::atomic<bool> stopping_{false};
    int restartsLeft_ = 0;
    bool toldWorking_ = false;
    bool offered_ = false;  // the child said it offers the camera
    std::thread watcher_;
};
