#include "server/usb-server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <json/json.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app-context.h"
#include "cordlink/adb-program.h"
#include "cordlink/qadb-tools.h"
#include "platform/client-socket.h"
#include "platform/stderr-capture.h"
#include "tests/cordlink/fake-adb.h"
#include "tests/cordlink/qt-app-test.h"
#include "tests/server/fake-media-callback.h"
#include "tests/server/loopback-phone.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"
#include "tools/phone-sim/command-channel.h"
#include "tools/phone-sim/packet-builder.h"
#include "tools/phone-sim/pattern-encoder.h"

namespace {

using servertest::FakeMediaCallback;

constexpr int kWaitMs = 5000;

// The application object as the USB server sees it: ADB tools created on
// first use from a fake adb, released with deleteLater like the real one.
class TestAppContext : public AppContext {
public:
    std::wstring adbPath;  // empty: a host without USB support
    zu::QAdbTools* tools = nullptr;
    int releases = 0;
    bool recording = false;

    bool IsRecording() const override { return recording; }
    std::string DeviceName() const override { return "Desk"; }
    zutest::TempDir folder;
    std::string saveDir = folder.path();
    std::string SaveDir() const override { return saveDir; }
    zu::QAdbTools* AdbTools() override {
        if (!tools && !adbPath.empty())
            tools = new zu::QAdbTools(adbPath);
        return tools;
    }
    void ReleaseAdbTools() override {
        ++releases;
        if (tools)
            tools->deleteLater();
        tools = nullptr;
    }
    void UpdateVolumn(int) override {}
    bool PlayAudio() const override { return false; }
};

// A phone on the other end of the cable, reached here over loopback.
using Phone = servertest::LoopbackPhone;

// The fake adb reads what to do from files the test changes between calls.
std::string FakeAdbBody(const zutest::TempDir& control) {
    const std::string devices = control.file("devices");
    const std::string sleep = control.file("devices-sleep");
    const std::string hang = control.file("reverse-hang");
    const std::string fail = control.file("reverse-fail");
    return "case \"$*\" in\n"
           "  'devices -l')\n"
           "    if [ -f '" +
           sleep + "' ]; then sleep \"$(cat '" + sleep +
           "')\"; fi\n"
           "    cat '" +
           devices +
           "' 2>/dev/null ;;\n"
           "  *'reverse tcp:'*)\n"
           "    if [ -f '" +
           hang +
           "' ]; then exec sleep 30; fi\n"
           "    if [ -f '" +
           fail +
           "' ]; then exit 1; fi ;;\n"
           "esac\n"
           "exit 0";
}

std::string ReverseCall(const std::string& serial, int remote, int local) {
    std::string call = serial.empty() ? "" : "[-s][" + serial + "]";
    return call + "[reverse][tcp:" + std::to_string(remote) + "][tcp:" + std::to_string(local) +
           "]";
}

const char kDevicesCall[] = "[devices][-l]";

class USBServerTest : public cordlinktest::QtAppTest {
protected:
    void SetUp() override {
        QtAppTest::SetUp();
        fake_ = std::make_unique<cordlinktest::FakeAdb>(FakeAdbBody(control_));
        app_.adbPath = fake_->widePath();
        AppContext::setInstance(&app_);
        SetDevices({});
    }
    void TearDown() override {
        server_.reset();
        if (app_.tools)
            app_.ReleaseAdbTools();
        QtAppTest::TearDown();  // runs the deferred deletes while the fake still exists
        AppContext::setInstance(nullptr);
    }

    void StartServer() {
        server_ = USBServer::Create(&callback_);
        server_->Media().SetDeviceTypes({});  // software decoding: no device probing
        QObject::connect(server_.get(), &USBServer::sig_DecoderInitFailed,
                         [this](const QString& text) { failures_.push_back(text.toStdString()); });
        ASSERT_TRUE(server_->Start(0));
        port_ = server_->Port();
        ASSERT_GT(port_, 0);
    }

    // The `devices -l` output of the next scans: a header and one line per serial.
    void SetDevices(const std::vector<std::string>& serials) {
        std::ofstream out(control_.file("devices"), std::ios::trunc);
        out << "List of devices attached\n";
        for (const std::string& s : serials)
            out << s << "         device usb:1-1 product:sdk model:Pixel transport_id:1\n";
    }
    void SetControl(const std::string& name, const std::string& content) {
        std::ofstream(control_.file(name), std::ios::trunc) << content;
    }

    std::vector<std::string> Calls() const { return fake_->calls(); }
    int CallCount(const std::string& call) const {
        const std::vector<std::string> calls = Calls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }
    // Runs the event loop (queued slots, the scan timer) until `done` or the time-out.
    static bool PumpUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
        QElapsedTimer since;
        since.start();
        while (!done()) {
            if (since.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    zutest::TestHost host_;
    zutest::TempDir control_;
    std::unique_ptr<cordlinktest::FakeAdb> fake_;
    TestAppContext app_;
    FakeMediaCallback callback_;
    std::unique_ptr<USBServer> server_;
    std::vector<std::string> failures_;
    int port_ = 0;
};

TEST_F(USBServerTest, ScanMapsTheFirstDeviceOnceUntilItLeavesTheList) {
    StartServer();
    server_->StopScanUSBDevice();  // the test drives the scans itself
    const std::string mapFirst = ReverseCall("SERIAL1", 10080, port_);
    SetDevices({"SERIAL1", "SERIAL2"});
    server_->ReverseStreamPort();  // no push-play yet: nothing to map
    server_->ScanUSBDevice();
    EXPECT_EQ(Calls(), (std::vector<std::string>{kDevicesCall, mapFirst}));
    EXPECT_EQ(server_->Serial(), "SERIAL1");
    EXPECT_EQ(Count(QString("[完成command端口映射:phone(10080)->local(%1)]").arg(port_)), 1);

    // Replugging without an empty scan in between maps nothing.
    server_->ScanUSBDevice();
    server_->ScanUSBDevice();
    EXPECT_EQ(CallCount(kDevicesCall), 3);
    EXPECT_EQ(CallCount(mapFirst), 1);

    SetDevices({});
    {
        platform::StderrCapture err;
        server_->ScanUSBDevice();
        EXPECT_NE(err.stop().find("no adb device found.\n"), std::string::npos);
    }
    EXPECT_TRUE(server_->Serial().isEmpty());

    SetDevices({"SERIAL1"});
    server_->ScanUSBDevice();
    EXPECT_EQ(CallCount(mapFirst), 2);

    // Another device first in the list is mapped in its turn.
    SetDevices({"SERIAL2", "SERIAL1"});
    server_->ScanUSBDevice();
    EXPECT_EQ(CallCount(ReverseCall("SERIAL2", 10080, port_)), 1);
    EXPECT_EQ(server_->Serial(), "SERIAL2");
}

TEST_F(USBServerTest, FailedCommandMappingWaitsForTheDeviceToLeave) {
    StartServer();
    server_->StopScanUSBDevice();
    SetControl("reverse-fail", "");
    SetDevices({"SERIAL1"});
    platform::StderrCapture err;
    server_->ScanUSBDevice();
    server_->ScanUSBDevice();
    const std::string text = err.stop();
    EXPECT_NE(text.find("adb reverse error: cmd port\n"), std::string::npos);
    EXPECT_EQ(CallCount(ReverseCall("SERIAL1", 10080, port_)), 1);
    EXPECT_EQ(Count("[完成command端口映射"), 0);
}

TEST_F(USBServerTest, TheTimerScansFromStartUntilAPhoneConnects) {
    SetDevices({"SERIAL1"});
    StartServer();
    EXPECT_TRUE(server_->IsScanning());
    const std::string mapCmd = ReverseCall("SERIAL1", 10080, port_);
    ASSERT_TRUE(PumpUntil([&] { return CallCount(mapCmd) == 1; }, 3000));

    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    const int streamPort = phone.PushPlay();
    ASSERT_GT(streamPort, 0);
    ASSERT_TRUE(callback_.waitEvent("connected:Pixel", kWaitMs));
    ASSERT_TRUE(PumpUntil([&] { return !server_->IsScanning(); }));
    // The stream port the push-play reply named is mapped to itself.
    const std::string mapStream = ReverseCall("SERIAL1", streamPort, streamPort);
    ASSERT_TRUE(PumpUntil([&] { return CallCount(mapStream) == 1; }));
    EXPECT_EQ(Count(QString("[完成stream端口映射:phone(%1)->local(%1)]").arg(streamPort)), 1);

    // No scans while the phone is connected.
    const int scans = CallCount(kDevicesCall);
    PumpUntil([] { return false; }, 1300);
    EXPECT_EQ(CallCount(kDevicesCall), scans);

    // A disconnection forgets the device, so the next scan maps it again.
    phone.Close();
    ASSERT_TRUE(callback_.waitEvent("disconnected", kWaitMs));
    EXPECT_EQ(Count("[USBServer::OnClientDisconnected()]"), 1);
    ASSERT_TRUE(PumpUntil([&] { return server_->IsScanning(); }));
    ASSERT_TRUE(PumpUntil([&] { return CallCount(mapCmd) == 2; }, 3000));
    EXPECT_TRUE(failures_.empty());
}

TEST_F(USBServerTest, PicturesOverUsbAreDecoded) {
    StartServer();
    server_->StopScanUSBDevice();
    phonesim::PatternEncoder encoder;
    phonesim::PatternEncoder::Settings settings;
    settings.width = 320;
    settings.height = 240;
    std::string error;
    ASSERT_TRUE(encoder.Open(settings, &error)) << error;
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    ASSERT_GT(phone.PushPlay(), 0);
    ASSERT_TRUE(callback_.waitEvent("connected:Pixel", kWaitMs));
    for (int i = 0; i < 4; ++i) {
        phonesim::AccessUnit unit;
        ASSERT_EQ(encoder.Next(&unit, &error), 1) << error;
        if (!unit.config.empty()) {
            ASSERT_TRUE(phone.SendVideo(2, unit.config));
        }
        ASSERT_TRUE(phone.SendVideo(unit.key ? 1 : 0, unit.picture));
    }
    ASSERT_TRUE(callback_.waitPictures(3, kWaitMs));
    EXPECT_EQ(callback_.pictures().front().width, 320);
}

TEST_F(USBServerTest, HoldCommandIsRefusedAndTheDisconnectionIsNotDelayed) {
    StartServer();
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    ASSERT_GT(phone.PushPlay(), 0);
    ASSERT_TRUE(callback_.waitEvent("connected:Pixel", kWaitMs));
    EXPECT_EQ(phone.Request(R"({"type":6,"data":{}})"), "{\"type\":1,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(phone.WaitClosed());
    ASSERT_TRUE(callback_.waitEvent("disconnected", kWaitMs));
    for (const std::string& e : callback_.events())
        EXPECT_NE(e, "disconnected-delay");
    EXPECT_EQ(Count("软件退到后台"), 0);
}

TEST_F(USBServerTest, ScreenshotAndRecordCommandsReachTheOwner) {
    StartServer();
    Phone phone;
    ASSERT_TRUE(phone.Connect(port_));
    EXPECT_EQ(phone.Request(R"({"type":4,"data":{}})"), "{\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(callback_.waitEvent("screenshot", kWaitMs));
    EXPECT_EQ(Count("截屏命令"), 0) << "no debug line for a screenshot over USB";

    app_.recording = true;
    EXPECT_EQ(phone.Request(R"({"type":5,"data":{"type":2}})"),
              "{\"data\":{\"state\":1},\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_EQ(phone.Request(R"({"type":5,"data":{"type":0}})"),
              "{\"data\":{\"state\":0},\"type\":0,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(callback_.waitEvent("record-stop", kWaitMs));

    EXPECT_EQ(phone.Request(R"({"type":5,"data":{"type":"a"}})"),
              "{\"type\":1,\"version\":\"1.0\"}\n");
    EXPECT_TRUE(phone.WaitClosed());
    EXPECT_TRUE(host_.waitFor("parse custom cmd error", kWaitMs));
}

TEST_F(USBServerTest, MappingThatNeverEndsFailsAfterTheLimit) {
    zu::SetAdbWaitLimit(300);
    StartServer();
    server_->StopScanUSBDevice();
    SetDevices({"SERIAL1"});
    SetControl("reverse-hang", "");
    bool ticked = false;
    QTimer::singleShot(50, [&] { ticked = true; });
    platform::StderrCapture err;
    QElapsedTimer since;
    since.start();
    server_->ScanUSBDevice();
    const qint64 elapsed = since.elapsed();
    EXPECT_NE(err.stop().find("adb reverse error: cmd port\n"), std::string::npos);
    EXPECT_LT(elapsed, 5000);
    EXPECT_TRUE(ticked) << "the GUI thread kept running events while adb hung";
    EXPECT_EQ(server_->Serial(), "SERIAL1");
}

TEST_F(USBServerTest, SlotsQueuedDuringAScanWaitTheirTurn) {
    StartServer();
    server_->StopScanUSBDevice();
    SetDevices({"SERIAL1"});
    SetControl("devices-sleep", "0.5");
    // A timer tick during the wait must not start a second scan.
    QTimer::singleShot(50, [&] { server_->ScanUSBDevice(); });
    // The phone's push-play arrives while the scan waits for adb.
    int streamPort = 0;
    Phone phone;
    std::thread phoneThread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (phone.Connect(port_))
            streamPort = phone.PushPlay();
    });
    server_->ScanUSBDevice();
    phoneThread.join();
    ASSERT_GT(streamPort, 0);
    ASSERT_TRUE(PumpUntil([&] { return Calls().size() >= 3; }));
    const std::vector<std::string> calls = Calls();
    EXPECT_EQ(CallCount(kDevicesCall), 1);
    EXPECT_EQ(calls.front(), kDevicesCall);
    EXPECT_EQ(CallCount(ReverseCall("SERIAL1", 10080, port_)), 1);
    // Mapped before the scan had chosen a device: adb picks the only one.
    EXPECT_EQ(CallCount(ReverseCall("", streamPort, streamPort)), 1);
    ASSERT_TRUE(callback_.waitEvent("connected:Pixel", kWaitMs));
}

TEST_F(USBServerTest, DestroyedWhileAScanWaits) {
    StartServer();
    SetDevices({"SERIAL1"});
    SetControl("devices-sleep", "0.3");
    USBServer* server = server_.get();
    QTimer::singleShot(50, [&] { server_.reset(); });
    server->ScanUSBDevice();
    EXPECT_EQ(server_, nullptr);
    EXPECT_EQ(app_.releases, 1);
    EXPECT_EQ(CallCount(ReverseCall("SERIAL1", 10080, port_)), 0);
}

TEST_F(USBServerTest, DestructorReleasesTheAdbTools) {
    StartServer();
    server_->ScanUSBDevice();
    ASSERT_NE(app_.tools, nullptr);
    server_.reset();
    EXPECT_EQ(app_.releases, 1);
    EXPECT_EQ(app_.tools, nullptr);
    // The released tools remove every mapping as they go.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(CallCount("[reverse][--remove-all]"), 1);
}

TEST_F(USBServerTest, HostWithoutAdbToolsLogsInsteadOfCrashing) {
    app_.adbPath.clear();
    StartServer();
    server_->StopScanUSBDevice();
    platform::StderrCapture err;
    server_->ScanUSBDevice();
    server_->ScanUSBDevice();
    server_->ReverseStreamPort();
    const std::string text = err.stop();
    EXPECT_NE(text.find("adb reverse error: stream port\n"), std::string::npos);
    EXPECT_EQ(host_.count("without adb tools"), 1);
    EXPECT_TRUE(Calls().empty());

    AppContext::setInstance(nullptr);
    server_->ScanUSBDevice();
    server_.reset();
    EXPECT_EQ(app_.releases, 0);
}

TEST_F(USBServerTest, StartOnAPortInUseStartsNoScan) {
    StartServer();
    USBServer second(&callback_);
    EXPECT_FALSE(second.Start(port_));
    EXPECT_FALSE(second.IsScanning());
    EXPECT_EQ(second.Port(), 0);
    EXPECT_FALSE(second.Start(70000));
    EXPECT_FALSE(second.IsScanning());
    // A restart on its own port works: the old listener goes first.
    EXPECT_TRUE(server_->Start(port_));
    EXPECT_TRUE(server_->IsScanning());
}

TEST_F(USBServerTest, PicturesAreNotGatedAndReInitIsQueuedToTheOwnerThread) {
    StartServer();
    AVFrame* frame = av_frame_alloc();
    frame->width = 16;
    frame->height = 8;
    FrameHolder picture = FrameHolder::Adopt(frame);
    DecodeFrameCallback* sink = server_.get();
    // No phone has connected: unlike Wi-Fi, the picture still goes through.
    sink->OnDecodeFrame(picture);
    ASSERT_EQ(callback_.pictures().size(), 1u);
    EXPECT_EQ(callback_.pictures().front().width, 16);

    std::thread decoderThread([sink] { sink->OnReInitDecoder(); });
    decoderThread.join();
    EXPECT_TRUE(failures_.empty()) << "the request is queued, not run on the decoder thread";
    ASSERT_TRUE(PumpUntil([&] { return !failures_.empty(); }));
    EXPECT_EQ(failures_, std::vector<std::string>{"解码失败"});
}

}  // namespace
