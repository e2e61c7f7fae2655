#include "tools/zucam-camera/camera-options.h"

#include <gtest/gtest.h>

namespace {

CameraOptions::Parsed Parse(const std::vector<std::string>& args, CameraOptions* options,
                            std::string* error) {
    return options->parse(args, error);
}

TEST(CameraOptions, FullCommandLine) {
    CameraOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--y4m", "-", "--frames", "25", "--timeout", "1.5", "--fps", "60", "--stats"},
                    &options, &error),
              CameraOptions::Parsed::Run)
        << error;
    EXPECT_EQ(options.y4mPath, "-");
    EXPECT_EQ(options.frames, 25);
    EXPECT_DOUBLE_EQ(options.timeoutSeconds, 1.5);
    EXPECT_EQ(options.fps, 60);
    EXPECT_TRUE(options.stats);
    EXPECT_EQ(options.copyPauseMs, 0);
}

TEST(CameraOptions, DefaultsWaitForEverWithoutLimit) {
    CameraOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--y4m", "out.y4m"}, &options, &error), CameraOptions::Parsed::Run);
    EXPECT_EQ(options.frames, 0);
    EXPECT_EQ(options.timeoutSeconds, 0);
    EXPECT_EQ(options.fps, 30);
    EXPECT_FALSE(options.stats);
}

TEST(CameraOptions, CameraOutputsAndTheirFixedFormat) {
    CameraOptions options;
    std::string error;
    ASSERT_EQ(Parse({}, &options, &error), CameraOptions::Parsed::Run) << error;
    EXPECT_EQ(options.output, CameraOptions::Output::Auto) << "no output means --sink auto";
    EXPECT_EQ(options.width, 1280);
    EXPECT_EQ(options.height, 720);
    EXPECT_EQ(options.fps, 30);
    EXPECT_FALSE(options.verbose);

    CameraOptions v4l2;
    ASSERT_EQ(Parse({"--v4l2", "/dev/video7", "--size", "640x360", "--fps", "15", "--verbose"},
                    &v4l2, &error),
              CameraOptions::Parsed::Run)
        << error;
    EXPECT_EQ(v4l2.output, CameraOptions::Output::V4l2);
    EXPECT_EQ(v4l2.v4l2Device, "/dev/video7");
    EXPECT_EQ(v4l2.width, 640);
    EXPECT_EQ(v4l2.height, 360);
    EXPECT_TRUE(v4l2.verbose);

    CameraOptions pipewire;
    ASSERT_EQ(Parse({"--sink", "pipewire", "--pipewire"}, &pipewire, &error),
              CameraOptions::Parsed::Run)
        << "the same output twice is no conflict";
    EXPECT_EQ(pipewire.output, CameraOptions::Output::PipeWire);
    EXPECT_TRUE(pipewire.cameraOutput());
}

TEST(CameraOptions, HelpWinsOverEverythingElse) {
    CameraOptions options;
    std::string error;
    EXPECT_EQ(Parse({"--frames", "x", "--help"}, &options, &error), CameraOptions::Parsed::Help);
    EXPECT_EQ(Parse({"--bogus", "--version"}, &options, &error), CameraOptions::Parsed::Version);
    EXPECT_EQ(Parse({"-h"}, &options, &error), CameraOptions::Parsed::Help);
    EXPECT_EQ(Parse({"--y4m", "-", "--help"}, &options, &error), CameraOptions::Parsed::Help);
    std::string usage = CameraOptions::UsageText();
    EXPECT_NE(usage.find("--pause-during-copy"), std::string::npos);
    EXPECT_NE(usage.find("exits with code 5"), std::string::npos);
}

TEST(CameraOptions, TheWaitingPictureFollowsTheLanguage) {
    CameraOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--lang", "zh"}, &options, &error), CameraOptions::Parsed::Run) << error;
    EXPECT_EQ(options.language, "zh");
    // --lang wins over $ZUCAM_LANG, which wins over the locale.
    EXPECT_TRUE(CameraOptions::Chinese("zh", "en", "en_US.UTF-8"));
    EXPECT_FALSE(CameraOptions::Chinese("en", "zh", "zh_CN.UTF-8"));
    EXPECT_TRUE(CameraOptions::Chinese("", " ZH ", "C"));
    EXPECT_FALSE(CameraOptions::Chinese("", "en", "zh_TW.UTF-8"));
    // Anything else in $ZUCAM_LANG leaves it to the locale.
    EXPECT_TRUE(CameraOptions::Chinese("", "fr", "zh_CN.UTF-8"));
    EXPECT_FALSE(CameraOptions::Chinese("", "", "de_DE.UTF-8"));
    EXPECT_FALSE(CameraOptions::Chinese("", "", ""));
}

TEST(CameraOptions, BadCommandLinesSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string mention;
    };
    const Case cases[] = {
        {{"--y4m"}, "needs a value"},
        {{"--y4m", ""}, "bad value"},
        {{"--y4m", "-", "--frames", "0"}, "--frames"},
        {{"--y4m", "-", "--frames", "-3"}, "--frames"},
        {{"--y4m", "-", "--frames", "12x"}, "--frames"},
        {{"--y4m", "-", "--frames", "99999999999999999999999"}, "--frames"},
        {{"--y4m", "-", "--timeout", "0"}, "--timeout"},
        {{"--y4m", "-", "--timeout", "nan"}, "--timeout"},
        {{"--y4m", "-", "--timeout", "inf"}, "--timeout"},
        {{"--y4m", "-", "--fps", "0"}, "--fps"},
        {{"--y4m", "-", "--pause-during-copy", "-1"}, "--pause-during-copy"},
        {{"--y4m", "-", "--v4l2"}, "--v4l2 needs a value"},
        {{"--y4m", "-", "--pipewire"}, "one output only"},
        {{"--pipewire", "--v4l2", "/dev/video3"}, "one output only"},
        {{"--sink", "v4l2"}, "auto or pipewire"},
        {{"--size", "1281x720"}, "even sides"},
        {{"--size", "1280"}, "--size"},
        {{"--size", "8x8"}, "--size"},
        {{"--size", "x720"}, "--size"},
        {{"--pipewire", "--timeout", "3"}, "--y4m only"},
        {{"--timeout", "3"}, "--y4m only"},
        {{"extra"}, "unknown option"},
        {{"--lang", "de"}, "zh or en"},
        {{"--lang"}, "--lang needs a value"},
    };
    for (const Case& c : cases) {
        CameraOptions options;
        std::string error;
        EXPECT_EQ(Parse(c.args, &options, &error), CameraOptions::Parsed::Error)
            << testing::PrintToString(c.args);
        EXPECT_NE(error.find(c.mention), std::string::npos) << error;
    }
}

}  // namespace
