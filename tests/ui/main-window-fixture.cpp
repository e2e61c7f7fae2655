#include "tests/ui/main-window-fixture.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMetaObject>
#include <filesystem>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "tests/support/camera-queue-reset.h"
#include "tests/ui/renderer-pictures.h"
#include "ui/system-tray.h"

namespace mwtest {

bool ScriptedMainWindow::powerSaver = true;

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QString TipText(const SystemTray& tray) {
    QWidget* tip = tray.currentTip();
    QLabel* label = tip ? tip->findChild<QLabel*>(QStringLiteral("label_ipdis_ip")) : nullptr;
    return label ? label->text() : QString();
}

std::unique_ptr<zutest::TestHost> MainWindowEnvironment::host;
std::unique_ptr<zutest::FakeTools> MainWindowEnvironment::tools;
std::unique_ptr<ScriptedZuCam> MainWindowEnvironment::app;
QString MainWindowEnvironment::powerTip;

void MainWindowEnvironment::SetUp() {
    host = std::make_unique<zutest::TestHost>();
    tools = std::make_unique<zutest::FakeTools>();
    tools->useInThisProcess();
    ASSERT_TRUE(zutest::RemoveStaleCameraQueue());
    QCoreApplication::setApplicationName(QString("main-window-test-%1").arg(::getpid()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    // The session bus lives in the host's network namespace, out of
    // reach here; libdbus's failed attempts leave a buffer behind whose
    // stack LeakSanitizer cannot always walk. No bus: no tray either.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    // The designed (Chinese) texts, whatever the machine's locale.
    qputenv("ZUCAM_LANG", "zh");
    // The painter renderer is the default; Mesa's GLX keeps allocations
    // to the end.
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    ZuCam::SetMainWindowFactory([] { return new ScriptedMainWindow; });
    app = std::make_unique<ScriptedZuCam>(argc, argv);
    ASSERT_TRUE(WaitUntil([] { return !app->mainWindow.isNull(); }));
    auto* w = static_cast<ScriptedMainWindow*>(app->mainWindow.data());
    // The power check runs once the window is built.
    ASSERT_TRUE(WaitUntil([w] { return w->tray()->currentTip() != nullptr; }));
    powerTip = TipText(*w->tray());
}

void MainWindowEnvironment::TearDown() {
    app.reset();
    ZuCam::SetMainWindowFactory(nullptr);
    tools.reset();
    host.reset();
}

namespace {

// Registered once for the whole program, whichever test files it holds.
const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new MainWindowEnvironment);

}  // namespace

void FromThread(const std::function<void()>& call) {
    std::thread thread(call);
    thread.join();
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

FrameHolder NoisyPicture(int seed) {
    FrameHolder picture = rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 320, 180, {0, 0, 0});
    AVFrame* f = picture.get();
    uint32_t state = static_cast<uint32_t>(seed) * 2654435761u + 1;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? f->height : f->height / 2;
        for (int y = 0; y < rows; ++y) {
            uint8_t* row = f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane];
            for (int x = 0; x < f->linesize[plane]; ++x) {
                state = state * 1664525u + 1013904223u;
                row[x] = static_cast<uint8_t>(state >> 24);
            }
        }
    }
    return picture;
}

int PlayablePictures(const std::string& path) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0)
        return -1;
    int pictures = 0;
    if (avformat_find_stream_info(input, nullptr) >= 0) {
        const int video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        AVPacket* packet = av_packet_alloc();
        int ret = 0;
        while (packet && (ret = av_read_frame(input, packet)) >= 0) {
            if (packet->flags & AV_PKT_FLAG_CORRUPT)
                pictures = -1;
            else if (packet->stream_index == video && pictures >= 0)
                ++pictures;
            av_packet_unref(packet);
        }
        if (ret != AVERROR_EOF)
            pictures = -1;
        av_packet_free(&packet);
    }
    avformat_close_input(&input);
    return pictures;
}

void MainWindowTest::SetUp() {
    ASSERT_TRUE(MainWindowEnvironment::app);
    w = static_cast<ScriptedMainWindow*>(app().mainWindow.data());
    ASSERT_NE(w, nullptr);
    app().SetSaveDir(QString::fromStdString(dir_.path()));
    app().SetShotOpenDir(false);
    // Every case starts on the waiting page with no picture kept.
    FromThread([this] { w->session()->OnClientDisconnected(); });
    ASSERT_TRUE(Flush());
    ASSERT_EQ(page(), MainForm::kPageWaitWifi);
    w->messages.clear();
    w->opened.clear();
}

bool MainWindowTest::Flush() {
    bool reached = false;
    QMetaObject::invokeMethod(
        w, [&reached] { reached = true; }, Qt::QueuedConnection);
    return WaitUntil([&reached] { return reached; });
}

FrameHolder MainWindowTest::Picture() {
    return rendertest::UniformPicture(AV_PIX_FMT_YUV420P, 320, 180, {120, 90, 200});
}

void MainWindowTest::Display() {
    FromThread([this] { w->session()->OnClientConnected("Pixel 7"); });
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageConnected; }));
    FromThread([this] { w->session()->OnVideoFrame(Picture()); });
    ASSERT_TRUE(WaitUntil([this] { return page() == MainForm::kPageDisplay; }));
}

void MainWindowTest::ExpectMessage(const char* text) {
    ASSERT_TRUE(WaitUntil([this] { return !w->messages.isEmpty(); }));
    EXPECT_EQ(w->messages.takeFirst().toStdString(), text);
}

}  // namespace mwtest
