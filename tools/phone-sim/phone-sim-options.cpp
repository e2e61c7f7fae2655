#include "tools/phone-sim/phone-sim-options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>

namespace phonesim {
namespace {

using Handler =
    std::function<bool(const std::string& value, PhoneSimOptions* o, std::string* error)>;

struct OptionInfo {
    const char* name;
    bool takesValue;
    bool repeatable;
    Handler handle;
};

bool ToInt(const std::string& text, long long lo, long long hi, long long* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool ToDouble(const std::string& text, double lo, double hi, double* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

template <typename T>
Handler IntOption(const char* name, long long lo, long long hi, T PhoneSimOptions::*field) {
    return [=](const std::string& v, PhoneSimOptions* o, std::string* error) {
        long long n;
        if (!ToInt(v, lo, hi, &n)) {
            *error = std::string(name) + " wants a whole number from " + std::to_string(lo) +
                     " to " + std::to_string(hi) + ", not '" + v + "'";
            return false;
        }
        o->*field = static_cast<T>(n);
        return true;
    };
}

// `positive`: the lower bound itself is not allowed.
Handler DoubleOption(const char* name, double lo, double hi, bool positive,
                     double PhoneSimOptions::*field) {
    return [=](const std::string& v, PhoneSimOptions* o, std::string* error) {
        double d;
        if (!ToDouble(v, lo, hi, &d) || (positive && d <= lo)) {
            *error = std::string(name) + " wants a number " + (positive ? "above " : "from ") +
                     std::to_string(static_cast<long long>(lo)) + (positive ? " up to " : " to ") +
                     std::to_string(static_cast<long long>(hi)) + ", not '" + v + "'";
            return false;
        }
        o->*field = d;
        return true;
    };
}

Handler TextOption(const char* name, std::string PhoneSimOptions::*field) {
    return [=](const std::string& v, PhoneSimOptions* o, std::string* error) {
        if (v.empty()) {
            *error = std::string(name) + " wants a non-empty value";
            return false;
        }
        o->*field = v;
        return true;
    };
}

Handler Flag(bool PhoneSimOptions::*field) {
    return [=](const std::string&, PhoneSimOptions* o, std::string*) {
        o->*field = true;
        return true;
    };
}

// WxH@FPS, both sides even (4:2:0 pictures), 32 to 4096 pixels.
bool ParsePattern(const std::string& v, PhoneSimOptions* o, std::string* error) {
    size_t x = v.find('x');
    size_t at = v.find('@');
    long long w, h, fps;
    if (x == std::string::npos || at == std::string::npos || at < x ||
        !ToInt(v.substr(0, x), 32, 4096, &w) || !ToInt(v.substr(x + 1, at - x - 1), 32, 4096, &h) ||
        !ToInt(v.substr(at + 1), 1, 240, &fps)) {
        *error = "--pattern wants WxH@FPS (32 to 4096 pixels, 1 to 240 frames a second), not '" +
                 v + "'";
        return false;
    }
    if (w % 2 || h % 2) {
        *error = "--pattern sizes must be even (4:2:0 pictures), not " + v.substr(0, at);
        return false;
    }
    o->pattern = true;
    o->width = static_cast<int>(w);
    o->height = static_cast<int>(h);
    o->fps = static_cast<int>(fps);
    return true;
}

// WxH[,WxH...]: the sizes the pattern takes in turn after the --pattern size.
bool ParseMoreSizes(const std::string& v, PhoneSimOptions* o, std::string* error) {
    size_t pos = 0;
    while (pos <= v.size()) {
        size_t comma = v.find(',', pos);
        const std::string one = v.substr(pos, comma == std::string::npos ? comma : comma - pos);
        size_t x = one.find('x');
        long long w, h;
        if (x == std::string::npos || !ToInt(one.substr(0, x), 32, 4096, &w) ||
            !ToInt(one.substr(x + 1), 32, 4096, &h) || w % 2 || h % 2 ||
            o->moreSizes.size() >= 64) {
            *error =
                "--pattern-sizes wants up to 64 even sizes WxH,WxH,... (32 to 4096 pixels), "
                "not '" +
                v + "'";
            return false;
        }
        o->moreSizes.emplace_back(static_cast<int>(w), static_cast<int>(h));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return true;
}

bool ParseName(const std::string& v, PhoneSimOptions* o, std::string* error) {
    // The whole push-play frame must fit the desktop's 4096-byte command buffer.
    if (v.size() > 1024) {
        *error = "--name is longer than 1024 bytes";
        return false;
    }
    o->phoneName = v;
    return true;
}

bool AddCommand(const std::string& v, PhoneSimOptions* o, std::string* error) {
    PhoneCommand c;
    if (!PhoneCommand::Parse(v, &c, error))
        return false;
    o->commands.push_back(c);
    return true;
}

const std::vector<OptionInfo>& Specs() {
    using O = PhoneSimOptions;
    static const std::vector<OptionInfo> specs = {
        {"--host", true, false, TextOption("--host", &O::host)},
        {"--port", true, false, IntOption("--port", 1, 65535, &O::port)},
        {"--discover", true, false, IntOption("--discover", 1, 65535, &O::discoverPort)},
        {"--discover-timeout", true, false,
         DoubleOption("--discover-timeout", 0, 3600, true, &O::discoverTimeout)},
        {"--name", true, false, ParseName},
        {"--no-play", false, false, Flag(&O::noPlay)},
        {"--udp", false, false, Flag(&O::udp)},
        {"--udp-chunk", true, false, IntOption("--udp-chunk", 1, 67108864, &O::udpChunk)},
        {"--video", true, false, TextOption("--video", &O::videoFile)},
        {"--fps", true, false, IntOption("--fps", 1, 240, &O::fps)},
        {"--pattern", true, false, ParsePattern},
        {"--pattern-sizes", true, false, ParseMoreSizes},
        {"--gop", true, false, IntOption("--gop", 1, 10000, &O::gop)},
        {"--bitrate", true, false, IntOption("--bitrate", 1, 1000000, &O::bitrateKbps)},
        {"--wav", true, false, TextOption("--wav", &O::wavFile)},
        {"--tone", true, false, DoubleOption("--tone", 0, 192000, true, &O::toneHz)},
        {"--rate", true, false, IntOption("--rate", 8000, 384000, &O::sampleRate)},
        {"--channels", true, false, IntOption("--channels", 1, 8, &O::channels)},
        {"--tone-level", true, false, DoubleOption("--tone-level", -96, 0, false, &O::toneLevelDb)},
        {"--block-ms", true, false, IntOption("--block-ms", 1, 1000, &O::blockMs)},
        {"--loop", false, false, Flag(&O::loop)},
        {"--duration", true, false, DoubleOption("--duration", 0, 1e6, true, &O::duration)},
        {"--frames", true, false, IntOption("--frames", 1, 1000000000LL, &O::frames)},
        {"--command", true, true, AddCommand},
        {"--log-packets", true, false, TextOption("--log-packets", &O::logPackets)},
        {"--save-video", true, false, TextOption("--save-video", &O::saveVideo)},
        {"--timeout", true, false, DoubleOption("--timeout", 0, 3600, true, &O::timeout)},
    };
    return specs;
}

// Each rule: when `option` was given, `needs` must hold, else `message`.
struct Rule {
    const char* option;
    std::function<bool(const PhoneSimOptions&, const std::set<std::string>&)> needs;
    const char* message;
};

bool CheckRules(const PhoneSimOptions& o, const std::set<std::string>& seen, std::string* error) {
    auto has = [](const std::set<std::string>& s, const char* n) { return s.count(n) > 0; };
    const std::vector<Rule> rules = {
        {"--discover", [&](auto&, auto& s) { return !has(s, "--host") && !has(s, "--port"); },
         "--discover finds host and port itself; leave out --host and --port"},
        {"--discover-timeout", [&](auto&, auto& s) { return has(s, "--discover"); },
         "--discover-timeout needs --discover"},
        {"--video", [&](auto&, auto& s) { return !has(s, "--pattern"); },
         "--video and --pattern exclude each other"},
        {"--fps", [&](auto& p, auto&) { return !p.videoFile.empty(); },
         "--fps applies to --video only (--pattern takes WxH@FPS)"},
        {"--gop", [&](auto& p, auto&) { return p.pattern; }, "--gop applies to --pattern only"},
        {"--pattern-sizes", [&](auto& p, auto&) { return p.pattern; },
         "--pattern-sizes applies to --pattern only"},
        {"--bitrate", [&](auto& p, auto&) { return p.pattern; },
         "--bitrate applies to --pattern only"},
        {"--wav", [&](auto&, auto& s) { return !has(s, "--tone"); },
         "--wav and --tone exclude each other"},
        {"--rate", [&](auto& p, auto&) { return p.tone; },
         "--rate applies to --tone only (a WAV file brings its own)"},
        {"--channels", [&](auto& p, auto&) { return p.tone; },
         "--channels applies to --tone only (a WAV file brings its own)"},
        {"--tone-level", [&](auto& p, auto&) { return p.tone; },
         "--tone-level applies to --tone only"},
        {"--block-ms", [&](auto& p, auto&) { return p.hasAudio(); },
         "--block-ms needs --wav or --tone"},
        {"--loop", [&](auto& p, auto&) { return !p.videoFile.empty() || !p.wavFile.empty(); },
         "--loop needs --video or --wav"},
        {"--udp-chunk", [&](auto& p, auto&) { return p.udp; }, "--udp-chunk needs --udp"},
        {"--save-video", [&](auto& p, auto&) { return p.hasVideo(); },
         "--save-video needs --video or --pattern"},
        {"--frames", [&](auto& p, auto&) { return p.hasVideo() || p.hasAudio(); },
         "--frames needs a video or audio source"},
        {"--no-play",
         [&](auto& p, auto&) {
             return !p.udp && !p.hasVideo() && !p.hasAudio() && p.logPackets.empty();
         },
         "--no-play sends commands only; it takes no --udp, media or --log-packets"},
    };
    for (const Rule& r : rules) {
        if (has(seen, r.option) && !r.needs(o, seen)) {
            *error = r.message;
            return false;
        }
    }
    if (o.tone && o.toneHz >= o.sampleRate / 2.0) {
        *error = "--tone " + std::to_string(o.toneHz) + " Hz is not below half of --rate " +
                 std::to_string(o.sampleRate) + " Hz";
        return false;
    }
    for (const PhoneCommand& c : o.commands) {
        if (o.duration > 0 && c.timed && c.atSeconds >= o.duration) {
            *error = "--command " + c.name + "@" + std::to_string(c.atSeconds) +
                     " comes after the end of the run (--duration " + std::to_string(o.duration) +
                     ")";
            return false;
        }
    }
    return true;
}

const OptionInfo* Find(const std::string& name) {
    for (const OptionInfo& s : Specs()) {
        if (name == s.name)
            return &s;
    }
    return nullptr;
}

}  // namespace

PhoneSimOptions::Result PhoneSimOptions::Parse(int argc, const char* const* argv,
                                               PhoneSimOptions* out, std::string* error) {
    PhoneSimOptions o;
    std::set<std::string> seen;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return Result::kHelp;
        if (arg == "--version")
            return Result::kVersion;
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        const OptionInfo* option = Find(name);
        if (!option) {
            *error = arg.compare(0, 1, "-") == 0 ? "unknown option " + name
                                                 : "unexpected argument '" + arg + "'";
            return Result::kError;
        }
        if (!option->takesValue && inlineValue) {
            *error = name + " takes no value";
            return Result::kError;
        }
        if (option->takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                *error = name + " needs a value";
                return Result::kError;
            }
            value = argv[++i];
        }
        if (seen.count(name) && !option->repeatable) {
            *error = name + " given twice";
            return Result::kError;
        }
        seen.insert(name);
        if (!option->handle(value, &o, error))
            return Result::kError;
    }
    o.tone = seen.count("--tone") > 0;
    if (!CheckRules(o, seen, error))
        return Result::kError;
    *out = o;
    return Result::kRun;
}

}  // namespace phonesim
