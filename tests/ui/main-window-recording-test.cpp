// The main window's screenshots and recordings, from its buttons and from
// the phone's commands, what a save folder that fails or fills up does to
// them, and the phone page's port in Settings. Runs like
// main-window-test.cpp, in the same program.
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hublet/config-store.h"
#include "hublet/interface.h"
#include "output-path.h"
#include "platform/child-process.h"
#include "platform/files.h"
#include "recording-controller.h"
#include "tests/ui/main-window-fixture.h"
#include "ui/setting-dialog.h"
#include "web/web-phone-service.h"

namespace mwtest {
namespace {

TEST_F(MainWindowTest, APlainDisconnectReturnsAtOnceAndFinishesTheRecording) {
    Display();
    QTest::mouseClick(Child<QPushButton>("pushButton_menu_record"), Qt::LeftButton);
    ASSERT_TRUE(app().recording);
    EXPECT_TRUE(Child<QPushButton>("pushButton_menu_record")->isChecked());
    EXPECT_TRUE(Child<QLabel>("label_menu_time")->isVisible());
    // A first-picture notice queued before the page turned comes late.
    QMetaObject::invokeMethod(w, "OnFirstFrameReady");
    EXPECT_TRUE(app().recording);
    EXPECT_TRUE(Child<QPushButton>("pushButton_menu_record")->isChecked());
    for (int i = 0; i < 5; ++i)
        FromThread([this] { w->session()->OnVideoFrame(Picture()); });
    FromThread([this] { w->session()->OnClientDisconnected(); });
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageWaitWifi; }));
    EXPECT_FALSE(app().recording);
    EXPECT_FALSE(w->recording().IsRecording());
    EXPECT_FALSE(Child<QPushButton>("pushButton_menu_record")->isChecked());
    EXPECT_EQ(Child<QLabel>("label_menu_time")->text().toStdString(), "00:00:00");
    const std::vector<std::string> files = FilesIn(dir_.path(), ".mp4");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GT(std::filesystem::file_size(files[0]), 0u);
    // The finished file's folder is opened once.
    ASSERT_EQ(w->opened.size(), 1u);
    EXPECT_EQ(std::filesystem::path(w->opened[0]), std::filesystem::path(files[0]));
    EXPECT_TRUE(w->messages.isEmpty());
}

TEST_F(MainWindowTest, ThePhonesCommandsTakeScreenshotsAndRecord) {
    Display();
    app().SetShotOpenDir(true);
    FromThread([this] { w->session()->OnScreenShotRequest(); });
    ASSERT_TRUE(WaitUntil([this] { return w->opened.size() == 1; }));
    ASSERT_EQ(FilesIn(dir_.path(), ".png").size(), 1u);
    EXPECT_EQ(std::filesystem::path(w->opened[0]).filename().string().rfind("ZuCam_shot[", 0), 0u);
    FromThread([this] { w->session()->OnStartRecordRequest(); });
    ASSERT_TRUE(WaitUntil([this] { return app().recording.load(); }));
    // A second start while recording starts nothing new.
    FromThread([this] { w->session()->OnStartRecordRequest(); });
    FromThread([this] { w->session()->OnVideoFrame(Picture()); });
    FromThread([this] { w->session()->OnStopRecordRequest(); });
    ASSERT_TRUE(WaitUntil([this] { return !app().recording; }));
    ASSERT_TRUE(WaitUntil([this] { return w->opened.size() == 2; }));
    EXPECT_EQ(FilesIn(dir_.path(), ".mp4").size(), 1u);
    // No write test file stays behind.
    EXPECT_TRUE(FilesIn(dir_.path(), ".txt").empty());
    EXPECT_TRUE(w->messages.isEmpty());
}

TEST_F(MainWindowTest, AScreenshotFromTheButtonShowsTheTipOverIt) {
    Display();
    auto* button = Child<QPushButton>("pushButton_menu_cutscm");
    // Tips of earlier screenshots may still be on their way out.
    const QList<QDialog*> earlier = button->findChildren<QDialog*>();
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([button, &earlier] {
        for (QDialog* tip : button->findChildren<QDialog*>()) {
            if (!earlier.contains(tip))
                return true;
        }
        return false;
    }));
    EXPECT_EQ(FilesIn(dir_.path(), ".png").size(), 1u);
    EXPECT_TRUE(w->opened.empty());
}

TEST_F(MainWindowTest, FailuresSayWhyAndLeaveNothingRunning) {
    QMetaObject::invokeMethod(w, "ScreenShot");
    ExpectMessage(output_path::kMsgNoPicture);
    QMetaObject::invokeMethod(w, "StartRecord");
    ExpectMessage(output_path::kMsgRecordFailed);

    Display();
    const std::string plainFile = dir_.file("plain-file");
    std::ofstream(plainFile) << "x";
    struct Case {
        std::string dir;
        const char* message;
    };
    // Root ignores permission bits: a path that is no folder and a kernel
    // file system that takes no files are unwritable for everyone.
    for (const Case& c : {Case{dir_.file("missing"), output_path::kMsgNoDirectory},
                          Case{plainFile, output_path::kMsgNotWritable},
                          Case{"/proc", output_path::kMsgNotWritable}}) {
        SCOPED_TRACE(c.dir);
        app().SetSaveDir(QString::fromStdString(c.dir));
        QTest::mouseClick(Child<QPushButton>("pushButton_menu_cutscm"), Qt::LeftButton);
        ExpectMessage(c.message);
        QTest::mouseClick(Child<QPushButton>("pushButton_menu_record"), Qt::LeftButton);
        ExpectMessage(c.message);
        EXPECT_FALSE(app().recording);
        EXPECT_FALSE(w->recording().IsRecording());
        EXPECT_FALSE(Child<QPushButton>("pushButton_menu_record")->isChecked());
        EXPECT_FALSE(Child<QLabel>("label_menu_time")->isVisible());
    }
    EXPECT_TRUE(FilesIn(dir_.path(), ".png").empty());
    EXPECT_TRUE(FilesIn(dir_.path(), ".mp4").empty());
    EXPECT_TRUE(w->opened.empty());
}

// Whether something on this computer takes connections on `port`; a refusal
// comes back at once, the time-out only guards against a hang.
bool Listening(int port) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    return socket.waitForConnected(10000);
}

std::string StoredWebPort() {
    std::string settings;
    if (!CD || !CD->configStore || !platform::ReadWholeFile(CD->configStore->path(), &settings))
        return "unreadable";
    const QRegularExpressionMatch stored =
        QRegularExpression(R"re("cfg_web_port"\s*:\s*"([^"]*)")re")
            .match(QString::fromStdString(settings));
    return stored.hasMatch() ? stored.captured(1).toStdString() : "missing";
}

// The phone page's port typed in Settings is on disk and served at once; the
// old port is let go, and 0 ("关闭") takes the page away.
TEST_F(MainWindowTest, TheWebPortTypedInSettingsIsStoredAndServedAtOnce) {
    PhoneSession* session = w->session();
    ASSERT_NE(session->webPhone(), nullptr);
    const int before = app().webPort();
    ASSERT_EQ(session->webPhone()->Port(), before);
    const int moved = before + 1;
    SettingDialog dialog;
    auto* field = dialog.findChild<QSpinBox*>(QStringLiteral("spinBox_web_port"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->value(), before);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::number(moved));
    // Half typed, nothing moves: no port is tried digit by digit.
    EXPECT_EQ(app().webPort(), before);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(app().webPort(), moved);
    EXPECT_EQ(StoredWebPort(), std::to_string(moved));
    ASSERT_NE(session->webPhone(), nullptr);
    EXPECT_EQ(session->webPhone()->Port(), moved);
    EXPECT_TRUE(Listening(moved));
    EXPECT_FALSE(Listening(before));

    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("0"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->text(), QString::fromUtf8("关闭"));
    EXPECT_EQ(app().webPort(), 0);
    EXPECT_EQ(StoredWebPort(), "0");
    EXPECT_EQ(session->webPhone(), nullptr);
    EXPECT_FALSE(Listening(moved));

    // A fresh dialog shows the setting as it was left.
    EXPECT_EQ(SettingDialog().findChild<QSpinBox*>(QStringLiteral("spinBox_web_port"))->text(),
              QString::fromUtf8("关闭"));
    ASSERT_TRUE(app().SetWebPort(before));
    ASSERT_NE(session->webPhone(), nullptr);
    EXPECT_TRUE(Listening(before));
    EXPECT_FALSE(app().SetWebPort(65536));
    EXPECT_FALSE(app().SetWebPort(-1));
    EXPECT_EQ(StoredWebPort(), std::to_string(before));
}

// A full disk ends the recording: the button lets go, the person reads why
// and which file kept the recording, and that file plays up to the failure.
TEST_F(MainWindowTest, AFullDiskEndsTheRecordingWithAMessageAndKeepsAPlayableFile) {
    // A 1 MiB tmpfs in a mount namespace of a helper's own, reached through
    // the helper's /proc root, nearly full from the start.
    const std::string mountPoint = dir_.file("small-disk");
    std::filesystem::create_directories(mountPoint);
    const std::string ready = dir_.file("mounted");
    platform::ChildProcess helper;
    platform::ChildProcess::Options options;
    options.argv = {"unshare",
                    "-m",
                    "sh",
                    "-c",
                    "mount -t tmpfs -o size=1m tmpfs \"$0\" && "
                    "head -c 900000 /dev/zero > \"$0/filler\" && touch \"$1\" && exec sleep 600",
                    mountPoint,
                    ready};
    ASSERT_TRUE(helper.start(options));
    if (!WaitUntil([&] { return std::filesystem::exists(ready) || !helper.running(); }) ||
        !std::filesystem::exists(ready)) {
        GTEST_SKIP() << "mounting a tmpfs in a private mount namespace needs root";
    }
    const std::string saveDir = "/proc/" + std::to_string(helper.pid()) + "/root" + mountPoint;
    app().SetSaveDir(QString::fromStdString(saveDir));

    Display();
    QTest::mouseClick(Child<QPushButton>("pushButton_menu_record"), Qt::LeftButton);
    ASSERT_TRUE(app().recording);
    const std::string path = w->recording().RecordPath();
    const auto fileSize = [&path] {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        return error ? 0 : size;
    };
    // Plain pictures until a first fragment is in the file, then noise,
    // which the encoder cannot squeeze, until the disk is full.
    const auto header = fileSize();
    ASSERT_TRUE(WaitUntil(
        [&] {
            FromThread([this] { w->session()->OnVideoFrame(Picture()); });
            return fileSize() > header;
        },
        60000));
    int seed = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            FromThread([this, &seed] { w->session()->OnVideoFrame(NoisyPicture(++seed)); });
            return !w->messages.isEmpty();
        },
        60000));
    EXPECT_EQ(w->messages.takeFirst().toStdString(),
              RecordingController::FailureMessage(path, "No space left on device"));
    EXPECT_FALSE(app().recording);
    EXPECT_FALSE(w->recording().IsRecording());
    EXPECT_FALSE(Child<QPushButton>("pushButton_menu_record")->isChecked());
    EXPECT_TRUE(w->opened.empty());
    EXPECT_GE(PlayablePictures(path), 1);
}

}  // namespace
}  // namespace mwtest
