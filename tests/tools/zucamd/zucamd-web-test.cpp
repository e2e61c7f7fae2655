// zucamd end to end with a phone's browser instead of the app: headless
// Chromium with its fake camera opens the phone page, and what it sends must
// come out of the camera queue like an app's stream; the link's secret, the
// one-phone rule and restarts hold as they do for the app.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSslSocket>

#include <string>
#include <vector>

#include "platform/child-process.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/browser-phone.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace {

constexpr int kStartMs = 60000;  // a sanitizer build and a browser on a busy machine

class ZucamdWebTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!e2e::BrowserInstalled())
            GTEST_SKIP() << "needs Debian's chromium (scripts/install-deps.sh test)";
        ASSERT_TRUE(StartZucamd("zucamd"));
    }
    void TearDown() override {
        for (auto* b : {&browserA_, &browserB_}) {
            if (b->running())
                b->stop(10000);
        }
        if (zucamd_.running()) {
            EXPECT_EQ(zucamd_.stop(20000), 0) << Log();
        }
    }

    bool StartZucamd(const std::string& tag) {
        tag_ = tag;
        if (!e2e::Start(&zucamd_, dir_, tag,
                        {e2e::Bin("zucamd"), "--port", "10080", "--no-announce",
                         "--no-camera-output", "--save-dir", dir_.path()}))
            return false;
        if (!e2e::WaitForText(dir_.file(tag + ".out"), "phone's browser: ", kStartMs))
            return false;
        secret_ = e2e::LinkSecret(Terminal());
        return !secret_.empty();
    }
    std::string Url(const std::string& secret) const {
        return "https://127.0.0.1:10090/?k=" + secret + "&autostart=1";
    }
    std::string Terminal() const { return e2e::ReadText(dir_.file(tag_ + ".out")); }
    std::string Log() const { return e2e::ReadText(e2e::ZucamdLog(dir_)); }
    bool WaitTerminal(const std::string& text) const {
        return e2e::WaitForText(dir_.file(tag_ + ".out"), text, kStartMs);
    }

    zutest::TempDir dir_;
    platform::ChildProcess zucamd_;
    platform::ChildProcess browserA_;
    platform::ChildProcess browserB_;
    std::string tag_;
    std::string secret_;
};

TEST_F(ZucamdWebTest, BrowserPicturesReachTheCameraQueueAtThePageSize) {
    platform::ChildProcess camera;
    ASSERT_TRUE(e2e::Start(&camera, dir_, "camera",
                           {e2e::Bin("zucam-camera"), "--y4m", dir_.file("camera.y4m"), "--frames",
                            "30", "--timeout", "60"}));
    ASSERT_TRUE(e2e::StartBrowser(&browserA_, dir_, "browser", Url(secret_)));
    ASSERT_TRUE(WaitTerminal("zucamd: phone \"Browser\" connected (TCP)")) << Terminal() << Log();
    ASSERT_TRUE(WaitTerminal("zucamd: first picture 1280x720, the camera is live")) << Log();
    ASSERT_EQ(camera.wait(kStartMs), 0) << e2e::ReadText(dir_.file("camera.err"));

    std::vector<e2e::Picture> pictures;
    std::string error;
    ASSERT_TRUE(e2e::ReadY4m(dir_.file("camera.y4m"), &pictures, &error)) << error;
    ASSERT_EQ(pictures.size(), 30u);
    for (const e2e::Picture& p : pictures) {
        EXPECT_EQ(p.width, 1280);
        EXPECT_EQ(p.height, 720);
    }
    // Chromium's fake camera draws a moving picture: the pictures differ.
    EXPECT_NE(pictures.front().bytes, pictures.back().bytes);
}

TEST_F(ZucamdWebTest, PlainLoopbackPageServesTheLargerSize) {
    ASSERT_TRUE(
        e2e::StartBrowser(&browserA_, dir_, "browser",
                          "http://localhost:10090/?k=" + secret_ + "&autostart=1&size=1080"));
    ASSERT_TRUE(WaitTerminal("zucamd: first picture 1920x1080, the camera is live"))
        << Terminal() << Log();
}

TEST_F(ZucamdWebTest, WrongSecretIsRefusedAndNoPictureArrives) {
    std::string wrong = secret_;
    wrong[0] = wrong[0] == 'A' ? 'B' : 'A';
    ASSERT_TRUE(e2e::StartBrowser(&browserA_, dir_, "browser", Url(wrong)));
    ASSERT_TRUE(e2e::WaitForText(e2e::ZucamdLog(dir_), "its link is out of date", kStartMs))
        << Log();
    // The page gives up on a refused link: there is no second try to wait for.
    EXPECT_EQ(Terminal().find("connected"), std::string::npos) << Terminal();
    EXPECT_EQ(Log().find("OnNewCmdConnection"), std::string::npos);
}

TEST_F(ZucamdWebTest, SecondBrowserIsRefusedWhileTheFirstStreams) {
    ASSERT_TRUE(e2e::StartBrowser(&browserA_, dir_, "first", Url(secret_)));
    ASSERT_TRUE(WaitTerminal("zucamd: first picture")) << Terminal() << Log();
    ASSERT_TRUE(e2e::StartBrowser(&browserB_, dir_, "second", Url(secret_)));
    ASSERT_TRUE(
        e2e::WaitForText(e2e::ZucamdLog(dir_), "only supported one cmd connection", kStartMs))
        << Log();
    const std::string terminal = Terminal();
    EXPECT_EQ(e2e::CountOf(terminal, "connected ("), 1) << terminal;
    EXPECT_EQ(terminal.find("phone gone"), std::string::npos) << terminal;
}

TEST_F(ZucamdWebTest, PageReconnectsByItselfAfterZucamdRestarts) {
    ASSERT_TRUE(e2e::StartBrowser(&browserA_, dir_, "browser", Url(secret_)));
    ASSERT_TRUE(WaitTerminal("zucamd: first picture")) << Terminal() << Log();
    ASSERT_EQ(zucamd_.stop(20000), 0) << Log();
    // The same settings and certificate: the same link works again.
    ASSERT_TRUE(StartZucamd("zucamd-again")) << Log();
    EXPECT_TRUE(WaitTerminal("zucamd: phone \"Browser\" connected (TCP)")) << Terminal() << Log();
    EXPECT_TRUE(WaitTerminal("zucamd: first picture 1280x720")) << Terminal();
}

// Blocking reads with a time-out: nothing here waits on the event loop.
QByteArray AskOverTls(const QByteArray& request) {
    QSslSocket socket;
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), 10090);
    if (!socket.waitForEncrypted(20000))
        return "no TLS: " + socket.errorString().toUtf8();
    socket.write(request);
    QByteArray answer;
    while (socket.waitForReadyRead(20000))
        answer += socket.readAll();
    return answer + socket.readAll();
}

TEST_F(ZucamdWebTest, MalformedOrHugeHttpsHeadsAreAnsweredWithoutHarm) {
    int argc = 1;
    char name[] = "zucamd_web_e2e_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    EXPECT_TRUE(AskOverTls("GET / HTTP/1.1\r\nX: " + QByteArray(100000, 'a') + "\r\n\r\n")
                    .startsWith("HTTP/1.1 431 "));
    EXPECT_TRUE(AskOverTls("GET / HTTP/1.1\r\nBroken\r\n\r\n").startsWith("HTTP/1.1 400 "));
    EXPECT_TRUE(AskOverTls(QByteArray("\0\xff\r\n\r\n", 6)).startsWith("HTTP/1.1 400 "));
    const QByteArray page = AskOverTls("GET /?k=x HTTP/1.1\r\nHost: a\r\n\r\n");
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200 OK")) << page.left(100).constData();
    EXPECT_TRUE(page.contains("zucam-phone.js"));
    EXPECT_TRUE(zucamd_.running());
}

// Runs zucamd with `extra` until it has started (or failed), then stops it:
// its whole terminal output.
std::string TerminalOfOneRun(const zutest::TempDir& dir, const std::vector<std::string>& extra,
                             int* exitCode) {
    std::vector<std::string> argv = {e2e::Bin("zucamd"),   "--port",     "10080",   "--no-announce",
                                     "--no-camera-output", "--save-dir", dir.path()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    platform::ChildProcess zucamd;
    if (!e2e::Start(&zucamd, dir, "zucamd", argv))
        return {};
    if (e2e::WaitForText(dir.file("zucamd.out"), "zucamd: next:", kStartMs))
        zucamd.signal(false);
    *exitCode = zucamd.wait(kStartMs);
    return e2e::ReadText(dir.file("zucamd.out")) + e2e::ReadText(dir.file("zucamd.err"));
}

TEST(ZucamdWebOptionsTest, PortZeroServesNoPageAndANewLinkReplacesTheSecret) {
    zutest::TempDir dir;
    int code = -1;
    std::string terminal = TerminalOfOneRun(dir, {"--web-port", "0"}, &code);
    EXPECT_EQ(code, 0) << terminal;
    EXPECT_EQ(terminal.find("phone's browser"), std::string::npos) << terminal;

    terminal = TerminalOfOneRun(dir, {}, &code);
    EXPECT_EQ(code, 0) << terminal;
    const std::string first = e2e::LinkSecret(terminal);
    ASSERT_FALSE(first.empty()) << terminal;
    EXPECT_EQ(e2e::LinkSecret(TerminalOfOneRun(dir, {}, &code)), first);

    terminal = TerminalOfOneRun(dir, {"--new-web-link"}, &code);
    EXPECT_EQ(code, 0) << terminal;
    EXPECT_NE(terminal.find("the phone page has a new link"), std::string::npos) << terminal;
    const std::string renewed = e2e::LinkSecret(terminal);
    EXPECT_FALSE(renewed.empty());
    EXPECT_NE(renewed, first);
    EXPECT_EQ(e2e::LinkSecret(TerminalOfOneRun(dir, {}, &code)), renewed);

    for (const char* bad : {"65536", "-1", "x", ""}) {
        platform::ChildProcess zucamd;
        ASSERT_TRUE(e2e::Start(&zucamd, dir, "bad", {e2e::Bin("zucamd"), "--web-port", bad}));
        EXPECT_EQ(zucamd.wait(kStartMs), 2) << bad;
        EXPECT_NE(e2e::ReadText(dir.file("bad.err")).find("--web-port takes a port number"),
                  std::string::npos)
            << bad;
    }
}

}  // namespace
