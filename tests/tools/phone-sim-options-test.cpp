#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/phone-sim/phone-sim-options.h"

namespace phonesim {
namespace {

using Result = PhoneSimOptions::Result;

struct Parsed {
    Result result;
    PhoneSimOptions options;
    std::string error;
};

Parsed ParseArgs(std::vector<std::string> args) {
    args.insert(args.begin(), "zucam-phone-sim");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    Parsed p;
    p.result =
        PhoneSimOptions::Parse(static_cast<int>(argv.size()), argv.data(), &p.options, &p.error);
    return p;
}

// The error for these arguments, or "" when they were accepted.
std::string ErrorOf(std::vector<std::string> args) {
    Parsed p = ParseArgs(std::move(args));
    return p.result == Result::kError ? p.error : "";
}

TEST(PhoneSimOptions, DefaultsTalkToTheLocalDesktopWithoutMedia) {
    Parsed p = ParseArgs({});
    ASSERT_EQ(p.result, Result::kRun) << p.error;
    EXPECT_EQ(p.options.host, "127.0.0.1");
    EXPECT_EQ(p.options.port, 10080);
    EXPECT_FALSE(p.options.udp);
    EXPECT_FALSE(p.options.hasVideo());
    EXPECT_FALSE(p.options.hasAudio());
    EXPECT_EQ(p.options.timeoutMs(), 5000);
}

TEST(PhoneSimOptions, FullTcpRunWithBothValueForms) {
    Parsed p = ParseArgs({"--host",        "192.0.2.7",    "--port=11080",
                          "--pattern",     "1280x720@25",  "--gop=10",
                          "--tone",        "440",          "--rate",
                          "44100",         "--channels=1", "--duration",
                          "2.5",           "--frames",     "40",
                          "--command",     "ping",         "--command=screenshot@1.25",
                          "--log-packets", "/tmp/x.log",   "--save-video",
                          "/tmp/x.h264",   "--name",       "Pixel 7"});
    ASSERT_EQ(p.result, Result::kRun) << p.error;
    const PhoneSimOptions& o = p.options;
    EXPECT_EQ(o.host, "192.0.2.7");
    EXPECT_EQ(o.port, 11080);
    EXPECT_TRUE(o.pattern);
    EXPECT_EQ(o.width, 1280);
    EXPECT_EQ(o.height, 720);
    EXPECT_EQ(o.fps, 25);
    EXPECT_EQ(o.gop, 10);
    EXPECT_TRUE(o.tone);
    EXPECT_DOUBLE_EQ(o.toneHz, 440);
    EXPECT_EQ(o.sampleRate, 44100);
    EXPECT_EQ(o.channels, 1);
    EXPECT_DOUBLE_EQ(o.duration, 2.5);
    EXPECT_EQ(o.frames, 40);
    ASSERT_EQ(o.commands.size(), 2u);
    EXPECT_EQ(o.commands[0].type, -1);
    EXPECT_FALSE(o.commands[0].timed);
    EXPECT_EQ(o.commands[1].type, 4);
    EXPECT_TRUE(o.commands[1].timed);
    EXPECT_DOUBLE_EQ(o.commands[1].atSeconds, 1.25);
    EXPECT_EQ(o.phoneName, "Pixel 7");
}

TEST(PhoneSimOptions, UdpWithChunksAndFileSources) {
    Parsed p = ParseArgs({"--udp", "--udp-chunk", "700", "--video", "a.h264", "--fps", "60",
                          "--wav", "b.wav", "--loop", "--block-ms", "10"});
    ASSERT_EQ(p.result, Result::kRun) << p.error;
    EXPECT_TRUE(p.options.udp);
    EXPECT_EQ(p.options.udpChunk, 700);
    EXPECT_EQ(p.options.videoFile, "a.h264");
    EXPECT_EQ(p.options.fps, 60);
    EXPECT_EQ(p.options.wavFile, "b.wav");
    EXPECT_TRUE(p.options.loop);
    EXPECT_EQ(p.options.blockMs, 10);
}

TEST(PhoneSimOptions, HelpWinsAndDocumentsEveryOption) {
    EXPECT_EQ(ParseArgs({"--port", "1", "--help"}).result, Result::kHelp);
    EXPECT_EQ(ParseArgs({"-h"}).result, Result::kHelp);
    EXPECT_EQ(ParseArgs({"--version"}).result, Result::kVersion);
    std::string help = PhoneSimOptions::HelpText();
    for (const char* option :
         {"--host",       "--port",         "--discover", "--discover-timeout", "--name",
          "--udp",        "--udp-chunk",    "--no-play",  "--timeout",          "--video",
          "--fps",        "--pattern",      "--gop",      "--bitrate",          "--wav",
          "--tone",       "--rate",         "--channels", "--tone-level",       "--block-ms",
          "--duration",   "--frames",       "--loop",     "--command",          "--log-packets",
          "--save-video", "--pattern-sizes"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(PhoneSimOptions, RejectsMalformedValuesWithTheOptionName) {
    EXPECT_NE(ErrorOf({"--port", "0"}).find("--port"), std::string::npos);
    EXPECT_NE(ErrorOf({"--port", "65536"}).find("--port"), std::string::npos);
    EXPECT_NE(ErrorOf({"--port", "80x"}).find("'80x'"), std::string::npos);
    EXPECT_NE(ErrorOf({"--duration", "-1"}).find("--duration"), std::string::npos);
    EXPECT_NE(ErrorOf({"--duration", "0"}).find("--duration"), std::string::npos);
    EXPECT_NE(ErrorOf({"--duration", "nan"}).find("--duration"), std::string::npos);
    EXPECT_NE(ErrorOf({"--timeout", "inf"}).find("--timeout"), std::string::npos);
    EXPECT_NE(ErrorOf({"--frames", ""}).find("--frames"), std::string::npos);
    EXPECT_NE(ErrorOf({"--host", ""}).find("--host"), std::string::npos);
    EXPECT_NE(ErrorOf({"--udp", "--udp-chunk", "0"}).find("--udp-chunk"), std::string::npos);
}

TEST(PhoneSimOptions, PatternNeedsEvenSizesAndARate) {
    EXPECT_EQ(ErrorOf({"--pattern", "640x360@30"}), "");
    EXPECT_NE(ErrorOf({"--pattern", "641x360@30"}).find("even"), std::string::npos);
    for (const char* bad : {"640x360", "640@30", "x360@30", "640x360@0", "16x16@30", "640x360@30x",
                            "8192x360@30", "@30x640"}) {
        EXPECT_NE(ErrorOf({"--pattern", bad}).find("WxH@FPS"), std::string::npos) << bad;
    }
}

TEST(PhoneSimOptions, MorePatternSizesAreEvenAndNeedAPattern) {
    PhoneSimOptions o;
    std::string error;
    const char* args[] = {"zucam-phone-sim", "--pattern", "64x64@5", "--pattern-sizes",
                          "320x240,240x320"};
    ASSERT_EQ(PhoneSimOptions::Parse(5, args, &o, &error), Result::kRun) << error;
    ASSERT_EQ(o.moreSizes.size(), 2u);
    EXPECT_EQ(o.moreSizes[1], std::make_pair(240, 320));
    for (const char* bad : {"320x241", "320x240,", "320", "x240", "16x16", "320x240,,64x64"}) {
        EXPECT_NE(ErrorOf({"--pattern", "64x64@5", "--pattern-sizes", bad}).find("--pattern-sizes"),
                  std::string::npos)
            << bad;
    }
    EXPECT_NE(ErrorOf({"--pattern-sizes", "64x64"}).find("applies to --pattern only"),
              std::string::npos);
}

TEST(PhoneSimOptions, RejectsStructuralMistakes) {
    EXPECT_EQ(ErrorOf({"--bogus"}), "unknown option --bogus");
    EXPECT_EQ(ErrorOf({"stray"}), "unexpected argument 'stray'");
    EXPECT_EQ(ErrorOf({"--port"}), "--port needs a value");
    EXPECT_EQ(ErrorOf({"--udp=1"}), "--udp takes no value");
    EXPECT_EQ(ErrorOf({"--port", "1", "--port", "2"}), "--port given twice");
}

TEST(PhoneSimOptions, RejectsOptionsThatContradictOrDoNothing) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--discover", "5008", "--host", "10.0.0.1"}, "--discover"},
        {{"--discover-timeout", "2"}, "--discover-timeout needs --discover"},
        {{"--video", "a", "--pattern", "64x64@5"}, "exclude each other"},
        {{"--wav", "a", "--tone", "440"}, "exclude each other"},
        {{"--pattern", "64x64@5", "--fps", "10"}, "--fps applies to --video only"},
        {{"--video", "a", "--gop", "10"}, "--gop applies to --pattern only"},
        {{"--wav", "a", "--rate", "8000"}, "--rate applies to --tone only"},
        {{"--channels", "2"}, "--channels applies to --tone only"},
        {{"--block-ms", "10"}, "--block-ms needs --wav or --tone"},
        {{"--tone", "440", "--loop"}, "--loop needs --video or --wav"},
        {{"--udp-chunk", "100"}, "--udp-chunk needs --udp"},
        {{"--tone", "440", "--save-video", "x"}, "--save-video needs"},
        {{"--frames", "3"}, "--frames needs"},
        {{"--no-play", "--udp"}, "--no-play"},
        {{"--no-play", "--tone", "440"}, "--no-play"},
        {{"--tone", "30000", "--rate", "48000"}, "not below half"},
        {{"--tone", "440", "--duration", "2", "--command", "ping@2"}, "after the end"},
    };
    for (const auto& c : cases) {
        std::string error = ErrorOf(c.first);
        EXPECT_NE(error.find(c.second), std::string::npos)
            << c.first[0] << " gave '" << error << "'";
    }
}

TEST(PhoneSimOptions, CommandNamesTimesAndNumbers) {
    Parsed p = ParseArgs({"--no-play", "--command", "record-start@0", "--command", "record-query",
                          "--command", "type:7@3", "--command", "device-name"});
    ASSERT_EQ(p.result, Result::kRun) << p.error;
    ASSERT_EQ(p.options.commands.size(), 4u);
    EXPECT_EQ(p.options.commands[0].subType, 1);
    EXPECT_TRUE(p.options.commands[0].timed);
    EXPECT_EQ(p.options.commands[1].subType, 2);
    EXPECT_EQ(p.options.commands[2].type, 7);
    EXPECT_EQ(p.options.commands[2].subType, -1);
    EXPECT_EQ(p.options.commands[3].type, 1001);

    EXPECT_NE(ErrorOf({"--command", "selfie"}).find("unknown command 'selfie'"), std::string::npos);
    EXPECT_NE(ErrorOf({"--command", "ping@"}).find("bad time"), std::string::npos);
    EXPECT_NE(ErrorOf({"--command", "ping@-1"}).find("bad time"), std::string::npos);
    EXPECT_NE(ErrorOf({"--command", "ping@1s"}).find("bad time"), std::string::npos);
    EXPECT_NE(ErrorOf({"--command", "type:"}).find("type:N"), std::string::npos);
    EXPECT_NE(ErrorOf({"--command", "type:4x"}).find("type:N"), std::string::npos);
}

}  // namespace
}  // namespace phonesim
