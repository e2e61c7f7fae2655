#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/zucam-camera/camera-output.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;

// A PipeWire video source node named "ZuCam" (media class Video/Source, role
// Camera). The node drives its own graph: every write() copies the picture
// into a PipeWire buffer and triggers one cycle that hands it on. Without a
// consumer, write() does nothing.
class PipeWireOutput : public CameraOutput {
public:
    static constexpr const char* kNodeName = "ZuCam";

    PipeWireOutput();
    ~PipeWireOutput() override;
    PipeWireOutput(const PipeWireOutput&) = delete;
    PipeWireOutput& operator=(const PipeWireOutput&) = delete;

    // True when a PipeWire daemon answers a connection right now.
    static bool DaemonAnswers();

    bool open(int width, int height, int fps, std::string* error) override;
    bool write(const I420Frame& frame, uint32_t tag) override;
    std::string describe() const override;

    // Stream and core callbacks; they run on PipeWire's loop thread with its
    // lock held.
    void onStateChanged(int state, const char* error);
    void onParamChanged(uint32_t id, const void* param);
    void onCoreError(uint32_t id, int res, const char* message);

private:
    void close();

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    struct Hooks;
    std::unique_ptr<Hooks> hooks_;
    int width_ = 0;
    int height_ = 0;
    int fps_ = 30;
    // Copies the picture into a free buffer and queues it; false when the
    // consumer holds every buffer. With the loop lock held.
    bool fill(const I420Frame& frame, uint32_t tag);

    // Guarded by the loop lock.
    bool streaming_ = false;
    std::string failure_;
};
