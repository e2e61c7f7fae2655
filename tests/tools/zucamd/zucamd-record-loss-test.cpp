// Whatever ends a recording, the file keeps all but its last moments: the
// pictures reach the file within seconds of the record command, whether the
// phone sends sound or not; a kill -9 leaves what was recorded up to then;
// a full disk ends the recording at once, the phone's record query says so
// and zucamd tells the person which file kept what.
//
// The bounds below are the promises themselves (about two seconds of loss),
// with a second's margin for a busy machine; every wait for them is generous.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"
#include "tests/tools/zucamd/media-probe.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLogLimitMs = 30000;
constexpr int kPhoneLimitMs = 90000;
constexpr double kPromisedSeconds = 3.0;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Video packets ffprobe reads in `path` (a recording still being written
// included); 0 when it reads none.
int RecordedPictures(const std::string& path) {
    e2e::ProbedFile probed;
    std::string error;
    if (!e2e::ProbeFile(path, &probed, &error))
        return 0;
    const e2e::ProbedStream* video = probed.Stream("video");
    return video ? static_cast<int>(probed.PacketsOf(*video).size()) : 0;
}

// Seconds of `type` ffprobe reads in `path`.
double RecordedSeconds(const std::string& path, const std::string& type, std::string* error) {
    e2e::ProbedFile probed;
    if (!e2e::ProbeFile(path, &probed, error))
        return 0;
    const e2e::ProbedStream* stream = probed.Stream(type);
    if (!stream)
        return 0;
    const std::vector<e2e::ProbedPacket> packets = probed.PacketsOf(*stream);
    return packets.empty() ? 0 : e2e::SpanSeconds(*stream, packets);
}

// Where the newest packet of `type` in `path` ends, in seconds of the
// recording; 0 when there is none.
double NewestSeconds(const std::string& path, const std::string& type, std::string* error) {
    e2e::ProbedFile probed;
    if (!e2e::ProbeFile(path, &probed, error))
        return 0;
    const e2e::ProbedStream* stream = probed.Stream(type);
    if (!stream)
        return 0;
    const std::vector<e2e::ProbedPacket> packets = probed.PacketsOf(*stream);
    return packets.empty()
               ? 0
               : e2e::StartSeconds(*stream, packets) + e2e::SpanSeconds(*stream, packets);
}

// Each case runs with a phone that sends no sound (false) and one that
// sends a tone (true).
class ZucamdRecordLossTest : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override {
        if (phone_.running()) {
            phone_.signal(true);
            phone_.wait(10000);
        }
        if (zucamd_.running()) {
            EXPECT_EQ(zucamd_.stop(20000), 0) << Log();
        }
    }

    // zucamd with recordings into `saveDir`, behind `wrapper` (a command line
    // that ends by running the rest) when one is given. No camera output of
    // its own: a kill -9 would leave it behind.
    void StartZucamd(const std::string& saveDir, std::vector<std::string> wrapper = {}) {
        std::vector<std::string> argv = std::move(wrapper);
        const std::vector<std::string> zucamd = {
            e2e::Bin("zucamd"),   "--port",     "10080", "--no-announce",
            "--no-camera-output", "--save-dir", saveDir};
        argv.insert(argv.end(), zucamd.begin(), zucamd.end());
        ASSERT_TRUE(e2e::Start(&zucamd_, dir_, "zucamd", argv));
        ASSERT_TRUE(e2e::WaitForText(LogPath(), "serving Wi-Fi phones", kLogLimitMs)) << Log();
    }

    void StartPhone(const std::vector<std::string>& commands) {
        std::vector<std::string> argv = {e2e::Bin("zucam-phone-sim"),
                                         "--port",
                                         "10080",
                                         "--pattern",
                                         "640x360@30",
                                         "--duration",
                                         "120"};
        if (GetParam()) {
            for (const char* option : {"--tone", "1000", "--rate", "44100", "--channels", "2"})
                argv.push_back(option);
        }
        for (const std::string& command : commands) {
            argv.push_back("--command");
            argv.push_back(command);
        }
        ASSERT_TRUE(e2e::Start(&phone_, dir_, "phone", argv));
    }

    // Waits for the recording to start; the moment it was seen.
    Clock::time_point WaitForRecordingStart() {
        EXPECT_TRUE(e2e::WaitForText(LogPath(), "recording to", kLogLimitMs)) << Log();
        return Clock::now();
    }

    std::string OnlyRecording(const std::string& dir) const {
        std::vector<std::string> files = e2e::FilesStartingWith(dir, "ZuCam_recoder[");
        EXPECT_EQ(files.size(), 1u) << Log();
        return files.size() == 1 ? files[0] : std::string();
    }

    std::string LogPath() const { return e2e::ZucamdLog(dir_); }
    std::string Log() const { return e2e::ReadText(LogPath()); }

    zutest::TempDir dir_;
    platform::ChildProcess zucamd_;
    platform::ChildProcess phone_;
};

// Measured against the pictures' own times (the recording's clock), so a
// busy machine that decodes late does not count against the file: when the
// first pictures are in the file, the newest of them is recent.
TEST_P(ZucamdRecordLossTest, PicturesReachTheFileWithinSecondsOfBeingShown) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd(dir_.path()));
    ASSERT_NO_FATAL_FAILURE(StartPhone({"record-start@1"}));
    const Clock::time_point started = WaitForRecordingStart();
    const std::string path = OnlyRecording(dir_.path());
    ASSERT_FALSE(path.empty());
    double newest = 0;
    double recorded = 0;
    std::string error;
    while (SecondsSince(started) < 60 && newest <= 0) {
        // At least this much of the recording has passed when the file is read.
        recorded = SecondsSince(started);
        newest = NewestSeconds(path, "video", &error);
        if (newest <= 0)
            Sleep(50);
    }
    ASSERT_GT(newest, 0) << error << Log();
    EXPECT_LE(recorded - newest, kPromisedSeconds)
        << "after " << recorded << " s the file held pictures up to " << newest << " s";
}

TEST_P(ZucamdRecordLossTest, AKillNineKeepsAllButTheLastTwoSeconds) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd(dir_.path()));
    ASSERT_NO_FATAL_FAILURE(StartPhone({"record-start@1"}));
    const Clock::time_point started = WaitForRecordingStart();
    const std::string path = OnlyRecording(dir_.path());
    ASSERT_FALSE(path.empty());
    while (SecondsSince(started) < 5)
        Sleep(50);
    ASSERT_EQ(Log().find("recording finished"), std::string::npos) << "the recording ended first";
    ASSERT_TRUE(zucamd_.signal(true));
    EXPECT_NE(zucamd_.wait(10000), -1);

    std::string error;
    EXPECT_GE(RecordedSeconds(path, "video", &error), 5.0 - 2.0) << error;
    EXPECT_GE(RecordedSeconds(path, "audio", &error), 5.0 - 2.0) << error;
    int exitCode = -1;
    e2e::DecodeComplaints(path, &exitCode);
    EXPECT_EQ(exitCode, 0);
}

// A closed terminal (SIGHUP) stops zucamd in order: the recording is
// finished and plays cleanly to its end.
TEST_P(ZucamdRecordLossTest, AHangUpFinishesTheRecording) {
    ASSERT_NO_FATAL_FAILURE(StartZucamd(dir_.path()));
    ASSERT_NO_FATAL_FAILURE(StartPhone({"record-start@1"}));
    WaitForRecordingStart();
    const std::string path = OnlyRecording(dir_.path());
    ASSERT_FALSE(path.empty());
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline && RecordedPictures(path) == 0)
        Sleep(100);
    ASSERT_GT(RecordedPictures(path), 0) << Log();
    std::string out;
    ASSERT_EQ(platform::RunProcess({"kill", "-HUP", std::to_string(zucamd_.pid())}, 10000, &out),
              0);
    EXPECT_EQ(zucamd_.wait(30000), 0) << Log();
    EXPECT_NE(Log().find("recording finished"), std::string::npos) << Log();
    int exitCode = -1;
    EXPECT_EQ(e2e::DecodeComplaints(path, &exitCode), "");
    EXPECT_EQ(exitCode, 0);
}

TEST_P(ZucamdRecordLossTest, AFullDiskEndsTheRecordingAndSaysWhichFileKeptIt) {
    const std::string saveDir = dir_.file("small-disk");
    std::vector<std::string> smallDisk;
    if (!e2e::SmallDisk(saveDir, &smallDisk))
        GTEST_SKIP() << "mounting a tmpfs in a private mount namespace needs root";
    ASSERT_NO_FATAL_FAILURE(StartZucamd(saveDir, smallDisk));
    // The phone asks every second whether it is still recording.
    std::vector<std::string> commands = {"record-start@1"};
    for (int at = 2; at <= 60; ++at)
        commands.push_back("record-query@" + std::to_string(at));
    ASSERT_NO_FATAL_FAILURE(StartPhone(commands));
    ASSERT_TRUE(e2e::WaitForText(LogPath(), "recording to", kLogLimitMs)) << Log();

    const std::string notRecording = "record-query: accepted, state 0 (not recording)";
    ASSERT_TRUE(e2e::WaitForText(LogPath(), "No space left on device", 60000)) << Log();
    const Clock::time_point full = Clock::now();
    ASSERT_TRUE(e2e::WaitForText(dir_.file("phone.out"), notRecording, 60000));
    const double waited = SecondsSince(full);
    EXPECT_LE(waited, kPromisedSeconds) << "the phone heard of it after " << waited << " s";
    EXPECT_GT(e2e::CountOf(e2e::ReadText(dir_.file("phone.out")),
                           "record-query: accepted, state 1 (recording)"),
              0)
        << "the phone never saw the recording run";

    // The person at the terminal is told why and which file kept the recording.
    const std::string terminal = dir_.file("zucamd.err");
    EXPECT_TRUE(e2e::WaitForText(terminal, "Recording stopped", kLogLimitMs))
        << e2e::ReadText(terminal);
    const std::string told = e2e::ReadText(terminal);
    EXPECT_NE(told.find("(No space left on device)"), std::string::npos) << told;
    EXPECT_NE(told.find("ZuCam_recoder["), std::string::npos) << told;
    // The file lives in zucamd's mount namespace; copied out while it
    // runs, once the recording has been torn down.
    const std::string theirs = e2e::SeenBy(zucamd_.pid(), saveDir);
    const std::string path = OnlyRecording(theirs);
    ASSERT_FALSE(path.empty());
    EXPECT_NE(told.find(std::filesystem::path(path).filename().string()), std::string::npos)
        << told;
    const std::string copy = dir_.file("recording.mp4");
    std::filesystem::copy_file(path, copy);
    EXPECT_GT(RecordedPictures(copy), 0);
    // Cut back to its last complete fragment, it plays cleanly to its end.
    int exitCode = -1;
    EXPECT_EQ(e2e::DecodeComplaints(copy, &exitCode), "");
    EXPECT_EQ(exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Phones, ZucamdRecordLossTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("WithSound")
                                               : std::string("WithoutSound");
                         });

}  // namespace
