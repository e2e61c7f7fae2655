#include "devices/virtaul-audio-device-manager.h"

#include <RtAudio.h>

#include <cstring>
#include <exception>
#include <iostream>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include "app-context.h"
#include "devices/audio-level.h"
#include "hublet/log-sink.h"

namespace {

// PulseAudio buffers about two seconds for a stream that asks for nothing,
// and then pulls several blocks at once every hundred milliseconds; three
// blocks of server buffer keep the pull steady at one block per 40 ms and the
// speakers about 120 ms behind.
constexpr unsigned kStreamBuffers = 3;

int StreamCallback(void* output, void* /*input*/, unsigned int frames, double /*streamTime*/,
                   RtAudioStreamStatus /*status*/, void* user) {
    static_cast<VirtaulAudioDeviceManager*>(user)->renderBlock(static_cast<int16_t*>(output),
                                                               frames);
    return 0;
}

void PrintStreamError(const std::string& message) {
    std::cout << "-------------------------\n"
              << message << "\n-----------------------------" << std::endl;
}

bool ApiCompiled(RtAudio::Api api) {
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    for (RtAudio::Api a : apis) {
        if (a == api)
            return true;
    }
    return false;
}

void CloseStream(RtAudio* audio) {
    // abortStream rather than stopStream: draining would make the caller
    // (the GUI thread) wait for audio nobody listens to any more.
    try {
        if (audio->isStreamRunning())
            audio->abortStream();
    } catch (const std::exception& e) {
        PrintStreamError(e.what());
    }
    try {
        if (audio->isStreamOpen())
            audio->closeStream();
    } catch (const std::exception& e) {
        PrintStreamError(e.what());
    }
}

}  // namespace

std::shared_ptr<VirtaulAudioDeviceManager> VirtaulAudioDeviceManager::create() {
    auto manager = std::make_shared<VirtaulAudioDeviceManager>();
    if (!manager->openDeviceLink(AudioDeviceLinkPath()))
        return nullptr;
    if (!manager->openStream())
        return nullptr;
    return manager;
}

VirtaulAudioDeviceManager::VirtaulAudioDeviceManager()
    : resampler_(kSampleRate, 1, AV_SAMPLE_FMT_S16) {}

VirtaulAudioDeviceManager::~VirtaulAudioDeviceManager() {
    if (audio_)
        CloseStream(audio_.get());
    audio_.reset();
    link_.close();
}

bool VirtaulAudioDeviceManager::openDeviceLink(const std::string& path) {
    return link_.openDeviceLink(path);
}

bool VirtaulAudioDeviceManager::openStream() {
    if (audio_)
        return audio_->isStreamOpen();
    const RtAudio::Api apis[] = {RtAudio::LINUX_PULSE, RtAudio::LINUX_ALSA};
    for (RtAudio::Api api : apis) {
        if (ApiCompiled(api) && tryOpenStream(api))
            return true;
    }
    BG_LOGE("virtual microphone: no audio output stream could be opened");
    return false;
}

bool VirtaulAudioDeviceManager::tryOpenStream(int api) {
    std::unique_ptr<RtAudio> audio;
    try {
        audio.reset(new RtAudio(static_cast<RtAudio::Api>(api)));
        RtAudio::StreamParameters params;
        params.deviceId = audio->getDefaultOutputDevice();
        params.nChannels = 1;
        params.firstChannel = 0;
        RtAudio::StreamOptions options;
        options.numberOfBuffers = kStreamBuffers;
        options.streamName = "ZuCam";
        if (api == RtAudio::LINUX_ALSA)
            options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
        unsigned int frames = kBlockFrames;
        audio->openStream(&params, nullptr, RTAUDIO_SINT16, kSampleRate, &frames, &StreamCallback,
                          this, &options);
        audio->startStream();
    } catch (const RtAudioError& e) {
        PrintStreamError(e.getMessage());
        return false;
    } catch (const std::exception& e) {
        PrintStreamError(e.what());
        return false;
    }
    if (!audio->isStreamOpen())
        return false;
    BG_LOGI("virtual microphone: output stream open (%s)",
            RtAudio::getApiDisplayName(audio->getCurrentApi()).c_str());
    audio_ = std::move(audio);
    return true;
}

void VirtaulAudioDeviceManager::pushAudio(const int16_t* data, int samples, int rate,
                                          int channels) {
    // Neither a rate far below ours nor a block of more than a second may
    // turn one push into unbounded resampling work.
    if (!PcmResampler::acceptsInput(rate, channels) || samples > rate)
        return;
    FrameHolder frame;
    {
        std::lock_guard<std::mutex> lock(resamplerMutex_);
        frame = resampler_.resample(reinterpret_cast<const uint8_t*>(data), samples, rate, channels,
                                    AV_SAMPLE_FMT_S16);
    }
    if (!frame)
        return;
    const AVFrame* f = frame.get();
    if (f->sample_rate != kSampleRate || f->ch_layout.nb_channels != 1 ||
        f->format != AV_SAMPLE_FMT_S16 || f->nb_samples <= 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    staging_.push(f->data[0], static_cast<size_t>(f->nb_samples) * 2);
}

VirtaulAudioDeviceManager::RenderedBlock VirtaulAudioDeviceManager::renderBlock(int16_t* output,
                                                                                unsigned frames) {
    const size_t size = static_cast<size_t>(frames) * 2;
    std::memset(output, 0, size);
    RenderedBlock block{0, 0};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        block.bytes = staging_.take(reinterpret_cast<uint8_t*>(output), size);
        block.level = AudioLevelOfBlock(output, frames);
        if (link_.isOpen())
            link_.writeBlock(reinterpret_cast<const uint8_t*>(output), block.bytes);
    }
    // The host hands the level on to its window by a queued call; it is
    // asked outside the lock so that nothing it does can stall pushAudio.
    AppContext* context = AppContext::instance();
    if (context)
        context->UpdateVolumn(block.level);
    if (!context || !context->PlayAudio())
        std::memset(output, 0, size);
    return block;
}

size_t VirtaulAudioDeviceManager::bufferedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return staging_.count();
}

bool VirtaulAudioDeviceManager::streamRunning() const {
    return audio_ && audio_->isStreamRunning();
}
