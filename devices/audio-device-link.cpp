#include "devices/audio-device-link.h"

#include "hublet/log-sink.h"
#include "platform/paths.h"

std::string AudioDeviceLinkPath() {
    std::string runtime = platform::GetEnv("XDG_RUNTIME_DIR");
    std::string dir = runtime.empty() ? platform::RuntimeDir() : runtime + "/zucam";
    return dir + "/ZuAudioDeviceLink";
}

bool AudioDeviceLink::openDeviceLink(const std::string& path) {
    std::string error;
    platform::FifoWriter::OpenResult result = fifo_.open(path, &error);
    if (result != platform::FifoWriter::OpenResult::kOpened) {
        if (result == platform::FifoWriter::OpenResult::kNoReader) {
            BG_LOGE(
                "virtual microphone link %s has no reader: the ZuAudioDevice source is not "
                "loaded",
                path.c_str());
        } else {
            BG_LOGE("cannot open the virtual microphone link: %s", error.c_str());
        }
        return false;
    }
    fifo_.setCapacity(kFifoCapacity);
    readerGoneLogged_ = false;
    return true;
}

bool AudioDeviceLink::writeBlock(const uint8_t* data, size_t size) {
    if (!fifo_.isOpen())
        return false;
    // Chunks of at most the atomic size land whole or not at all, so a full
    // FIFO never receives half a sample.
    bool dropped = false;
    size_t offset = 0;
    while (offset < size && !dropped) {
        size_t chunk = size - offset;
        if (chunk > platform::FifoWriter::kAtomicWriteBytes) {
            chunk = platform::FifoWriter::kAtomicWriteBytes;
        }
        platform::FifoWriter::WriteResult result = fifo_.write(data + offset, chunk);
        if (result == platform::FifoWriter::WriteResult::kNoReader && !readerGoneLogged_) {
            // The source was unloaded under us; the link stays dead until the
            // microphone is opened again. One line, not one per block.
            readerGoneLogged_ = true;
            BG_LOGW("virtual microphone link lost its reader; audio blocks are dropped");
        }
        dropped = result != platform::FifoWriter::WriteResult::kWritten;
        offset += chunk;
    }
    if (dropped) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    written_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void AudioDeviceLink::close() {
    fifo_.close();
}
