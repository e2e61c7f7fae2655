#include "tests/tools/zucamd/media-probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "platform/child-process.h"
#include "platform/files.h"

namespace e2e {
namespace {

constexpr int kToolLimitMs = 120000;

using Fields = std::map<std::string, std::string>;

// One line of ffprobe's compact output: "section|key=value|key=value".
bool SplitLine(const std::string& line, std::string* section, Fields* fields) {
    std::istringstream in(line);
    std::string item;
    if (!std::getline(in, *section, '|'))
        return false;
    while (std::getline(in, item, '|')) {
        size_t eq = item.find('=');
        if (eq == std::string::npos)
            return false;
        (*fields)[item.substr(0, eq)] = item.substr(eq + 1);
    }
    return true;
}

bool ToInt(const Fields& fields, const char* key, int64_t* out) {
    auto it = fields.find(key);
    if (it == fields.end() || it->second.empty())
        return false;
    char* end = nullptr;
    long long v = std::strtoll(it->second.c_str(), &end, 10);
    if (*end != '\0')
        return false;
    *out = v;
    return true;
}

bool ParseStream(const Fields& f, ProbedStream* s) {
    int64_t index = 0;
    if (!ToInt(f, "index", &index))
        return false;
    s->index = static_cast<int>(index);
    s->type = f.count("codec_type") ? f.at("codec_type") : "";
    s->codec = f.count("codec_name") ? f.at("codec_name") : "";
    const std::string tb = f.count("time_base") ? f.at("time_base") : "";
    long long num = 0;
    long long den = 0;
    if (std::sscanf(tb.c_str(), "%lld/%lld", &num, &den) != 2 || num <= 0 || den <= 0)
        return false;
    s->timeBaseNum = num;
    s->timeBaseDen = den;
    int64_t v = 0;
    if (ToInt(f, "sample_rate", &v))
        s->sampleRate = static_cast<int>(v);
    if (ToInt(f, "channels", &v))
        s->channels = static_cast<int>(v);
    return true;
}

bool ParsePacket(const Fields& f, ProbedPacket* p) {
    int64_t stream = 0;
    if (!ToInt(f, "stream_index", &stream) || !ToInt(f, "pts", &p->pts))
        return false;
    p->stream = static_cast<int>(stream);
    if (!ToInt(f, "duration", &p->duration))
        p->duration = 0;
    auto flags = f.find("flags");
    p->key = flags != f.end() && flags->second.find('K') != std::string::npos;
    return true;
}

}  // namespace

const ProbedStream* ProbedFile::Stream(const std::string& type) const {
    for (const ProbedStream& s : streams) {
        if (s.type == type)
            return &s;
    }
    return nullptr;
}

std::vector<ProbedPacket> ProbedFile::PacketsOf(const ProbedStream& stream) const {
    std::vector<ProbedPacket> out;
    for (const ProbedPacket& p : packets) {
        if (p.stream == stream.index)
            out.push_back(p);
    }
    return out;
}

bool ProbeFile(const std::string& path, ProbedFile* out, std::string* error) {
    std::string text;
    std::string complaints;
    int rc =
        platform::RunProcess({"ffprobe", "-v", "error", "-show_entries",
                              "stream=index,codec_type,codec_name,time_base,sample_rate,channels:"
                              "packet=stream_index,pts,duration,flags",
                              "-of", "compact", path},
                             kToolLimitMs, &text, &complaints);
    if (rc != 0) {
        *error = "ffprobe exit " + std::to_string(rc) + ": " + complaints;
        return false;
    }
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty())
            continue;
        std::string section;
        Fields fields;
        bool ok = SplitLine(line, &section, &fields);
        if (ok && section == "stream") {
            out->streams.emplace_back();
            ok = ParseStream(fields, &out->streams.back());
        } else if (ok && section == "packet") {
            out->packets.emplace_back();
            ok = ParsePacket(fields, &out->packets.back());
        }
        if (!ok) {
            *error = "unexpected ffprobe line: " + line;
            return false;
        }
    }
    return true;
}

double Seconds(int64_t ticks, const ProbedStream& stream) {
    return static_cast<double>(ticks) * stream.timeBaseNum / stream.timeBaseDen;
}

double StartSeconds(const ProbedStream& stream, const std::vector<ProbedPacket>& packets) {
    return packets.empty() ? 0.0 : Seconds(packets.front().pts, stream);
}

double SpanSeconds(const ProbedStream& stream, const std::vector<ProbedPacket>& packets) {
    if (packets.empty())
        return 0.0;
    const ProbedPacket& last = packets.back();
    return Seconds(last.pts + last.duration - packets.front().pts, stream);
}

std::vector<size_t> KeyPacketPositions(const std::vector<ProbedPacket>& packets) {
    std::vector<size_t> positions;
    for (size_t i = 0; i < packets.size(); ++i) {
        if (packets[i].key)
            positions.push_back(i);
    }
    return positions;
}

std::string DecodeComplaints(const std::string& path, int* exitCode) {
    std::string out;
    std::string err;
    // The null output keeps the file's own time base: on ffmpeg's default
    // clock of one tick per picture of the nominal rate, two pictures that
    // reached zucamd less than a tick apart (stamped by arrival, as they are)
    // would share a tick and draw "non monotonically increasing dts" from the
    // null muxer, although every picture decodes.
    *exitCode = platform::RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", path,
                                      "-enc_time_base", "-1", "-f", "null", "-"},
                                     kToolLimitMs, &out, &err);
    return out + err;
}

bool DecodeAudioMono(const std::string& path, int rate, const std::string& scratchPath,
                     std::vector<int16_t>* samples) {
    std::string out;
    std::string err;
    int rc = platform::RunProcess(
        {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", path, "-vn", "-ac", "1", "-ar",
         std::to_string(rate), "-f", "s16le", "-acodec", "pcm_s16le", scratchPath},
        kToolLimitMs, &out, &err);
    std::string bytes;
    if (rc != 0 || !platform::ReadWholeFile(scratchPath, &bytes))
        return false;
    samples->resize(bytes.size() / 2);
    std::memcpy(samples->data(), bytes.data(), samples->size() * 2);
    return true;
}

}  // namespace e2e
