#include "tools/phone-sim/stream-sender.h"

#include "tools/phone-sim/packet-builder.h"

namespace phonesim {

bool StreamSender::OpenRecords(const std::string& logPath, const std::string& videoPath,
                               std::string* error) {
    if (!logPath.empty() && !log_.Open(logPath, error))
        return false;
    if (!videoPath.empty()) {
        videoCopy_.open(videoPath, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!videoCopy_) {
            *error = "cannot write the video copy " + videoPath;
            return false;
        }
        videoPath_ = videoPath;
    }
    return true;
}

bool StreamSender::Ship(size_t headerSize, std::string* error) {
    if (!transport_) {
        *error = "no stream transport";
        return false;
    }
    if (!transport_->Send(packet_.data(), packet_.size(), error))
        return false;
    counters_.bytes += packet_.size() - headerSize;
    return true;
}

bool StreamSender::SendToken(const std::string& key, std::string* error) {
    if (!PacketBuilder::Token(key, &packet_)) {
        *error = "the key is too long for a stream packet";
        return false;
    }
    if (!Ship(PacketBuilder::kTokenHeader, error))
        return false;
    if (!log_.Token(key.data(), key.size())) {
        *error = "cannot write the packet log";
        return false;
    }
    return true;
}

bool StreamSender::SendVideo(uint32_t frameKind, const std::string& payload, std::string* error) {
    if (!PacketBuilder::Video(frameKind, payload.data(), payload.size(), &packet_)) {
        *error = "a video packet of " + std::to_string(payload.size()) +
                 " bytes does not fit the desktop's 64 MiB packet buffer";
        return false;
    }
    if (!Ship(PacketBuilder::kVideoHeader, error))
        return false;
    ++counters_.videoPackets;
    if (!log_.Video(frameKind, payload.data(), payload.size())) {
        *error = "cannot write the packet log";
        return false;
    }
    if (videoCopy_.is_open()) {
        videoCopy_.write(payload.data(), static_cast<std::streamsize>(payload.size()));
        videoCopy_.flush();
        if (!videoCopy_) {
            *error = "cannot write the video copy " + videoPath_;
            return false;
        }
    }
    return true;
}

bool StreamSender::SendAudio(uint32_t sampleRate, uint32_t channels, const std::string& pcm,
                             std::string* error) {
    if (!PacketBuilder::Audio(sampleRate, channels, pcm.data(), pcm.size(), &packet_)) {
        *error = "an audio block of " + std::to_string(pcm.size()) + " bytes is too large";
        return false;
    }
    if (!Ship(PacketBuilder::kAudioHeader, error))
        return false;
    ++counters_.audioPackets;
    if (!log_.Audio(sampleRate, channels, PacketBuilder::kBitsPerSample, pcm.data(), pcm.size())) {
        *error = "cannot write the packet log";
        return false;
    }
    return true;
}

}  // namespace phonesim
