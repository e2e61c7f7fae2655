// zucamd in USB mode end to end: a fake adb reports one phone, zucamd maps the
// phone's command port and the stream port through it, a simulated phone
// streams as if through the mapping, and zucam-camera reads the pictures.
//
// zucamd ends the first process called "adb" of its user when it stops (the
// adb server). So that it can never end an adb outside this test, zucamd runs
// in a private PID namespace with its own /proc. The fake must be called
// "adb" to be found on PATH; it execs a script of another name at once, so
// that ZuCam processes elsewhere on the machine do not take it for an adb
// server while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/listen-socket.h"
#include "platform/paths.h"
#include "platform/process-list.h"
#include "tests/cordlink/fake-adb.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr const char* kSerial = "ZUSIM0001";
const std::string kCommandMapping =
    std::string("[-s][") + kSerial + "][reverse][tcp:10080][tcp:11080]";
const std::string kRemoveAll = "[reverse][--remove-all]";

// One phone attached; every other call succeeds silently.
const char* const kOnePhone =
    "case \"$1\" in\n"
    "  devices) printf 'List of devices attached\\nZUSIM0001              device usb:1-1 "
    "product:zusim model:ZuSim_Phone device:zusim transport_id:1\\n' ;;\n"
    "esac\n"
    "exit 0";

int Count(const std::vector<std::string>& lines, const std::string& wanted) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), wanted));
}

// The text between `marker` and the next `end` in `text`; "" when absent.
std::string TextAfter(const std::string& text, const std::string& marker, const std::string& end) {
    size_t at = text.find(marker);
    if (at == std::string::npos)
        return std::string();
    at += marker.size();
    size_t stop = text.find(end, at);
    return stop == std::string::npos ? std::string() : text.substr(at, stop - at);
}

// The line of `text` that starts with `prefix`, without the prefix; "" when none.
std::string LineAfter(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line.substr(prefix.size());
    }
    return std::string();
}

bool IsPortText(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

// The calls ZuCam makes: the device list, a mapping on the phone, removing
// every mapping.
bool IsKnownCall(const std::string& call) {
    if (call == "[devices][-l]" || call == kRemoveAll)
        return true;
    const std::string mapping = std::string("[-s][") + kSerial + "][reverse][tcp:";
    if (call.compare(0, mapping.size(), mapping) != 0)
        return false;
    const std::string remote = TextAfter(call, mapping, "]");
    const std::string local = TextAfter(call, mapping + remote + "][tcp:", "]");
    return IsPortText(remote) && IsPortText(local) &&
           call == mapping + remote + "][tcp:" + local + "]";
}

class ZucamdUsbTest : public ::testing::Test {
protected:
    explicit ZucamdUsbTest(const char* adbBody = kOnePhone) : adb_(adbBody) {}

    void SetUp() override {
        // An adb beside zucamd would be used instead of the fake on PATH, and
        // could be a real one that starts a real adb server.
        ASSERT_FALSE(platform::FileExists(e2e::BinDir() + "/adb"))
            << e2e::BinDir() << "/adb exists: zucamd would run it instead of the fake";
        const std::string bin = dir_.file("bin");
        ASSERT_TRUE(platform::MakeDirs(bin));
        const std::string wrapper = bin + "/adb";
        ASSERT_GT(
            platform::WriteWholeFile(wrapper, "#!/bin/sh\nexec '" + adb_.path() + "' \"$@\"\n"), 0);
        std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
        path_ = bin + ":" + platform::GetEnv("PATH");
    }

    void TearDown() override {
        if (zucamdPid_ > 0 && zucamd_.running()) {
            platform::TerminateProcess(zucamdPid_);
            if (zucamd_.wait(10000) == -1)
                zucamd_.signal(true);  // --kill-child takes zucamd along
        }
    }

    // `before` runs first inside the namespace, in the background; zucamd
    // starts once the file `ready` (in the test's folder) is there, at most
    // 10 s later.
    void StartZucamd(const std::string& before = std::string(),
                     const std::string& ready = std::string()) {
        std::vector<std::string> argv = {e2e::Bin("zucamd"), "--usb", "--no-announce", "--save-dir",
                                         dir_.path()};
        const std::string wait =
            ready.empty() ? std::string()
                          : "i=0; while [ ! -e \"$ZUCAM_TEST_DIR/" + ready +
                                "\" ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done; ";
        if (!before.empty())
            argv.insert(argv.begin(), {"sh", "-c", before + " & " + wait + "exec \"$0\" \"$@\""});
        ASSERT_TRUE(e2e::StartInPidNamespace(&zucamd_, dir_, "zucamd", argv,
                                             {{"PATH", path_}, {"ZUCAM_TEST_DIR", dir_.path()}},
                                             &zucamdPid_))
            << e2e::ReadText(e2e::ZucamdLog(dir_));
    }

    // Waits until the fake has been called with `call` at least `times` times.
    bool WaitForCall(const std::string& call, int times, int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Count(adb_.calls(), call) >= times)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // What zucamd left to read once it ended: its terminal, where a
    // sanitizer reports, and the end of its log.
    std::string Ended() const {
        const std::string log = e2e::ReadText(e2e::ZucamdLog(dir_));
        return "\n--- zucamd stderr ---\n" + e2e::ReadText(dir_.file("zucamd.err")) +
               "\n--- zucamd log (end) ---\n" +
               log.substr(log.size() > 8192 ? log.size() - 8192 : 0);
    }

    std::string Calls() const {
        std::string all;
        for (const std::string& call : adb_.calls())
            all += call + "\n";
        return all;
    }

    int RunPhone(const std::string& tag, std::vector<std::string> args) {
        args.insert(args.begin(), e2e::Bin("zucam-phone-sim"));
        platform::ChildProcess phone;
        if (!e2e::Start(&phone, dir_, tag, args))
            return -1;
        int code = phone.wait(60000);
        if (code == -1)
            ADD_FAILURE() << "zucam-phone-sim did not end within 60 s";
        return code;
    }

    zutest::TempDir dir_;
    cordlinktest::FakeAdb adb_;
    std::string path_;
    platform::ChildProcess zucamd_;
    long zucamdPid_ = -1;
};

TEST_F(ZucamdUsbTest, PhoneOnTheCableStreamsToTheCameraThroughTheMappedPorts) {
    StartZucamd();
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "serving USB phones on port 11080", 15000))
        << e2e::ReadText(e2e::ZucamdLog(dir_));
    // The queue is machine-wide: pictures from another ZuCam would prove nothing.
    ASSERT_EQ(e2e::ReadText(e2e::ZucamdLog(dir_)).find("camera queue cannot be opened"),
              std::string::npos)
        << "another ZuCam holds the camera queue";
    // The scan finds the phone and maps its port 10080 to ours.
    ASSERT_TRUE(WaitForCall(kCommandMapping, 1, 10000)) << Calls();
    EXPECT_EQ(adb_.calls().front(), "[devices][-l]");

    platform::ChildProcess camera;
    ASSERT_TRUE(e2e::Start(&camera, dir_, "camera",
                           {e2e::Bin("zucam-camera"), "--y4m", dir_.file("camera.y4m"), "--frames",
                            "30", "--timeout", "10"}));
    // The phone reaches 127.0.0.1:11080 as its own port 10080 would through
    // the mapping.
    const std::string geometry = std::to_string(kWidth) + "x" + std::to_string(kHeight) + "@30";
    ASSERT_EQ(RunPhone("phone", {"--port", "11080", "--pattern", geometry, "--frames", "90",
                                 "--tone", "1000", "--command", "ping"}),
              0)
        << e2e::ReadText(dir_.file("phone.out")) << e2e::ReadText(dir_.file("phone.err"));
    EXPECT_EQ(camera.wait(30000), 0) << e2e::ReadText(dir_.file("camera.err"));

    // The stream port the server opened was mapped to itself on the phone.
    const std::string phoneOut = e2e::ReadText(dir_.file("phone.out"));
    const std::string reply = LineAfter(phoneOut, "reply push-play: ");
    const std::string port = TextAfter(reply, "\"port\":", "}");
    ASSERT_FALSE(port.empty()) << phoneOut;
    EXPECT_EQ(port, "11081");
    const std::string key = TextAfter(reply, "\"key\":\"", "\"");
    EXPECT_EQ(reply, "{\"data\":{\"bite_rate\":4,\"key\":\"" + key + "\",\"port\":" + port +
                         "},\"type\":0,\"version\":\"1.0\"}");
    EXPECT_TRUE(WaitForCall(
        std::string("[-s][") + kSerial + "][reverse][tcp:" + port + "][tcp:" + port + "]", 1, 5000))
        << Calls();
    EXPECT_NE(phoneOut.find("ping: the desktop is alive"), std::string::npos);

    // The camera served the phone's pictures, in order.
    std::vector<e2e::Picture> pictures;
    std::string error;
    ASSERT_TRUE(e2e::ReadY4m(dir_.file("camera.y4m"), &pictures, &error)) << error;
    ASSERT_EQ(pictures.size(), 30u);
    int last = -1;
    for (const e2e::Picture& p : pictures) {
        ASSERT_EQ(p.width, kWidth);
        ASSERT_EQ(p.height, kHeight);
        int index = e2e::PatternIndex(p);
        ASSERT_GE(index, 0) << "picture without a clean frame number";
        EXPECT_LT(index, 90);
        EXPECT_GT(index, last) << "pictures out of order";
        last = index;
    }

    // The disconnection restarts the scan, and the first scan after it maps
    // the command port again.
    EXPECT_TRUE(WaitForCall(kCommandMapping, 2, 10000)) << Calls();

    // Command 6 is not one of the USB server's: a failure reply.
    EXPECT_EQ(RunPhone("hold", {"--port", "11080", "--no-play", "--command", "hold"}), 1);
    const std::string holdOut = e2e::ReadText(dir_.file("hold.out"));
    EXPECT_NE(holdOut.find(R"(reply hold: {"type":1,"version":"1.0"})"), std::string::npos)
        << holdOut;
    EXPECT_NE(e2e::ReadText(dir_.file("hold.err"))
                  .find("zucam-phone-sim: error: hold: refused by the desktop (reply type 1)"),
              std::string::npos);

    // A clean stop: the ADB tools go with the server and remove every
    // mapping (on all devices: no serial). Whether the queue went is not
    // asked here: another ZuCam on the machine may hold the name by now.
    ASSERT_TRUE(platform::TerminateProcess(zucamdPid_));
    EXPECT_EQ(zucamd_.wait(15000), 0) << Ended();
    const std::vector<std::string> calls = adb_.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), kRemoveAll) << Calls() << e2e::ReadText(e2e::ZucamdLog(dir_));
    EXPECT_EQ(Count(calls, kRemoveAll), 1) << Calls();

    // Every call went to the fake and was one of the three kinds ZuCam makes;
    // nothing asked for a server of its own.
    for (const std::string& call : calls)
        EXPECT_TRUE(IsKnownCall(call)) << call;
}

// An adb server as the real one runs: a process named "adb" started with
// "fork-server server" that stays until it is ended. A copy of bash under
// that name notes that it runs (<file>.up), waits for the signal and notes
// SIGTERM in a file (named by its first argument); the namespace's own end is
// SIGKILL, which notes nothing.
std::string AdbServerCommand(const std::string& endedFile) {
    return "\"$ZUCAM_TEST_DIR/srv/adb\" -c ': > \"$0.up\"; trap \": > \\\"$0\\\"; exit 0\" TERM; "
           "while :; do sleep 1000 & wait $!; done' \"$ZUCAM_TEST_DIR/" +
           endedFile + "\" fork-server server >/dev/null 2>&1 </dev/null";
}

// The fake's first device listing starts "our" adb server, as a real adb
// does when none runs.
const std::string kServerStartingAdb =
    "case \"$1\" in\n"
    "  devices)\n"
    "    if [ ! -e \"$ZUCAM_TEST_DIR/started\" ]; then\n"
    "      : > \"$ZUCAM_TEST_DIR/started\"\n      " +
    AdbServerCommand("ours-ended") +
    " &\n"
    // As a real adb, the call returns once its server runs: until then the
    // server is still the call's own child, not yet a server.
    "      i=0; while [ ! -e \"$ZUCAM_TEST_DIR/ours-ended.up\" ] && [ $i -lt 500 ]; do\n"
    "        sleep 0.01; i=$((i+1)); done\n"
    "    fi\n"
    "    printf 'List of devices attached\\n' ;;\n"
    "esac\n"
    "exit 0";

class ZucamdAdbServerTest : public ZucamdUsbTest {
protected:
    ZucamdAdbServerTest() : ZucamdUsbTest(kServerStartingAdb.c_str()) {}
};

TEST_F(ZucamdAdbServerTest, OnlyTheAdbServerZucamdStartedIsEndedAtExit) {
    ASSERT_TRUE(platform::MakeDirs(dir_.file("srv")));
    std::filesystem::copy_file("/bin/bash", dir_.file("srv/adb"));
    // An Android developer's adb server runs before zucamd starts.
    StartZucamd(AdbServerCommand("developers-ended"), "developers-ended.up");
    // A few scans: the first starts our server, the next one notices it.
    ASSERT_TRUE(WaitForCall("[devices][-l]", 3, 20000)) << Calls();
    ASSERT_TRUE(platform::FileExists(dir_.file("started")));
    ASSERT_TRUE(platform::TerminateProcess(zucamdPid_));
    EXPECT_EQ(zucamd_.wait(15000), 0) << Ended();
    const std::string log = e2e::ReadText(e2e::ZucamdLog(dir_));
    EXPECT_EQ(e2e::CountOf(log, "ending the adb server"), 1) << log;
    EXPECT_FALSE(platform::FileExists(dir_.file("developers-ended")))
        << "zucamd ended an adb server it did not start";
}

TEST_F(ZucamdUsbTest, WithoutAdbItSaysSoOnceAndKeepsLooking) {
    path_ = dir_.file("no-adb-here");
    ASSERT_TRUE(platform::MakeDirs(path_));
    StartZucamd();
    // Three scans, each one finding no adb.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline &&
           e2e::CountOf(e2e::ReadText(e2e::ZucamdLog(dir_)), "no adb device found") < 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GE(e2e::CountOf(e2e::ReadText(e2e::ZucamdLog(dir_)), "no adb device found"), 3);
    EXPECT_EQ(e2e::ReadText(dir_.file("zucamd.err")),
              "zucamd: adb is not installed, so no USB phone can be reached: install it "
              "(apt-get install adb) or put adb beside zucamd; zucamd keeps looking\n");
    EXPECT_NE(e2e::ReadText(dir_.file("zucamd.out"))
                  .find("zucamd: next: plug in an Android phone with USB debugging on"),
              std::string::npos)
        << e2e::ReadText(dir_.file("zucamd.out"));
    ASSERT_TRUE(platform::TerminateProcess(zucamdPid_));
    EXPECT_EQ(zucamd_.wait(15000), 0) << Ended();
}

TEST_F(ZucamdUsbTest, OccupiedPortIsReportedAndNothingIsMapped) {
    platform::ListenSocket occupant;
    std::string error;
    ASSERT_TRUE(occupant.listen("0.0.0.0", 11080, &error)) << error;
    StartZucamd();
    EXPECT_EQ(zucamd_.wait(15000), 1);
    EXPECT_NE(e2e::ReadText(e2e::ZucamdLog(dir_)).find("无法启动USB传输服务，由于11080端口被占用"),
              std::string::npos)
        << e2e::ReadText(e2e::ZucamdLog(dir_));
    // Nothing listens, so no phone may be pointed here.
    EXPECT_TRUE(adb_.calls().empty()) << Calls();
}

// An adb that prints without end, and leaves a process behind at every call.
const char* const kEndlessAdb =
    "\"$ZUCAM_TEST_DIR/zucam-leftover\" 300 &\n"
    "exec yes 'AAAAAAAAAAAAAAAA\tdevice usb:1-1 product:p model:m device:d'";

class ZucamdEndlessAdbTest : public ZucamdUsbTest {
protected:
    ZucamdEndlessAdbTest() : ZucamdUsbTest(kEndlessAdb) {}
};

// Running, not a zombie.
std::vector<long> Alive(const std::vector<long>& pids) {
    std::vector<long> alive;
    for (long pid : pids) {
        const std::string stat = e2e::ReadText("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z')
            alive.push_back(pid);
    }
    return alive;
}

bool NoLeftoverWithin(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Alive(platform::FindProcessesByName("zucam-leftover")).empty()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

long long FolderBytes(const std::string& dir) {
    long long total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        total += entry.is_regular_file() ? static_cast<long long>(entry.file_size()) : 0;
    return total;
}

// Each scan is cut off once adb has printed too much; what the calls started
// ends with them, the log stays small, and zucamd still stops in order.
TEST_F(ZucamdEndlessAdbTest, EndlessAdbLeavesABoundedLogAndNoOrphan) {
    std::filesystem::copy_file("/bin/sleep", dir_.file("zucam-leftover"));
    StartZucamd();
    const std::string log = e2e::ZucamdLog(dir_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < deadline &&
           e2e::CountOf(e2e::ReadText(log), "adb printed more than") < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_GE(e2e::CountOf(e2e::ReadText(log), "adb printed more than"), 3) << Calls();
    EXPECT_TRUE(NoLeftoverWithin(10000)) << "an adb call left a process behind";
    ASSERT_TRUE(platform::TerminateProcess(zucamdPid_));
    EXPECT_EQ(zucamd_.wait(30000), 0) << Ended();
    EXPECT_LE(FolderBytes(platform::DirName(log)), 25LL * 1024 * 1024);
    EXPECT_TRUE(NoLeftoverWithin(10000));
}

}  // namespace
