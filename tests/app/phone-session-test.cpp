#include "phone-session.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "app-context.h"
#include "output-path.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"

namespace {

// The settings a face would own: the save folder and the name can change at
// any moment, from the main thread, while the servers read them.
class FakeContext : public AppContext {
public:
    FakeContext() { AppContext::setInstance(this); }
    ~FakeContext() override { AppContext::setInstance(nullptr); }
    void SetSaveDir(const std::string& dir) {
        std::lock_guard<std::mutex> lock(mutex_);
        saveDir_ = dir;
    }
    bool IsRecording() const override { return false; }
    std::string DeviceName() const override { return "ZuCam[test]"; }
    std::string SaveDir() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return saveDir_;
    }
    zu::QAdbTools* AdbTools() override { return nullptr; }
    void ReleaseAdbTools() override {}
    void UpdateVolumn(int) override {}
    bool PlayAudio() const override { return false; }

private:
    mutable std::mutex mutex_;
    std::string saveDir_;
};

// Adb servers that come and go, as the device session sees them.
struct AdbWorld {
    std::vector<platform::ProcessIdentity> servers;
    std::vector<long> ended;
    zutest::TempDir dir;

    DeviceSession::Tools tools() {
        DeviceSession::Tools t;
        t.findMicSource = [] { return false; };
        t.loadMicSource = [] { return false; };
        t.unloadMicSource = [] {};
        t.openMicLink = [] { return nullptr; };
        t.listAdbServers = [this] { return servers; };
        t.endProcess = [this](long pid) {
            ended.push_back(pid);
            return true;
        };
        t.adbRecordPath = dir.file("runtime/adb-server");
        return t;
    }
};

FrameHolder Picture(int width, int height) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f, 0) < 0) {
        av_frame_free(&f);
        return FrameHolder();
    }
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? height : height / 2;
        for (int y = 0; y < rows; ++y)
            std::memset(f->data[plane] + y * f->linesize[plane], plane == 0 ? 120 : 128,
                        f->linesize[plane]);
    }
    return FrameHolder::Adopt(f);
}

// The servers' threads call the session; so do these tests.
void FromThread(const std::function<void()>& call) {
    std::thread thread(call);
    thread.join();
}

bool WaitUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::vector<std::string> FilesIn(const std::string& dir, const std::string& suffix) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(entry.path().string());
    }
    return found;
}

class PhoneSessionTest : public ::testing::Test {
protected:
    PhoneSessionTest() {
        // The adb tools run a stand-in adb, never the machine's.
        tools_.useInThisProcess();
        context_.SetSaveDir(folder_.path());
        PhoneSession::Options options;
        options.announce = false;
        options.devices = adb_.tools();
        session_ = std::make_unique<PhoneSession>(options);
    }

    void Connect() {
        QSignalSpy connected(session_.get(), &PhoneSession::phoneConnected);
        FromThread([this] { session_->OnClientConnected("Pixel 7"); });
        ASSERT_TRUE(WaitUntil([&] { return connected.count() == 1; }));
        EXPECT_EQ(connected.at(0).at(0).toString().toStdString(), "Pixel 7");
    }

    static void Send(PhoneSession* session, int pictures) {
        FromThread([session, pictures] {
            for (int i = 0; i < pictures; ++i)
                session->OnVideoFrame(Picture(320, 180));
        });
    }

    int argc_ = 1;
    char arg0_[16] = "phone_session";
    char* argv_[2] = {arg0_, nullptr};
    QCoreApplication app_{argc_, argv_};
    zutest::TestHost host_;
    zutest::FakeTools tools_;
    zutest::TempDir folder_;
    FakeContext context_;
    AdbWorld adb_;
    std::unique_ptr<PhoneSession> session_;
};

TEST_F(PhoneSessionTest, APhoneConnectsShowsOneFirstPictureAndLeavesForGood) {
    QSignalSpy first(session_.get(), &PhoneSession::firstPicture);
    QSignalSpy gone(session_.get(), &PhoneSession::phoneGone);
    QSignalSpy waiting(session_.get(), &PhoneSession::waitingForPhone);
    Connect();
    Send(session_.get(), 3);
    ASSERT_TRUE(WaitUntil([&] { return first.count() >= 1; }));
    EXPECT_EQ(first.count(), 1);
    EXPECT_EQ(first.at(0).at(0).toInt(), 320);
    EXPECT_EQ(first.at(0).at(1).toInt(), 180);

    FromThread([this] { session_->OnClientDisconnected(); });
    ASSERT_TRUE(WaitUntil([&] { return waiting.count() == 1; }));
    ASSERT_EQ(gone.count(), 1);
    EXPECT_FALSE(gone.at(0).at(0).toBool());
    EXPECT_FALSE(session_->holding());
    // The picture went with the phone.
    QSignalSpy failed(session_.get(), &PhoneSession::screenshotFailed);
    session_->TakeScreenshot();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString().toStdString(), output_path::kMsgNoPicture);

    // The next phone gets its own first picture.
    Connect();
    Send(session_.get(), 1);
    ASSERT_TRUE(WaitUntil([&] { return first.count() == 2; }));
}

TEST_F(PhoneSessionTest, TheHoldKeepsThePictureUntilThePhoneReturnsOrItRunsOut) {
    QSignalSpy gone(session_.get(), &PhoneSession::phoneGone);
    QSignalSpy ranOut(session_.get(), &PhoneSession::holdRanOut);
    QSignalSpy waiting(session_.get(), &PhoneSession::waitingForPhone);
    QSignalSpy saved(session_.get(), &PhoneSession::screenshotSaved);
    Connect();
    Send(session_.get(), 1);
    FromThread([this] { session_->OnClientDisconnectedDelay(); });
    ASSERT_TRUE(WaitUntil([&] { return gone.count() == 1; }));
    EXPECT_TRUE(gone.at(0).at(0).toBool());
    EXPECT_EQ(gone.at(0).at(1).toInt(), PhoneSession::kDisconnectHoldMs);
    EXPECT_TRUE(session_->holding());
    EXPECT_TRUE(session_->holdTimer()->isActive());
    // The picture is still there during the hold.
    session_->TakeScreenshot();
    ASSERT_TRUE(WaitUntil([&] { return saved.count() == 1; }));

    // Back within the hold: nothing was let go.
    Connect();
    EXPECT_FALSE(session_->holding());
    EXPECT_FALSE(session_->holdTimer()->isActive());
    EXPECT_EQ(waiting.count(), 0);

    // Gone again, and this time the hold runs out (now instead of in 5 s).
    FromThread([this] { session_->OnClientDisconnectedDelay(); });
    ASSERT_TRUE(WaitUntil([&] { return gone.count() == 2; }));
    session_->holdTimer()->setInterval(0);
    session_->holdTimer()->start();
    ASSERT_TRUE(WaitUntil([&] { return waiting.count() == 1; }));
    EXPECT_EQ(ranOut.count(), 1);
    QSignalSpy failed(session_.get(), &PhoneSession::screenshotFailed);
    session_->TakeScreenshot();
    EXPECT_EQ(failed.count(), 1);
}

TEST_F(PhoneSessionTest, ANewSaveFolderTakesTheNextScreenshotAndRecording) {
    QSignalSpy saved(session_.get(), &PhoneSession::screenshotSaved);
    QSignalSpy started(session_.get(), &PhoneSession::recordingStarted);
    QSignalSpy stopped(session_.get(), &PhoneSession::recordingStopped);
    Connect();
    Send(session_.get(), 1);
    zutest::TempDir other;
    context_.SetSaveDir(other.path());
    FromThread([this] { session_->OnScreenShotRequest(); });
    ASSERT_TRUE(WaitUntil([&] { return saved.count() == 1; }));
    EXPECT_EQ(FilesIn(other.path(), ".png").size(), 1u);
    EXPECT_TRUE(FilesIn(folder_.path(), ".png").empty());

    FromThread([this] { session_->OnStartRecordRequest(); });
    ASSERT_TRUE(WaitUntil([&] { return started.count() == 1; }));
    EXPECT_TRUE(session_->IsRecording());
    Send(session_.get(), 5);
    FromThread([this] { session_->OnStopRecordRequest(); });
    ASSERT_TRUE(WaitUntil([&] { return stopped.count() >= 1; }));
    const std::vector<std::string> files = FilesIn(other.path(), ".mp4");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(
        std::filesystem::equivalent(stopped.last().at(0).toString().toStdString(), files[0]));
    EXPECT_FALSE(session_->IsRecording());

    // A folder that is gone is reported, and nothing records.
    QSignalSpy refused(session_.get(), &PhoneSession::recordingStartFailed);
    context_.SetSaveDir(other.file("missing"));
    session_->StartRecording();
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(refused.at(0).at(0).toString().toStdString(), output_path::kMsgNoDirectory);
    EXPECT_FALSE(session_->IsRecording());
}

TEST_F(PhoneSessionTest, AdbServersSomeoneElseRunsAreLeftRunning) {
    // Running before ZuCam ever used adb: someone else's.
    adb_.servers.push_back({4242, 77, 1});
    session_->AdbTools();
    // One that came up since: ZuCam's own.
    adb_.servers.push_back({4343, 88, 1});
    session_->ReleaseAdbTools();
    session_.reset();
    EXPECT_EQ(adb_.ended, std::vector<long>{4343});
}

TEST_F(PhoneSessionTest, ASessionThatNeverUsedAdbEndsNothing) {
    // What a second start sees: another run's adb server, not remembered.
    adb_.servers.push_back({4242, 77, 1});
    session_.reset();
    EXPECT_TRUE(adb_.ended.empty());
}

}  // namespace
