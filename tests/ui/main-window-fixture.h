#pragma once

// What every main-window test shares: one application object with the real
// main window for the whole program, the person's part of it scripted, and
// the helpers that drive it as the connection servers and a person do.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dep/QtComponent/ffmpeg/frame-holder.h"
#include "tests/support/fake-tools.h"
#include "tests/support/temp-dir.h"
#include "tests/support/test-host.h"
#include "ui/main-form.h"
#include "ui/main-window.h"
#include "zucam.h"

class SystemTray;

namespace mwtest {

// The person's part of the window, scripted: messages and opened folders are
// recorded, the close question answered from `closeAnswer`.
class ScriptedMainWindow : public MainWindow {
public:
    static bool powerSaver;
    QStringList messages;
    std::vector<std::string> opened;
    bool closeAnswer = false;
    int closeQuestions = 0;
    int quits = 0;

protected:
    void ShowMessage(const QString& text) override { messages << text; }
    bool AskClose() override {
        ++closeQuestions;
        return closeAnswer;
    }
    void OpenFileLocation(const std::string& path) override { opened.push_back(path); }
    void QuitApplication() override { ++quits; }
    bool PowerSaverActive() const override { return powerSaver; }
};

class ScriptedZuCam : public ZuCam {
public:
    using ZuCam::ZuCam;

protected:
    bool AskQuestion(const QString&) override { return false; }
    void ShowMessage(const QString&) override {}
};

// Runs the event loop until `done` holds; false after `timeoutMs`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 15000);

// The text of the tip shown over the window, empty without one.
QString TipText(const SystemTray& tray);

// One host, one set of fake tools and one application object with the real
// main window for the whole program: an X connection is made once.
class MainWindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    static std::unique_ptr<zutest::TestHost> host;
    static std::unique_ptr<zutest::FakeTools> tools;
    static std::unique_ptr<ScriptedZuCam> app;
    static QString powerTip;

private:
    int argc = 2;
    char name[20] = "main_window_test";
    char noCamera[20] = "--no-camera-output";
    char* argv[3] = {name, noCamera, nullptr};
};

// Runs `call` on a thread of its own, as a server's thread would.
void FromThread(const std::function<void()>& call);

std::vector<std::string> FilesIn(const std::string& dir, const std::string& suffix);

// A picture of noise, which no encoder can make small.
FrameHolder NoisyPicture(int seed);

// Video packets FFmpeg reads from `path` to its end; -1 when it cannot open
// the file, meets a damaged packet or stops short of the end.
int PlayablePictures(const std::string& path);

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Everything queued on the window so far has run: queued calls to one
    // receiver run in order.
    bool Flush();

    ZuCam& app() { return *MainWindowEnvironment::app; }
    int page() const { return w->mainForm()->CurrentPage(); }
    template <typename T>
    T* Child(const char* name) {
        T* child = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static FrameHolder Picture();
    // Connected and showing pictures, as after a phone's push-play.
    void Display();
    void ExpectMessage(const char* text);

    ScriptedMainWindow* w = nullptr;
    zutest::TempDir dir_;
};

}  // namespace mwtest
