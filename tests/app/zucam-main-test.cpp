// The program's entry as a process: the uninstall switch, a normal start
// without a main window, and a second start while an instance runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSharedMemory>
#include <chrono>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "single-application-p.h"
#include "tests/app/probe-process.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"

namespace {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "zucam_main_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

class ZuCamMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        program_ = platform::GetEnv("ZUCAM_BIN_DIR") + "/zucam";
        ASSERT_TRUE(platform::FileExists(program_)) << program_;
    }

    // Runs zucam with its own settings and log folders; returns the exit code.
    int run(const std::vector<std::string>& args, zutest::ProbeProcess* process) {
        std::vector<std::string> argv = {program_};
        argv.insert(argv.end(), args.begin(), args.end());
        if (!process->start(argv, env()))
            return -1000;
        const int code = process->child().wait(20000);
        return code;
    }
    // The program's pactl and adb are stand-ins: no real sound server or
    // phone is touched.
    std::vector<std::pair<std::string, std::string>> env() const {
        std::vector<std::pair<std::string, std::string>> all = {
            {"XDG_CONFIG_HOME", dir_.file("config")},
            {"XDG_STATE_HOME", dir_.file("state")},
            {"ZUCAM_OPEN_COMMAND", "true"}};
        for (const auto& entry : tools_.env())
            all.push_back(entry);
        return all;
    }
    std::string settingsPath() const { return dir_.file("config/ZuCam/settings.json"); }
    std::string log() const {
        std::string text;
        platform::ReadWholeFile(dir_.file("state/ZuCam/zucam.log"), &text);
        return text;
    }

    zutest::TempDir dir_;
    zutest::FakeTools tools_;
    std::string program_;
};

TEST_F(ZuCamMainTest, UninstallRunRemovesTheDriversAndTouchesNoSettings) {
    tools_.answer("list-modules", "out",
                  "21\tmodule-pipe-source\tsource_name=ZuAudioDevice file=/x format=s16le\t\n");
    tools_.answer("list-sources", "out",
                  "7\tZuAudioDevice\tmodule-pipe-source.c\ts16le 1ch 48000Hz\n");
    zutest::ProbeProcess zucam(dir_, "uninstall");
    EXPECT_EQ(run({"--uninstall"}, &zucam), 0) << zucam.errors();
    EXPECT_FALSE(platform::FileExists(settingsPath()));
    EXPECT_EQ(
        tools_.calls("pactl"),
        (std::vector<std::vector<std::string>>{
            {"list", "short", "sources"}, {"list", "short", "modules"}, {"unload-module", "21"}}));
    EXPECT_NE(zucam.output().find("zucam: removed the virtual microphone \"ZuAudioDevice\"\n"),
              std::string::npos)
        << zucam.output();
    EXPECT_NE(log().find("camera filters: nothing to unregister"), std::string::npos) << log();
    EXPECT_EQ(log().find("loaded modules"), std::string::npos);

    zutest::ProbeProcess extra(dir_, "uninstall-extra");
    EXPECT_EQ(run({"--uninstall", "--anything"}, &extra), 0);
    EXPECT_FALSE(platform::FileExists(settingsPath()));
}

// A sound server that cannot be reached is no proof that there is no
// microphone: the run says it could not check, and why, on clean lines.
TEST_F(ZuCamMainTest, UninstallSaysWhenItCouldNotAskTheSoundServer) {
    tools_.answer("list-sources", "err", "Connection failure: Connection refused\n");
    tools_.answer("list-sources", "rc", "1");
    zutest::ProbeProcess zucam(dir_, "uninstall");
    EXPECT_EQ(run({"--uninstall"}, &zucam), 0) << zucam.errors();
    const std::string out = zucam.output();
    EXPECT_EQ(out.find("no virtual microphone"), std::string::npos) << out;
    EXPECT_NE(out.find("zucam: could not check for the virtual microphone: the sound server "
                       "could not be reached: Connection failure: Connection refused\n"),
              std::string::npos)
        << out;
    // Only the run's own lines: the tools' diagnostics are in the log.
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.compare(0, 7, "zucam: "), 0) << line;
}

// Waits until the file at `path` holds `text`; false after timeoutMs.
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::string all;
        platform::ReadWholeFile(path, &all);
        if (all.find(text) != std::string::npos)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// A terminal without a display: the process environment minus the display
// variables, so Qt has nothing to connect to.
std::vector<std::pair<std::string, std::string>> NoDisplay(
    std::vector<std::pair<std::string, std::string>> env) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.emplace_back(name, "");
    return env;
}

int RunWithoutDisplay(const std::vector<std::string>& argv,
                      const std::vector<std::pair<std::string, std::string>>& env,
                      const zutest::TempDir& dir, std::string* out, std::string* err,
                      const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    platform::ChildProcess child;
    platform::ChildProcess::Options options;
    options.argv = argv;
    options.env = NoDisplay(env);
    options.env.insert(options.env.end(), extra.begin(), extra.end());
    options.stdoutPath = dir.file("nodisplay.out");
    options.stderrPath = dir.file("nodisplay.err");
    if (!child.start(options))
        return -1000;
    const int code = child.wait(20000);
    platform::ReadWholeFile(options.stdoutPath, out);
    platform::ReadWholeFile(options.stderrPath, err);
    return code;
}

TEST_F(ZuCamMainTest, WithoutADisplayEveryRunSaysWhatItDidInOneLine) {
    std::string out, err;
    EXPECT_EQ(RunWithoutDisplay({program_}, env(), dir_, &out, &err), 2);
    EXPECT_EQ(err,
              "zucam: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
              "set); start it in a desktop session, or serve a phone without a window with "
              "zucamd\n");
    EXPECT_FALSE(platform::FileExists(settingsPath()));
    // A display named but not there (a stale DISPLAY over ssh, say).
    EXPECT_EQ(RunWithoutDisplay({program_}, env(), dir_, &out, &err, {{"DISPLAY", ":4711"}}), 2);
    EXPECT_NE(err.find("zucam: no display to open the window on (the X display :4711 cannot be "
                       "reached)"),
              std::string::npos)
        << err;

    EXPECT_EQ(RunWithoutDisplay({program_, "--help"}, env(), dir_, &out, &err), 0);
    EXPECT_NE(out.find("Usage: zucam"), std::string::npos) << out;
    EXPECT_EQ(RunWithoutDisplay({program_, "--version"}, env(), dir_, &out, &err), 0);
    EXPECT_EQ(out, "zucam 1.0.7 (2023.07.13)\n");

    // Nothing to remove is said too.
    EXPECT_EQ(RunWithoutDisplay({program_, "--uninstall"}, env(), dir_, &out, &err), 0) << err;
    EXPECT_EQ(out,
              "zucam: no virtual microphone to remove\n"
              "zucam: the camera has nothing to remove: it exists only while ZuCam or zucamd "
              "runs\n");
}

// Asked for, the terminal shows the log's lines and the developers' prints
// too, and the log file still gets its lines.
TEST_F(ZuCamMainTest, VerboseShowsTheLogOnTheTerminal) {
    zutest::ProbeProcess zucam(dir_, "verbose");
    ASSERT_TRUE(zucam.start({program_, "--verbose"}, env()));
    ASSERT_TRUE(zucam.waitFor("[MainWindow::SwitchToWaitConnection()]", 30000, true))
        << zucam.errors();
    ASSERT_TRUE(zucam.child().signal(false));
    EXPECT_EQ(zucam.child().wait(20000), 0) << zucam.errors();
    EXPECT_NE(zucam.errors().find("\"----> loaded modules count=0\""), std::string::npos);
    EXPECT_NE(log().find("\"----> loaded modules count=0\""), std::string::npos);
}

TEST_F(ZuCamMainTest, OnlyTheExactFirstArgumentUninstalls) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"x", "--uninstall"}, std::vector<std::string>{"--UNINSTALL"},
          std::vector<std::string>{"--uninstall=1"}, std::vector<std::string>{}}) {
        zutest::TempDir fresh;
        zutest::ProbeProcess zucam(dir_, "normal");
        std::vector<std::string> argv = {program_};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::pair<std::string, std::string>> vars = tools_.env();
        vars.emplace_back("XDG_CONFIG_HOME", fresh.file("config"));
        vars.emplace_back("XDG_STATE_HOME", fresh.file("state"));
        ASSERT_TRUE(zucam.start(argv, vars));
        // A normal start: settings loaded, modules counted, the window up
        // (waiting for a phone); a stop signal ends it as a close does.
        const std::string logPath = fresh.file("state/ZuCam/zucam.log");
        ASSERT_TRUE(WaitForText(logPath, "[MainWindow::SwitchToWaitConnection()]", 30000))
            << zucam.errors();
        ASSERT_TRUE(zucam.child().signal(false));
        EXPECT_EQ(zucam.child().wait(20000), 0) << zucam.errors();
        std::string settings;
        ASSERT_TRUE(platform::ReadWholeFile(fresh.file("config/ZuCam/settings.json"), &settings));
        EXPECT_NE(settings.find("cfg_use_hardware_render"), std::string::npos);
        std::string log;
        ASSERT_TRUE(platform::ReadWholeFile(logPath, &log));
        // No module folder beside the program is no error.
        EXPECT_NE(log.find("[I][bg] zucam.cpp"), std::string::npos) << log;
        EXPECT_NE(log.find("\"----> loaded modules count=0\""), std::string::npos);
        EXPECT_EQ(log.find("[E]"), std::string::npos) << log;
        EXPECT_NE(log.find("camera filters: nothing to register"), std::string::npos);
        // The terminal stays quiet: everything went to the log.
        EXPECT_EQ(zucam.errors(), "");
        EXPECT_EQ(zucam.output(), "");
    }
    // No start opened the microphone (off by default) nor removed anything.
    EXPECT_TRUE(tools_.calls("pactl").empty());
}

// Stands in for a running ZuCam: records itself as the primary in the
// block and listens where a second start will look for it.
class FakePrimary {
public:
    explicit FakePrimary(const std::string& program) : memory_(blockName(program)) {
        if (!memory_.create(sizeof(InstanceBlock)))
            return;
        memory_.lock();
        auto* block = static_cast<InstanceBlock*>(memory_.data());
        std::memset(block, 0, sizeof(InstanceBlock));
        block->primary = 1;
        block->primaryPid = ::getpid();
        std::strncpy(block->primaryUser, platform::UserName().c_str(), 127);
        block->checksum = InstanceBlockChecksum(*block);
        memory_.unlock();
        QLocalServer::removeServer(memory_.key());
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        ready_ = server_.listen(memory_.key());
    }
    bool ready() const { return ready_; }
    InstanceBlock block() {
        InstanceBlock copy;
        memory_.lock();
        std::memcpy(&copy, memory_.constData(), sizeof(copy));
        memory_.unlock();
        return copy;
    }
    QLocalServer& server() { return server_; }
    QString name() const { return memory_.key(); }

    static QString blockName(const std::string& program) {
        BlockNameParts parts;
        parts.applicationName = QFileInfo(QString::fromStdString(program)).fileName();
        parts.applicationFilePath = QFileInfo(QString::fromStdString(program)).canonicalFilePath();
        parts.userName = QString::fromStdString(platform::UserName());
        return MakeBlockName(parts, SingleApplication::User | SingleApplication::System |
                                        SingleApplication::SecondaryNotification);
    }

private:
    QSharedMemory memory_;
    QLocalServer server_;
    bool ready_ = false;
};

// Everything one client sent until it hung up.
QByteArray ReadAllUntilClosed(QLocalSocket* socket, int timeoutMs) {
    QByteArray data;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        socket->waitForReadyRead(50);
        data += socket->readAll();
        if (socket->state() == QLocalSocket::UnconnectedState)
            break;
    }
    return data + socket->readAll();
}

TEST_F(ZuCamMainTest, SecondStartSendsShowToTheRunningInstanceAndExitsZero) {
    FakePrimary primary(program_);
    ASSERT_TRUE(primary.ready());
    zutest::ProbeProcess zucam(dir_, "second");
    ASSERT_TRUE(zucam.start({program_}, env()));
    ASSERT_TRUE(primary.server().waitForNewConnection(10000));
    std::unique_ptr<QLocalSocket> client(primary.server().nextPendingConnection());
    ASSERT_TRUE(client);
    const QByteArray bytes = ReadAllUntilClosed(client.get(), 10000);
    EXPECT_EQ(zucam.child().wait(10000), 0) << zucam.errors();

    // Header, init message of a secondary instance, then the raw "show".
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_5_6);
    quint64 length = 0;
    QByteArray name;
    quint8 type = 0;
    quint32 id = 0;
    quint16 checksum = 0;
    in >> length >> name >> type >> id >> checksum;
    ASSERT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(name, primary.name().toLatin1());
    EXPECT_EQ(type, 2);
    EXPECT_EQ(id, 1u);
    const QByteArray init = bytes.mid(8, static_cast<int>(length));
    EXPECT_EQ(checksum, qChecksum(init.constData(), static_cast<uint>(init.size() - 2)));
    EXPECT_EQ(bytes.mid(8 + static_cast<int>(length)), QByteArray("show"));

    EXPECT_EQ(primary.block().secondary, 1u);
    EXPECT_EQ(primary.block().checksum, InstanceBlockChecksum(primary.block()));
    // A secondary never initialises: no settings are read or written.
    EXPECT_FALSE(platform::FileExists(settingsPath()));

    // An uninstall run makes no single-instance check at all.
    zutest::ProbeProcess uninstall(dir_, "uninstall");
    EXPECT_EQ(run({"--uninstall"}, &uninstall), 0);
    EXPECT_FALSE(primary.server().waitForNewConnection(300));
    EXPECT_EQ(primary.block().secondary, 1u);
}

}  // namespace
