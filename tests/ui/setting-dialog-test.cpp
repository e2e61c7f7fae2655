#include "ui/setting-dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "hublet/app-info.h"
#include "hublet/config-store.h"
#include "hublet/interface.h"
#include "hublet/value-store.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/app/fake-main-window.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"
#include "tests/ui/dialog-pictures.h"
#include "tests/ui/ui-test-app.h"
#include "ui/web-links.h"
#include "zucam.h"

// The host's bus names its operation like Qt's `emit` keyword macro.
#pragma push_macro("emit")
#undef emit
#include "hublet/signal-bus.h"
#pragma pop_macro("emit")

namespace {

// The application object with the person's answers scripted.
class ScriptedZuCam : public ZuCam {
public:
    using ZuCam::SetOpenVirtualMic;
    using ZuCam::ZuCam;
    QStringList questions;
    QStringList messages;

protected:
    bool AskQuestion(const QString& text) override {
        questions << text;
        return false;
    }
    void ShowMessage(const QString& text) override { messages << text; }
};

// The settings dialog with a scripted directory chooser and recorded
// messages, so no modal window waits for a click.
class ScriptedSettingDialog : public SettingDialog {
public:
    QString answer;
    QStringList asked;
    QStringList messages;

protected:
    QString ChooseDirectory(const QString& start) override {
        asked << start;
        return answer;
    }
    void ShowMessage(const QString& text) override { messages << text; }
};

// One host, one set of fake tools and one application object for the whole
// program: an X connection is made once per process.
class ZuCamEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        host = std::make_unique<zutest::TestHost>();
        tools = std::make_unique<zutest::FakeTools>();
        tools->useInThisProcess();
        QCoreApplication::setApplicationName(QString("setting-dialog-test-%1").arg(::getpid()));
        qputenv("QT_QPA_PLATFORM", "xcb");
        // The designed (Chinese) texts, whatever the machine's locale.
        qputenv("ZUCAM_LANG", "zh");
        // Dialogs draw without OpenGL; Mesa's GLX keeps allocations to the end.
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        ZuCam::SetMainWindowFactory([] { return new FakeMainWindow; });
        app = std::make_unique<ScriptedZuCam>(argc, argv);
        // Initialize runs from the event loop.
        QElapsedTimer waited;
        waited.start();
        while (!app->mainWindow && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    void TearDown() override {
        app.reset();
        ZuCam::SetMainWindowFactory(nullptr);
        tools.reset();
        host.reset();
    }

    static std::unique_ptr<zutest::TestHost> host;
    static std::unique_ptr<zutest::FakeTools> tools;
    static std::unique_ptr<ScriptedZuCam> app;

private:
    int argc = 1;
    char name[20] = "setting_dialog_test";
    char* argv[2] = {name, nullptr};
};

std::unique_ptr<zutest::TestHost> ZuCamEnvironment::host;
std::unique_ptr<zutest::FakeTools> ZuCamEnvironment::tools;
std::unique_ptr<ScriptedZuCam> ZuCamEnvironment::app;

const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ZuCamEnvironment);

template <typename T>
T* Child(QWidget* dialog, const char* name) {
    T* child = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

void PressKey(QWidget* widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

std::string Stored(const char* key) {
    bool found = false;
    return CD->configStore->get(key, &found);
}

std::string PublishedName() {
    return CD->valueStore->get("zucam_device_name").toStdString();
}

class SettingDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ZuCamEnvironment::app);
        ASSERT_TRUE(ZuCamEnvironment::app->mainWindow) << "Initialize never ran";
        app().SetSaveDir(QString::fromStdString(old_.path()));
        app().SetDeviceName("ZuCam[desk]");
        app().SetOpenVirtualMic(false);
        app().SetUseHardwareRender(true);
        app().messages.clear();
        app().questions.clear();
    }

    ScriptedZuCam& app() { return *ZuCamEnvironment::app; }

    zutest::TempDir old_;
    zutest::TempDir chosen_;
};

TEST_F(SettingDialogTest, CancellingTheDirectoryChooserChangesNothing) {
    ScriptedSettingDialog dialog;
    dialog.answer = QString();
    Child<QPushButton>(&dialog, "pushButton_select_dir")->click();
    // The chooser starts in the current folder, named as a folder.
    ASSERT_EQ(dialog.asked.size(), 1);
    EXPECT_EQ(dialog.asked[0], QString::fromStdString(old_.path()) + "/");
    EXPECT_EQ(app().saveDir().toStdString(), old_.path());
    EXPECT_EQ(Child<QLineEdit>(&dialog, "lineEdit_save_dir")->text().toStdString(), old_.path());
    EXPECT_TRUE(dialog.messages.isEmpty());
}

TEST_F(SettingDialogTest, AWritableFolderBecomesTheSaveFolderAndTheTestFileIsGone) {
    ScriptedSettingDialog dialog;
    dialog.answer = QString::fromStdString(chosen_.path());
    Child<QPushButton>(&dialog, "pushButton_select_dir")->click();
    EXPECT_EQ(app().saveDir().toStdString(), chosen_.path());
    EXPECT_EQ(Child<QLineEdit>(&dialog, "lineEdit_save_dir")->text().toStdString(), chosen_.path());
    EXPECT_TRUE(dialog.messages.isEmpty());
    EXPECT_TRUE(std::filesystem::is_empty(chosen_.path()));
}

// Root ignores permission bits, so "unwritable" is made real: a path that is
// no folder, and a kernel file system that takes no new files.
TEST_F(SettingDialogTest, AnUnwritableFolderKeepsTheOldOneAndSaysWhy) {
    const std::string notAFolder = chosen_.file("plain-file");
    std::ofstream(notAFolder) << "x";
    for (const QString& path : {QString::fromStdString(notAFolder), QStringLiteral("/proc")}) {
        ScriptedSettingDialog dialog;
        dialog.answer = path;
        Child<QPushButton>(&dialog, "pushButton_select_dir")->click();
        EXPECT_EQ(app().saveDir().toStdString(), old_.path()) << path.toStdString();
        EXPECT_EQ(Child<QLineEdit>(&dialog, "lineEdit_save_dir")->text().toStdString(),
                  old_.path());
        EXPECT_EQ(dialog.messages, QStringList{QString::fromUtf8("当前选择路径无写入权限！")});
    }
    EXPECT_FALSE(platform::FileExists("/proc/zucam-test.txt"));
}

TEST_F(SettingDialogTest, TheWriteTestLeavesNothingBehindAndSparesTheUsersOwnFile) {
    // A folder chosen with or without its trailing "/".
    EXPECT_TRUE(SettingDialog::CanWriteTo(QString::fromStdString(chosen_.path())));
    EXPECT_TRUE(SettingDialog::CanWriteTo(QString::fromStdString(chosen_.path()) + "/"));
    EXPECT_TRUE(std::filesystem::is_empty(chosen_.path()));
    // A file of the test's name that the user keeps there stays as it is.
    std::ofstream(chosen_.file("zucam-test.txt")) << "mine";
    EXPECT_TRUE(SettingDialog::CanWriteTo(QString::fromStdString(chosen_.path())));
    std::string kept;
    ASSERT_TRUE(platform::ReadWholeFile(chosen_.file("zucam-test.txt"), &kept));
    EXPECT_EQ(kept, "mine");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(chosen_.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_FALSE(SettingDialog::CanWriteTo(QString::fromStdString(chosen_.file("missing"))));
}

TEST_F(SettingDialogTest, EveryKeystrokeInTheDeviceNameIsPublished) {
    ScriptedSettingDialog dialog;
    QLineEdit* name = Child<QLineEdit>(&dialog, "lineEdit_device_name");
    // Filling the field at construction publishes nothing of its own.
    EXPECT_EQ(name->text(), "ZuCam[desk]");
    name->setFocus();
    name->end(false);
    PressKey(name, Qt::Key_Backspace);
    EXPECT_EQ(app().deviceName(), "ZuCam[desk");
    EXPECT_EQ(PublishedName(), "ZuCam[desk");
    name->selectAll();
    PressKey(name, Qt::Key_Backspace);
    // An empty name is a name too: no validation.
    EXPECT_EQ(app().deviceName(), "");
    EXPECT_EQ(PublishedName(), "");
    Type(name, QString::fromUtf8("书房"));
    EXPECT_EQ(app().deviceName(), QString::fromUtf8("书房"));
    EXPECT_EQ(PublishedName(), "书房");
    // Published and stored at once: a crash now keeps the new name.
    EXPECT_EQ(Stored("cfg_device_name"), "书房");
}

TEST_F(SettingDialogTest, TheRenderModeComboChangesTheSettingOnly) {
    ScriptedSettingDialog dialog;
    QComboBox* mode = Child<QComboBox>(&dialog, "comboBox_render_mode");
    EXPECT_EQ(mode->currentIndex(), 0);
    EXPECT_EQ(Stored("cfg_use_hardware_render"), "1");
    const QString nameBefore = app().deviceName();
    PressKey(mode, Qt::Key_Down);
    EXPECT_EQ(mode->currentIndex(), 1);
    EXPECT_FALSE(app().useHardwareRender());
    // On disk at once, not only at exit.
    EXPECT_EQ(Stored("cfg_use_hardware_render"), "0");
    EXPECT_EQ(app().deviceName(), nameBefore);
    EXPECT_EQ(app().saveDir().toStdString(), old_.path());
    EXPECT_FALSE(app().openVirtualMic());
    EXPECT_TRUE(dialog.messages.isEmpty());
    PressKey(mode, Qt::Key_Up);
    EXPECT_TRUE(app().useHardwareRender());
    EXPECT_EQ(Stored("cfg_use_hardware_render"), "1");
}

TEST_F(SettingDialogTest, OpeningAFailingMicrophoneReturnsToClosed) {
    // No "ZuAudioDevice" source is listed, and the install is declined.
    ScriptedSettingDialog dialog;
    QRadioButton* open = Child<QRadioButton>(&dialog, "radioButton_vmic_open");
    QRadioButton* close = Child<QRadioButton>(&dialog, "radioButton_vmic_close");
    ASSERT_TRUE(close->isChecked());
    open->click();
    EXPECT_EQ(app().questions.size(), 1);
    EXPECT_FALSE(app().openVirtualMic());
    EXPECT_TRUE(close->isChecked());
    EXPECT_FALSE(open->isChecked());
}

TEST_F(SettingDialogTest, MicrophoneButtonsActOnlyOnAChange) {
    app().SetOpenVirtualMic(true);
    ScriptedSettingDialog dialog;
    QRadioButton* open = Child<QRadioButton>(&dialog, "radioButton_vmic_open");
    ASSERT_TRUE(open->isChecked());
    // Already open: nothing is asked, nothing runs.
    const size_t pactlRuns = ZuCamEnvironment::tools->calls("pactl").size();
    open->click();
    EXPECT_TRUE(app().questions.isEmpty());
    EXPECT_EQ(ZuCamEnvironment::tools->calls("pactl").size(), pactlRuns);

    // Closing releases the link and brings the level image to silence.
    auto* window = qobject_cast<FakeMainWindow*>(app().mainWindow.data());
    ASSERT_NE(window, nullptr);
    window->volumes.clear();
    Child<QRadioButton>(&dialog, "radioButton_vmic_close")->click();
    EXPECT_FALSE(app().openVirtualMic());
    QElapsedTimer waited;
    waited.start();
    while (window->volumes.empty() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(window->volumes, std::vector<int>{0});
}

TEST_F(SettingDialogTest, VersionCheckGoesToTheBusOrShowsTheRunningVersion) {
    CD->appInfo->setVersion("9.8.7");
    ScriptedSettingDialog dialog;
    QPushButton* check = Child<QPushButton>(&dialog, "pushButton_versioncheck");
    // Nobody listens: the user still learns which version runs.
    check->click();
    ASSERT_EQ(dialog.messages.size(), 1);
    EXPECT_TRUE(dialog.messages[0].contains("9.8.7"));

    void* received = nullptr;
    const int id = CD->signalBus->connect(
        "VPSignal.vercheck", [&](const bg::Value& value) { received = value.toPointer(); });
    check->click();
    CD->signalBus->disconnect(id);
    EXPECT_EQ(received, static_cast<void*>(&dialog));
    EXPECT_EQ(dialog.messages.size(), 1);
}

TEST_F(SettingDialogTest, WithoutAWebSiteTheMicrophoneSoundLinkOpensTheBundledHelpPage) {
    if (!WebLinks::WebSite().isEmpty())
        GTEST_SKIP() << "built with a web site";
    ScriptedSettingDialog dialog;
    QLabel* help = Child<QLabel>(&dialog, "label_no_voice_help");
    const QRegularExpressionMatch link =
        QRegularExpression("href=\"([^\"]+)\"").match(help->text());
    ASSERT_TRUE(link.hasMatch());
    QString shown;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shown = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    emit help->linkActivated(link.captured(1));
    EXPECT_EQ(shown, "HelpInfoDialog");
}

TEST_F(SettingDialogTest, OpenFolderHandsTheSaveFolderToTheFileManager) {
    const std::string seen = chosen_.file("opened");
    const std::string opener = chosen_.file("opener");
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << seen << ".tmp'\nmv '" << seen
                          << ".tmp' '" << seen << "'\n";
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    ScriptedSettingDialog dialog;
    QPushButton* openDir = Child<QPushButton>(&dialog, "pushButton_open_dir");

    platform::SetEnv("ZUCAM_OPEN_COMMAND", opener);
    openDir->click();
    std::string argument;
    QElapsedTimer waited;
    waited.start();
    while (!platform::ReadWholeFile(seen, &argument) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(argument, old_.path() + "/");
    EXPECT_TRUE(dialog.messages.isEmpty());

    platform::SetEnv("ZUCAM_OPEN_COMMAND", chosen_.file("no-such-opener"));
    openDir->click();
    platform::SetEnv("ZUCAM_OPEN_COMMAND", "");
    ASSERT_EQ(dialog.messages.size(), 1);
    EXPECT_TRUE(dialog.messages[0].contains(QString::fromStdString(old_.path())));
}

TEST_F(SettingDialogTest, ThePictureShowsTheChineseTexts) {
    SettingDialog dialog;
    const QImage picture = uitest::ShowAndGrab(&dialog);
    ASSERT_FALSE(picture.isNull());
    uitest::KeepPicture(picture, "setting-dialog");
    EXPECT_GT(uitest::ColourCount(picture), 20);
    for (const char* name : {"label_set_titlename", "checkBox_shotOpendir", "label_save_dir"}) {
        const QRect area = uitest::AreaOf(Child<QWidget>(&dialog, name));
        EXPECT_GT(uitest::BackgroundBrightness(picture, area), 180) << name;
        EXPECT_GT(uitest::InkPixels(picture, area), 40) << name;
    }
}

}  // namespace
