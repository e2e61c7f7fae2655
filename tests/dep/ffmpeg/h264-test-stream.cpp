#include "tests/dep/ffmpeg/h264-test-stream.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/child-process.h"
#include "platform/files.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zutest {

namespace {

std::vector<std::string> EncoderCommand(const H264StreamRecipe& s, const std::string& path) {
    std::vector<std::string> argv{"ffmpeg",
                                  "-hide_banner",
                                  "-nostdin",
                                  "-loglevel",
                                  "error",
                                  "-y",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "testsrc2=size=" + std::to_string(s.width) + "x" +
                                      std::to_string(s.height) + ":rate=" + std::to_string(s.fps),
                                  "-frames:v",
                                  std::to_string(s.frames),
                                  "-c:v",
                                  "libx264",
                                  "-preset",
                                  s.preset,
                                  "-pix_fmt",
                                  s.pixelFormat,
                                  "-g",
                                  std::to_string(s.gop),
                                  "-sc_threshold",
                                  "0"};
    if (!s.profile.empty())
        argv.insert(argv.end(), {"-profile:v", s.profile});
    if (s.bFrames >= 0)
        argv.insert(argv.end(), {"-bf", std::to_string(s.bFrames)});
    if (s.bitrateKbps > 0) {
        std::string rate = std::to_string(s.bitrateKbps) + "k";
        argv.insert(argv.end(), {"-b:v", rate, "-maxrate", rate, "-bufsize", rate});
    }
    argv.insert(argv.end(), {"-bsf:v", "h264_mp4toannexb", "-f", "h264", path});
    return argv;
}

struct Nal {
    size_t begin;   // first byte of the start code (its leading zero included)
    size_t header;  // the NAL unit header byte
};

std::vector<Nal> FindNalUnits(const std::vector<uint8_t>& s) {
    std::vector<Nal> out;
    for (size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1)
            continue;
        size_t begin = (i > 0 && s[i - 1] == 0) ? i - 1 : i;
        out.push_back(Nal{begin, i + 3});
        i += 2;
    }
    return out;
}

bool StartsUnit(int type, const std::vector<uint8_t>& s, size_t header) {
    if (type == 9 || type == 6 || type == 7 || type == 8 || (type >= 14 && type <= 18)) {
        return true;
    }
    // first_mb_in_slice is the first ue(v) field: a leading 1 bit means 0.
    return (type == 1 || type == 5) && header + 1 < s.size() && (s[header + 1] & 0x80);
}

}  // namespace

bool EncodeH264Stream(const H264StreamRecipe& recipe, const std::string& path, std::string* error,
                      int timeoutMs) {
    std::string err;
    int rc = platform::RunProcess(EncoderCommand(recipe, path), timeoutMs, nullptr, &err);
    if (rc != 0) {
        if (error)
            *error = "ffmpeg exited with " + std::to_string(rc) + ": " + err;
        return false;
    }
    return true;
}

std::vector<AccessUnit> SplitAccessUnits(const std::vector<uint8_t>& s) {
    std::vector<AccessUnit> units;
    std::vector<Nal> nals = FindNalUnits(s);
    AccessUnit current;
    bool hasSlice = false;
    for (size_t n = 0; n < nals.size(); ++n) {
        size_t end = n + 1 < nals.size() ? nals[n + 1].begin : s.size();
        int type = s[nals[n].header] & 0x1F;
        bool vcl = type >= 1 && type <= 5;
        if (hasSlice && StartsUnit(type, s, nals[n].header)) {
            units.push_back(std::move(current));
            current = AccessUnit();
            hasSlice = false;
        }
        current.bytes.insert(current.bytes.end(), s.begin() + static_cast<long>(nals[n].begin),
                             s.begin() + static_cast<long>(end));
        current.idr |= type == 5;
        current.parameterSets |= type == 7;
        hasSlice |= vcl;
    }
    if (!current.bytes.empty())
        units.push_back(std::move(current));
    return units;
}

std::string StreamCachePath(const H264StreamRecipe& s) {
    namespace fs = std::filesystem;
    const char* bin = std::getenv("ZUCAM_BIN_DIR");
    std::error_code ec;
    fs::path dir = bin && *bin ? fs::path(bin) / ".." / "h264-test-streams"
                               : fs::temp_directory_path(ec) / "zucam-h264-test-streams";
    fs::create_directories(dir, ec);
    std::string name = std::to_string(s.width) + "x" + std::to_string(s.height) + "-" +
                       std::to_string(s.frames) + "f-" + std::to_string(s.fps) + "fps-g" +
                       std::to_string(s.gop) + "-" + (s.profile.empty() ? "auto" : s.profile) +
                       "-" + s.preset + "-" + s.pixelFormat + "-bf" + std::to_string(s.bFrames) +
                       "-" + std::to_string(s.bitrateKbps) + "k.h264";
    return (dir / name).string();
}

std::vector<AccessUnit> MakeAccessUnits(const H264StreamRecipe& recipe, std::string* error,
                                        int timeoutMs) {
    std::string path = StreamCachePath(recipe);
    if (!platform::FileExists(path)) {
        std::string partial = path + ".part" + std::to_string(std::random_device()());
        if (!EncodeH264Stream(recipe, partial, error, timeoutMs)) {
            platform::RemoveFile(partial);
            return {};
        }
        if (!platform::RenameFile(partial, path)) {
            platform::RemoveFile(partial);
            if (error)
                *error = "cannot rename " + partial;
            return {};
        }
    }
    std::string text;
    if (!platform::ReadWholeFile(path, &text, error))
        return {};
    std::vector<AccessUnit> units =
        SplitAccessUnits(std::vector<uint8_t>(text.begin(), text.end()));
    if (units.empty() && error)
        *error = path + " holds no access unit";
    return units;
}

PacketHolder ToPacket(const std::vector<uint8_t>& bytes, long long pts, bool key) {
    PacketHolder packet = PacketHolder::Copy(bytes.data(), bytes.size());
    if (packet) {
        packet.get()->pts = pts;
        packet.get()->dts = pts;
        if (key)
            packet.get()->flags |= AV_PKT_FLAG_KEY;
    }
    return packet;
}

PacketHolder ToPacket(const AccessUnit& unit, long long pts, bool key) {
    return ToPacket(unit.bytes, pts, key);
}

}  // namespace zutest
