#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "dep/QtComponent/ffmpeg/pcm-resampler.h"
#include "devices/audio-device-link.h"
#include "devices/audio-staging-buffer.h"

class RtAudio;

// The virtual microphone while it is switched on: phone audio goes in through
// pushAudio, is resampled to 48 kHz mono signed 16-bit and staged (the newest
// 200 ms at most); an output stream pulls it in 40 ms blocks, writes every
// block to the microphone link, reports its level to the host
// (AppContext::UpdateVolumn) and plays it on the speakers when the host's
// PlayAudio() says so. The stream runs continuously: without phone audio it
// pulls silence and writes empty blocks.
//
// Threads: pushAudio from any thread; the block work on the output stream's
// own thread; creation and destruction on the owner's thread.
class VirtaulAudioDeviceManager {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr unsigned kBlockFrames = 1920;  // 40 ms

    // What the program uses: opens the link at AudioDeviceLinkPath() and the
    // output stream. Null when either fails (the reason is logged, stream
    // errors also go to standard output).
    static std::shared_ptr<VirtaulAudioDeviceManager> create();

    // A manager with neither link nor stream: pushAudio and renderBlock work,
    // nothing is written or played until the open calls succeed.
    VirtaulAudioDeviceManager();
    // Stops and closes the stream before closing the link.
    ~VirtaulAudioDeviceManager();
    VirtaulAudioDeviceManager(const VirtaulAudioDeviceManager&) = delete;
    VirtaulAudioDeviceManager& operator=(const VirtaulAudioDeviceManager&) = delete;

    // Opens the microphone link at `path` (see AudioDeviceLink). Call before
    // openStream.
    bool openDeviceLink(const std::string& path);
    // Opens and starts the output stream on the default output device:
    // PulseAudio first, ALSA when PulseAudio cannot be used.
    bool openStream();

    // Interleaved signed 16-bit PCM, `samples` per channel. Blocks outside
    // PcmResampler::acceptsInput, of more than one second, or that the
    // resampler cannot take are dropped silently.
    void pushAudio(const int16_t* data, int samples, int rate, int channels);

    struct RenderedBlock {
        size_t bytes;  // staged bytes taken (and written to the link)
        int level;     // meter level 0..10
    };
    // The output callback's work for `frames` mono samples at `output`:
    // exposed so the block path can be driven without a sound server.
    RenderedBlock renderBlock(int16_t* output, unsigned frames);

    size_t bufferedBytes() const;
    bool streamRunning() const;
    const AudioDeviceLink& link() const { return link_; }

private:
    bool tryOpenStream(int api);

    AudioDeviceLink link_;
    std::unique_ptr<RtAudio> audio_;
    // pushAudio may come from more than one thread (two servers overlap
    // while the connection mode switches); the resampler must not.
    std::mutex resamplerMutex_;
    PcmResampler resampler_;
    AudioStagingBuffer staging_;
    // Guards the staging buffer, the link write and the level.
    mutable std::mutex mutex_;
};
