#include "cordlink/qadb-tools.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cordlink/adb-program.h"
#include "platform/child-process.h"
#include "platform/process-list.h"
#include "tests/cordlink/fake-adb.h"
#include "tests/cordlink/qt-app-test.h"

namespace {

using cordlinktest::FakeAdb;
using Strings = std::vector<std::string>;

const char* const kDevicesOutput =
    "printf 'List of devices attached\\n"
    "0123456789ABCDEF       device usb:1-1 product:sdk model:Pixel device:generic "
    "transport_id:1\\n'";

// Answers each command the way a healthy adb with one phone does.
std::string HealthyAdb() {
    return std::string("case \"$*\" in\n") + "  'devices -l') " + kDevicesOutput + " ;;\n" +
           "  'reverse --list') printf 'host-7 tcp:10080 tcp:11080\\nhost-7 tcp:5000 tcp:6000\\n' "
           ";;\n" +
           "esac\nexit 0";
}

class QAdbToolsTest : public cordlinktest::QtAppTest {};

TEST_F(QAdbToolsTest, EachOperationRunsItsArgumentList) {
    FakeAdb fake(HealthyAdb());
    {
        zu::QAdbTools tools(fake.widePath());
        EXPECT_EQ(zu::AdbProgramPath(), QString::fromStdString(fake.path()));

        const auto devices = tools.findUsbDevice();
        ASSERT_EQ(devices.size(), 1u);
        EXPECT_EQ(devices.front().serial, "0123456789ABCDEF");
        EXPECT_EQ(devices.front().detail,
                  "usb:1-1 product:sdk model:Pixel device:generic transport_id:1");

        EXPECT_TRUE(tools.adbReverse(QString(), 10080, 11080));
        EXPECT_TRUE(tools.adbReverse(QStringLiteral("0123456789ABCDEF"), 10080, 11080));

        const auto mappings = tools.adbGetPortConnections();
        ASSERT_EQ(mappings.size(), 2u);
        EXPECT_EQ(mappings.front().name, "host-7");
        EXPECT_EQ(mappings.front().remotePort, 10080);
        EXPECT_EQ(mappings.front().localPort, 11080);
        EXPECT_EQ(mappings.back().remotePort, 5000);

        EXPECT_TRUE(tools.adbRemoveReverse());
    }
    EXPECT_EQ(fake.calls(), (Strings{"[devices][-l]", "[reverse][tcp:10080][tcp:11080]",
                                     "[-s][0123456789ABCDEF][reverse][tcp:10080][tcp:11080]",
                                     "[reverse][--list]", "[reverse][--remove-all]",
                                     // from the destructor
                                     "[reverse][--remove-all]"}));
    EXPECT_GE(QtAppTest::Count("AdbProcessImpl::out:List of devices attached"), 1);
}

TEST_F(QAdbToolsTest, DeviceListArrivingInChunksKeepsEveryLine) {
    // Chunks end between lines, inside a line and inside the state word.
    FakeAdb fake(
        "printf 'List of devices attached\\nAAA\\tdevice usb:1-1\\n'; sleep 0.2\n"
        "printf 'BBB\\tdevice usb:1-2\\n'; sleep 0.2\n"
        "printf 'CCC\\tdev'; sleep 0.2\n"
        "printf 'ice usb:1-3\\nDDD  '; sleep 0.2\n"
        "printf ' device usb:1-4\\r\\n'");
    zu::QAdbTools tools(fake.widePath());
    const auto list = tools.findUsbDevice();
    const std::vector<zu::DeviceInfo> devices(list.begin(), list.end());
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].serial, "AAA");
    EXPECT_EQ(devices[0].detail, "usb:1-1");
    EXPECT_EQ(devices[1].serial, "BBB");
    EXPECT_EQ(devices[1].detail, "usb:1-2");
    EXPECT_EQ(devices[2].serial, "CCC");
    EXPECT_EQ(devices[2].detail, "usb:1-3");
    EXPECT_EQ(devices[3].serial, "DDD");
    EXPECT_EQ(devices[3].detail, "usb:1-4");
    // The output really came in pieces.
    EXPECT_GE(QtAppTest::Count("AdbProcessImpl::out:"), 4);
}

TEST_F(QAdbToolsTest, UnauthorizedAndErrorOutputGiveNoDevice) {
    FakeAdb fake(
        "case \"$*\" in\n"
        "  'devices -l') printf 'List of devices attached\\r\\n"
        "0123456789ABCDEF       unauthorized usb:1-1 transport_id:2\\r\\n' ;;\n"
        "  'reverse --list') printf 'error: no devices/emulators found\\n' ;;\n"
        "esac");
    zu::QAdbTools tools(fake.widePath());
    EXPECT_TRUE(tools.findUsbDevice().empty());
    EXPECT_TRUE(tools.adbGetPortConnections().empty());
}

TEST_F(QAdbToolsTest, NonZeroExitFailsEvenWithOutput) {
    FakeAdb fake(std::string(kDevicesOutput) +
                 "\nprintf 'host tcp:1 tcp:2\\n'\n"
                 "echo 'adb: error: no devices/emulators found' >&2\nexit 1");
    zu::QAdbTools tools(fake.widePath());
    EXPECT_TRUE(tools.findUsbDevice().empty());
    EXPECT_TRUE(tools.adbGetPortConnections().empty());
    EXPECT_FALSE(tools.adbReverse(QStringLiteral("X"), 10080, 11080));
    EXPECT_FALSE(tools.adbRemoveReverse());
    EXPECT_EQ(QtAppTest::Count("AER_ERROR_EXEC"), 4);
    EXPECT_GE(QtAppTest::Count("AdbProcessImpl::error:adb: error: no devices/emulators found"), 4);
    EXPECT_GE(QtAppTest::Count("adb return 1 exit status NormalExit"), 4);
}

TEST_F(QAdbToolsTest, CrashedAdbFails) {
    FakeAdb fake(std::string(kDevicesOutput) + "\nkill -SEGV $$");
    zu::QAdbTools tools(fake.widePath());
    int done = 0;
    QObject::connect(&tools, &zu::QAdbTools::adbOperateDone, [&](zu::OperateType) { ++done; });
    EXPECT_TRUE(tools.findUsbDevice().empty());
    // The crash reports twice (process error, then exit); the first one ends
    // the call and drops every connection.
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(tools.adbReverse(QString(), 1, 2));
    EXPECT_GE(QtAppTest::Count("qprocess start error:"), 2);
}

TEST_F(QAdbToolsTest, MissingProgramFailsEveryCall) {
    zutest::TempDir dir;
    const std::string missing = dir.file("no-such-dir/adb");
    zu::QAdbTools tools(std::wstring(missing.begin(), missing.end()));
    std::vector<zu::OperateType> done;
    auto listen = [&] {
        QObject::connect(&tools, &zu::QAdbTools::adbOperateDone,
                         [&](zu::OperateType type) { done.push_back(type); });
    };
    listen();
    EXPECT_TRUE(tools.findUsbDevice().empty());
    listen();
    EXPECT_FALSE(tools.adbReverse(QString(), 10080, 11080));
    listen();
    EXPECT_TRUE(tools.adbGetPortConnections().empty());
    listen();
    EXPECT_FALSE(tools.adbRemoveReverse());
    EXPECT_EQ(done, (std::vector<zu::OperateType>{zu::FindDevice, zu::Reverse, zu::ListReverse,
                                                  zu::RemoveReverse}));
    EXPECT_EQ(QtAppTest::Count("adb not found"), 4);
}

TEST_F(QAdbToolsTest, OutsideConnectionsAreDroppedWhenAnOperationEnds) {
    FakeAdb fake(HealthyAdb());
    zu::QAdbTools tools(fake.widePath());
    std::vector<zu::OperateType> done;
    QObject::connect(&tools, &zu::QAdbTools::adbOperateDone,
                     [&](zu::OperateType type) { done.push_back(type); });
    EXPECT_TRUE(tools.adbReverse(QString(), 10080, 11080));
    EXPECT_EQ(done, std::vector<zu::OperateType>{zu::Reverse});
    EXPECT_EQ(tools.findUsbDevice().size(), 1u);
    EXPECT_EQ(done, std::vector<zu::OperateType>{zu::Reverse});
}

TEST_F(QAdbToolsTest, HungAdbIsKilledAfterTheWaitLimit) {
    zu::SetAdbWaitLimit(700);
    FakeAdb fake(std::string(kDevicesOutput) + "\nexec sleep 30");
    zu::QAdbTools tools(fake.widePath());

    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(tools.findUsbDevice().empty());
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 600);
    EXPECT_LT(elapsed, 4000);
    const long pid = fake.lastPid();
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(platform::ProcessExists(pid));
    EXPECT_EQ(QtAppTest::Count("adb timed out after 700 ms: devices -l"), 1);

    clock.restart();
    EXPECT_FALSE(tools.adbReverse(QStringLiteral("S"), 10080, 11080));
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_FALSE(platform::ProcessExists(fake.lastPid()));
}

// Running, not a zombie: a killed process whose parent is gone may wait a
// moment for init to reap it.
bool Alive(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

bool GoneWithin(const std::vector<long>& pids, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool any = false;
        for (long pid : pids)
            any = any || Alive(pid);
        if (!any)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<long> PidsIn(const std::string& path) {
    std::vector<long> pids;
    std::ifstream in(path);
    for (long pid; in >> pid;)
        pids.push_back(pid);
    return pids;
}

// adb that prints without end, or a list far longer than any real one: the
// call is cut off, fails, its adb ends, one line says so, and the log gets
// only the beginning.
TEST_F(QAdbToolsTest, OutputPastTheBoundEndsTheCall) {
    const std::vector<std::string> bodies = {
        "exec yes 'AAAAAAAAAAAAAAAA\tdevice usb:1-1'",
        // A program, not a shell loop: the list must outrun the bound even
        // on a busy machine, before any wait for adb runs out.
        "printf 'List of devices attached\n'; "
        "exec seq -f \"S%06.0f$(printf '\\t')device usb:1-1 product:p model:m device:d\" 0 299999",
    };
    const int earlier = QtAppTest::Messages().size();
    for (const std::string& body : bodies) {
        FakeAdb fake(body);
        zu::QAdbTools tools(fake.widePath());
        const int before =
            QtAppTest::Count("adb printed more than 1048576 bytes; ended: devices -l");
        EXPECT_TRUE(tools.findUsbDevice().empty()) << body;
        EXPECT_EQ(QtAppTest::Count("adb printed more than 1048576 bytes; ended: devices -l"),
                  before + 1);
        EXPECT_TRUE(GoneWithin({fake.lastPid()}, 10000));
    }
    // Four calls: each listing and each destructor's mapping removal.
    int logged = 0;
    const QStringList messages = QtAppTest::Messages();
    for (int i = earlier; i < messages.size(); ++i) {
        if (messages[i].startsWith(QStringLiteral("AdbProcessImpl::out:")))
            logged += messages[i].size();
    }
    EXPECT_LT(logged, 4 * (4096 + 100));
}

// Whatever an adb call starts ends with the call, whether adb ends by itself
// or is killed; an adb server it starts is left to the session.
TEST_F(QAdbToolsTest, WhatAnAdbCallStartsEndsWithIt) {
    FakeAdb fake(
        "d=$(dirname \"$0\")\n"
        "sleep 300 & echo $! >> \"$d/children\"\n"
        "sh -c 'sleep 300 & echo $! >> \"$0\"; exec sleep 300' \"$d/children\" &\n"
        "echo $! >> \"$d/children\"\n"
        "case \"$*\" in\n"
        "  'devices -l') printf 'List of devices attached\n' ;;\n"
        "  'reverse --list') exec sleep 300 ;;\n"
        "esac\nexit 0");
    const std::string children = std::filesystem::path(fake.path()).parent_path() / "children";
    zu::SetAdbWaitLimit(500);
    zu::QAdbTools tools(fake.widePath());
    EXPECT_TRUE(tools.findUsbDevice().empty());
    EXPECT_TRUE(tools.adbGetPortConnections().empty());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // Two a call for sure; the inner shell may be ended before it writes its own.
    while (PidsIn(children).size() < 4 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::vector<long> started = PidsIn(children);
    EXPECT_GE(started.size(), 4u);
    EXPECT_TRUE(GoneWithin(started, 10000));
}

std::atomic<bool> g_stopRequested{false};
bool StopRequested() {
    return g_stopRequested.load();
}

// A stop request ends the call that waits for a hung adb at once, and the
// calls on the way out wait a second at most, not adb's whole limit.
TEST_F(QAdbToolsTest, AStopRequestCutsAHungCallShort) {
    FakeAdb fake("exec sleep 300");
    g_stopRequested = false;
    zu::SetAdbStopCheck(&StopRequested);
    {
        zu::QAdbTools tools(fake.widePath());
        QTimer::singleShot(200, [] { g_stopRequested = true; });
        EXPECT_TRUE(tools.findUsbDevice().empty());
        EXPECT_EQ(QtAppTest::Count("adb call cut short: the program is stopping: devices -l"), 1);
        EXPECT_TRUE(GoneWithin({fake.lastPid()}, 10000));
    }
    zu::SetAdbStopCheck(nullptr);
    EXPECT_EQ(QtAppTest::Count("adb timed out after 1000 ms: reverse --remove-all"), 1);
    EXPECT_EQ(fake.calls(), (Strings{"[devices][-l]", "[reverse][--remove-all]"}));
}

TEST_F(QAdbToolsTest, CallArrivingDuringAWaitRunsAfterIt) {
    FakeAdb fake(
        "case \"$*\" in\n"
        "  'devices -l') sleep 0.5; printf 'List of devices attached\\nAAA\\tdevice usb:1\\n' ;;\n"
        "  'reverse tcp:'*) exit 0 ;;\n"
        "  'reverse --list') printf 'h tcp:1 tcp:2\\n' ;;\n"
        "esac");
    zu::QAdbTools tools(fake.widePath());
    bool innerReverse = false;
    std::list<zu::PortConnection> innerMappings;
    // The USB server's stream-port mapping arrives as a queued call while the
    // device scan waits.
    QTimer::singleShot(100, [&] {
        innerReverse = tools.adbReverse(QStringLiteral("AAA"), 5000, 5000);
        innerMappings = tools.adbGetPortConnections();
    });
    const auto devices = tools.findUsbDevice();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices.front().serial, "AAA");
    EXPECT_TRUE(innerReverse);
    ASSERT_EQ(innerMappings.size(), 1u);
    EXPECT_EQ(innerMappings.front().localPort, 2);
    EXPECT_EQ(fake.calls(), (Strings{"[devices][-l]", "[-s][AAA][reverse][tcp:5000][tcp:5000]",
                                     "[reverse][--list]"}));
}

TEST_F(QAdbToolsTest, DestroyedWhileWaitingEndsTheCallAndTheChild) {
    FakeAdb fake(
        "case \"$*\" in\n"
        "  'devices -l') exec sleep 30 ;;\n"
        "esac");
    auto tools = std::make_unique<zu::QAdbTools>(fake.widePath());
    long hungPid = -1;
    QTimer::singleShot(200, [&] {
        hungPid = fake.lastPid();
        tools.reset();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(tools->findUsbDevice().empty());
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(tools, nullptr);
    ASSERT_GT(hungPid, 0);
    EXPECT_FALSE(platform::ProcessExists(hungPid));
    EXPECT_EQ(fake.calls(), (Strings{"[devices][-l]", "[reverse][--remove-all]"}));
}

TEST_F(QAdbToolsTest, DeletedByAReceiverOfItsOwnDoneSignal) {
    FakeAdb fake(HealthyAdb());
    auto tools = std::make_unique<zu::QAdbTools>(fake.widePath());
    QObject::connect(tools.get(), &zu::QAdbTools::adbOperateDone, [&] { tools.reset(); });
    const auto devices = tools->findUsbDevice();
    EXPECT_EQ(tools, nullptr);
    // The call still returns what its own run found.
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices.front().serial, "0123456789ABCDEF");
    EXPECT_EQ(fake.calls(), (Strings{"[devices][-l]", "[reverse][--remove-all]"}));
}

TEST_F(QAdbToolsTest, ProgramPathIsLibraryWideAndFollowsTheLastConstructor) {
    FakeAdb first(HealthyAdb());
    FakeAdb second(HealthyAdb());
    zu::QAdbTools a(first.widePath());
    zu::QAdbTools b(second.widePath());
    EXPECT_EQ(a.findUsbDevice().size(), 1u);
    EXPECT_TRUE(first.calls().empty());
    EXPECT_EQ(second.calls(), Strings{"[devices][-l]"});
}

TEST_F(QAdbToolsTest, DestructorEndsARunningAdbServer) {
    // Stands in for an adb server started by someone else.
    zutest::TempDir dir;
    const std::string server = dir.file("adb");
    std::filesystem::copy_file("/bin/sleep", server);
    platform::ChildProcess child;
    ASSERT_TRUE(child.start({{server, "30"}, {}, "", "", true, ""}));
    // An adb server of a test running beside this one goes within a second or two.
    QElapsedTimer clock;
    clock.start();
    while (platform::FindProcessesByName("adb") != std::vector<long>{child.pid()}) {
        if (clock.elapsed() > 5000) {
            GTEST_SKIP() << "another adb of this user runs; the destructor may end that one first";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FakeAdb fake(HealthyAdb());
    { zu::QAdbTools tools(fake.widePath()); }
    EXPECT_EQ(child.wait(3000), 128 + 15);
}

}  // namespace
