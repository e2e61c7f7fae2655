#include "tools/phone-sim/wav-reader.h"

#include <algorithm>

#include "platform/files.h"

namespace phonesim {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr unsigned kMaxChannels = 8;
constexpr unsigned kMaxSampleRate = 384000;
constexpr uint32_t kMaxFormatChunk = 1024;

uint16_t Le16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t Le32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

}  // namespace

bool WavReader::Open(const std::string& path, std::string* error) {
    // A reader may be opened again, on another file.
    in_.close();
    in_.clear();
    dataOffset_ = dataBytes_ = position_ = 0;
    blockAlign_ = 1;
    path_ = path;
    long long size = platform::FileSize(path);
    in_.open(path, std::ios::in | std::ios::binary);
    if (!in_ || size < 0) {
        *error = "cannot read WAV file " + path;
        return false;
    }
    char riff[12];
    if (!in_.read(riff, sizeof riff) || std::string(riff, 4) != "RIFF" ||
        std::string(riff + 8, 4) != "WAVE") {
        *error = path + " is not a WAV file (no RIFF/WAVE header)";
        return false;
    }
    return ReadChunks(static_cast<uint64_t>(size), error);
}

bool WavReader::ReadChunks(uint64_t fileSize, std::string* error) {
    bool haveFormat = false;
    bool haveData = false;
    uint64_t offset = 12;
    while (!(haveFormat && haveData) && offset + 8 <= fileSize) {
        char head[8];
        in_.seekg(static_cast<std::streamoff>(offset));
        if (!in_.read(head, sizeof head))
            break;
        std::string id(head, 4);
        uint64_t size = Le32(head + 4);
        uint64_t body = offset + 8;
        if (id == "fmt ") {
            if (size < 16 || size > kMaxFormatChunk || body + size > fileSize) {
                *error = path_ + ": malformed fmt chunk (" + std::to_string(size) + " bytes)";
                return false;
            }
            std::string fmt(size, '\0');
            if (!in_.read(&fmt[0], static_cast<std::streamsize>(size)))
                break;
            if (!ParseFormat(fmt, error))
                return false;
            haveFormat = true;
        } else if (id == "data") {
            dataOffset_ = body;
            dataBytes_ = std::min(size, fileSize - body);
            haveData = true;
            // A file written to a pipe says 0xFFFFFFFF here, a cut-off one too
            // much: either way the audio runs to the end of the file.
            if (body + size > fileSize)
                break;
        }
        offset = body + size + (size & 1);
    }
    in_.clear();
    if (!haveFormat) {
        *error = path_ + ": no fmt chunk before the end of the file";
        return false;
    }
    if (!haveData) {
        *error = path_ + ": no data chunk";
        return false;
    }
    dataBytes_ -= dataBytes_ % blockAlign_;
    if (dataBytes_ == 0) {
        *error = path_ + ": the data chunk holds no audio";
        return false;
    }
    return Rewind();
}

bool WavReader::ParseFormat(const std::string& body, std::string* error) {
    uint16_t tag = Le16(&body[0]);
    channels_ = Le16(&body[2]);
    sampleRate_ = Le32(&body[4]);
    blockAlign_ = Le16(&body[12]);
    unsigned bits = Le16(&body[14]);
    if (tag == kFormatExtensible) {
        // The sub-format GUID starts at byte 24 of the extension; its first two
        // bytes are the plain format tag.
        if (body.size() < 40 || Le16(&body[24]) != kFormatPcm) {
            *error = path_ + ": WAVE_FORMAT_EXTENSIBLE file is not PCM";
            return false;
        }
    } else if (tag != kFormatPcm) {
        *error = path_ + ": audio format " + std::to_string(tag) + " is not PCM";
        return false;
    }
    if (bits != 16) {
        *error =
            path_ + ": " + std::to_string(bits) + "-bit samples; only 16-bit PCM can be streamed";
        return false;
    }
    if (channels_ < 1 || channels_ > kMaxChannels) {
        *error = path_ + ": " + std::to_string(channels_) + " channels (1 to 8 supported)";
        return false;
    }
    if (sampleRate_ < 1 || sampleRate_ > kMaxSampleRate) {
        *error = path_ + ": sample rate " + std::to_string(sampleRate_) + " Hz is out of range";
        return false;
    }
    if (blockAlign_ != channels_ * 2) {
        *error = path_ + ": block align " + std::to_string(blockAlign_) + " does not match " +
                 std::to_string(channels_) + " channels of 16 bits";
        return false;
    }
    return true;
}

size_t WavReader::Read(size_t frames, std::string* pcm) {
    pcm->clear();
    uint64_t left = dataBytes_ - position_;
    uint64_t want = std::min<uint64_t>(left, uint64_t(frames) * blockAlign_);
    if (want == 0)
        return 0;
    pcm->resize(want);
    in_.read(&(*pcm)[0], static_cast<std::streamsize>(want));
    size_t got = static_cast<size_t>(in_.gcount());
    got -= got % blockAlign_;
    pcm->resize(got);
    position_ += got;
    if (got < want)
        position_ = dataBytes_;  // the file shrank under us: stop here
    return got / blockAlign_;
}

bool WavReader::Rewind() {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(dataOffset_));
    position_ = 0;
    return static_cast<bool>(in_);
}

}  // namespace phonesim
