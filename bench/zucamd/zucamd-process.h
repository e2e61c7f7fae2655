#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/child-process.h"

// The real zucamd driven from outside, as the benchmarks of the whole program
// need it: the server process, a phone simulator session against it, and a
// watcher on the camera queue it publishes into.
namespace zubench {

// Waits (at most timeoutMs) until the file holds `text`.
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs);

using Clock = std::chrono::steady_clock;

// A fresh directory under the temporary folder, removed with its contents.
class Workspace {
public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// zucamd serving Wi-Fi phones on loopback, without announcements, with its
// settings, log and files in the workspace. Stopped (SIGTERM, then SIGKILL)
// by Stop or the destructor.
class Zucamd {
public:
    explicit Zucamd(const Workspace& workspace) : workspace_(workspace) {}
    ~Zucamd() { Stop(); }

    // Starts it and waits until it serves and its camera queue exists.
    bool Start(int port, std::string* error);
    // Its exit status (see ChildProcess::wait).
    int Stop();
    long pid() const { return child_.pid(); }
    std::string Stderr() const;
    // Packets the decoder threw away because a key packet overtook them
    // (the sum of its "release old pkt_ N." counts).
    long long DiscardedPackets() const;

private:
    const Workspace& workspace_;
    platform::ChildProcess child_;
    bool started_ = false;
};

// Follows the queue's published counter from its own thread, noting the
// moment of every change.
class QueueWatch {
public:
    ~QueueWatch() { Stop(); }
    // Maps the queue read-only (waiting up to timeoutMs for it) and starts
    // polling every `pollMicros`.
    bool Start(int pollMicros, int timeoutMs, std::string* error);
    void Stop();

    uint32_t published();
    // When the counter first reached `count`; false when it has not.
    bool ReachedAt(uint32_t count, Clock::time_point* at);
    // Waits until the counter reaches `count`; false after timeoutMs.
    bool WaitFor(uint32_t count, int timeoutMs);
    // True when the counter has not moved for quietMs.
    bool QuietFor(int quietMs);

private:
    void Poll(int pollMicros);

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::pair<uint32_t, Clock::time_point>> changes_;
};

// A phone that sends a whole Annex B file as fast as the desktop takes it,
// built from the phone simulator's parts. Unlike a simulator session it keeps
// the link open after the last picture until told the desktop is done: the
// desktop drops whatever it has not decoded when the phone goes.
class FloodPhone {
public:
    // Streams `path` to the desktop on `port`, then holds the link until
    // `done` returns true (polled) or holdTimeoutMs passes, then ends the
    // stream. False with a reason on any failure (a hold that times out too).
    bool Run(int port, const std::string& path, const std::function<bool()>& done,
             int holdTimeoutMs, std::string* error);
    int pictures() const { return pictures_; }

private:
    int pictures_ = 0;
};

// One zucam-phone-sim session, paced like a phone, on its own thread.
struct PhoneRunOptions {
    int port = 10080;
    std::string videoFile;
    int fps = 30;
    bool loop = false;
    double seconds = 0;  // 0: to the end of the file
};

class PhoneRun {
public:
    ~PhoneRun();
    void Start(const PhoneRunOptions& options);
    // Waits for the session's end; false after timeoutMs (the session has its
    // own network time-outs, so it ends anyway).
    bool Wait(int timeoutMs);
    int exitCode() const { return exitCode_.load(); }
    std::string Output();

private:
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::atomic<int> exitCode_{-1};
    std::mutex mutex_;
    std::string output_;
};

}  // namespace zubench
