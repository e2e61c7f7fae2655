#include "tools/zucam-camera/pipewire-output.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tools/zucam-camera/camera-say.h"

namespace {

// A consumer may hold several buffers (a busy machine, a slow encoder)
// while we fill the next one; each holds one 1280x720 picture.
constexpr int kBuffers = 8;

int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void StateChanged(void* self, pw_stream_state, pw_stream_state state, const char* error) {
    static_cast<PipeWireOutput*>(self)->onStateChanged(state, error);
}

void ParamChanged(void* self, uint32_t id, const spa_pod* param) {
    static_cast<PipeWireOutput*>(self)->onParamChanged(id, param);
}

void CoreError(void* self, uint32_t id, int, int res, const char* message) {
    static_cast<PipeWireOutput*>(self)->onCoreError(id, res, message);
}

const char* NoDaemonAdvice() {
    return "start it (systemctl --user start pipewire wireplumber) or use --v4l2 with a "
           "v4l2loopback device";
}

}  // namespace

struct PipeWireOutput::Hooks {
    pw_stream_events streamEvents{};
    pw_core_events coreEvents{};
    spa_hook streamHook{};
    spa_hook coreHook{};
};

PipeWireOutput::PipeWireOutput() : hooks_(new Hooks) {
    pw_init(nullptr, nullptr);
    hooks_->streamEvents.version = PW_VERSION_STREAM_EVENTS;
    hooks_->streamEvents.state_changed = StateChanged;
    hooks_->streamEvents.param_changed = ParamChanged;
    hooks_->coreEvents.version = PW_VERSION_CORE_EVENTS;
    hooks_->coreEvents.error = CoreError;
}

PipeWireOutput::~PipeWireOutput() {
    close();
}

bool PipeWireOutput::DaemonAnswers() {
    pw_init(nullptr, nullptr);
    pw_loop* loop = pw_loop_new(nullptr);
    if (!loop)
        return false;
    pw_context* context = pw_context_new(loop, nullptr, 0);
    bool answers = false;
    if (context) {
        pw_core* core = pw_context_connect(context, nullptr, 0);
        answers = core != nullptr;
        if (core)
            pw_core_disconnect(core);
        pw_context_destroy(context);
    }
    pw_loop_destroy(loop);
    return answers;
}

std::string PipeWireOutput::describe() const {
    return std::string("the PipeWire camera \"") + kNodeName + "\"";
}

bool PipeWireOutput::open(int width, int height, int fps, std::string* error) {
    width_ = width;
    height_ = height;
    fps_ = fps;
    loop_ = pw_thread_loop_new("zucam-camera", nullptr);
    context_ = loop_ ? pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0) : nullptr;
    if (!context_) {
        *error = "cannot set up PipeWire: " + std::string(std::strerror(errno));
        return false;
    }
    if (pw_thread_loop_start(loop_) < 0) {
        *error = "cannot start PipeWire's thread";
        return false;
    }
    pw_thread_loop_lock(loop_);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (!core_) {
        pw_thread_loop_unlock(loop_);
        *error = std::string("no PipeWire daemon answers (") + std::strerror(errno) + "); " +
                 NoDaemonAdvice();
        return false;
    }
    pw_core_add_listener(core_, &hooks_->coreHook, &hooks_->coreEvents, this);
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Camera",
        PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME, kNodeName, PW_KEY_NODE_DESCRIPTION,
        kNodeName, PW_KEY_NODE_NICK, kNodeName, nullptr);
    stream_ = pw_stream_new(core_, kNodeName, props);
    if (!stream_) {
        pw_thread_loop_unlock(loop_);
        *error = std::string("cannot make the PipeWire camera: ") + std::strerror(errno);
        return false;
    }
    pw_stream_add_listener(stream_, &hooks_->streamHook, &hooks_->streamEvents, this);

    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_video_info_raw info{};
    info.format = SPA_VIDEO_FORMAT_I420;
    info.size = SPA_RECTANGLE(uint32_t(width), uint32_t(height));
    info.framerate = SPA_FRACTION(uint32_t(fps), 1);
    const spa_pod* params[1] = {spa_format_video_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    int res = pw_stream_connect(
        stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params,
        1);
    pw_thread_loop_unlock(loop_);
    if (res < 0) {
        *error = std::string("cannot offer the PipeWire camera: ") + spa_strerror(res);
        return false;
    }
    return true;
}

bool PipeWireOutput::write(const I420Frame& frame, uint32_t tag) {
    pw_thread_loop_lock(loop_);
    bool ok = failure_.empty();
    // The picture goes straight into a PipeWire buffer, and the cycle that
    // hands it to the consumer is started at once: no copy in between.
    // Without a consumer there is nothing to fill.
    bool queued = ok && streaming_ && fill(frame, tag);
    if (queued)
        pw_stream_trigger_process(stream_);
    if (!ok)
        error_ = failure_;
    pw_thread_loop_unlock(loop_);
    if (queued && queuedHook_)
        queuedHook_(tag, MonotonicNs());
    return ok;
}

void PipeWireOutput::onStateChanged(int state, const char* error) {
    bool streaming = state == PW_STREAM_STATE_STREAMING;
    if (streaming != streaming_)
        SayMore(streaming ? "a program opened the camera" : "no program reads the camera now");
    streaming_ = streaming;
    if (state == PW_STREAM_STATE_ERROR) {
        failure_ = std::string("the PipeWire camera failed: ") + (error ? error : "unknown error");
    }
}

void PipeWireOutput::onParamChanged(uint32_t id, const void* param) {
    if (id != SPA_PARAM_Format || param == nullptr)
        return;
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    int frameBytes = width_ * height_ * 3 / 2;
    const spa_pod* params[2];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(kBuffers, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(frameBytes), SPA_PARAM_BUFFERS_stride,
        SPA_POD_Int(width_), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
        SPA_POD_Int(sizeof(struct spa_meta_header))));
    pw_stream_update_params(stream_, params, 2);
}

bool PipeWireOutput::fill(const I420Frame& frame, uint32_t tag) {
    pw_buffer* buffer = pw_stream_dequeue_buffer(stream_);
    if (!buffer)
        return false;  // the consumer still holds them all: this picture is skipped
    spa_buffer* spa = buffer->buffer;
    spa_data& data = spa->datas[0];
    if (data.data != nullptr) {
        uint32_t size = std::min<uint32_t>(data.maxsize, uint32_t(frame.bytes.size()));
        std::memcpy(data.data, frame.bytes.data(), size);
        data.chunk->offset = 0;
        data.chunk->size = size;
        data.chunk->stride = width_;
        auto* header = static_cast<spa_meta_header*>(
            spa_buffer_find_meta_data(spa, SPA_META_Header, sizeof(spa_meta_header)));
        if (header) {
            header->pts = MonotonicNs();
            header->flags = 0;
            header->seq = tag;
            header->dts_offset = 0;
        }
    }
    pw_stream_queue_buffer(stream_, buffer);
    return true;
}

void PipeWireOutput::onCoreError(uint32_t id, int res, const char* message) {
    if (id == PW_ID_CORE && res == -EPIPE) {
        failure_ = std::string("the PipeWire daemon went away; ") + NoDaemonAdvice();
    } else if (id == PW_ID_CORE) {
        SayMore("PipeWire: %s", message ? message : spa_strerror(res));
    }
}

void PipeWireOutput::close() {
    if (loop_) {
        pw_thread_loop_lock(loop_);
        if (stream_)
            pw_stream_destroy(stream_);
        if (core_)
            pw_core_disconnect(core_);
        stream_ = nullptr;
        core_ = nullptr;
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
    }
    if (context_)
        pw_context_destroy(context_);
    if (loop_)
        pw_thread_loop_destroy(loop_);
    context_ = nullptr;
    loop_ = nullptr;
}
