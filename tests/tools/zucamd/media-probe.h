#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What FFmpeg's own tools read from a finished recording: the streams and
// every packet as ffprobe reports them (edit lists applied), whether the file
// decodes without complaint, and its sound as plain samples.
namespace e2e {

struct ProbedStream {
    int index = -1;
    std::string type;   // "video", "audio"
    std::string codec;  // "h264", "aac"
    int64_t timeBaseNum = 0;
    int64_t timeBaseDen = 0;
    int sampleRate = 0;
    int channels = 0;
};

struct ProbedPacket {
    int stream = -1;
    int64_t pts = 0;
    int64_t duration = 0;
    bool key = false;
};

struct ProbedFile {
    std::vector<ProbedStream> streams;
    std::vector<ProbedPacket> packets;

    // The first stream of `type`, or null.
    const ProbedStream* Stream(const std::string& type) const;
    // The packets of one stream, in file order.
    std::vector<ProbedPacket> PacketsOf(const ProbedStream& stream) const;
};

// Runs ffprobe on `path`. False with a reason when it fails or prints
// something it cannot parse.
bool ProbeFile(const std::string& path, ProbedFile* out, std::string* error);

double Seconds(int64_t ticks, const ProbedStream& stream);
// Presentation time of the first packet, in seconds.
double StartSeconds(const ProbedStream& stream, const std::vector<ProbedPacket>& packets);
// From the first packet's start to the last packet's end, in seconds.
double SpanSeconds(const ProbedStream& stream, const std::vector<ProbedPacket>& packets);
// Positions (in stream order) of the key packets.
std::vector<size_t> KeyPacketPositions(const std::vector<ProbedPacket>& packets);

// Decodes every stream to nothing, as `ffmpeg -v error -i f -f null -` does
// but at the file's own time base: what it printed (empty for a file that
// plays cleanly), and its exit code.
std::string DecodeComplaints(const std::string& path, int* exitCode);

// The first audio stream decoded to signed 16-bit mono at `rate`, written
// beside `scratchPath`. False when FFmpeg cannot decode it.
bool DecodeAudioMono(const std::string& path, int rate, const std::string& scratchPath,
                     std::vector<int16_t>* samples);

}  // namespace e2e
