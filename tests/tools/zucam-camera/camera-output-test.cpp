// zucam-camera's camera outputs, for real: the v4l2 device checks, and a
// PipeWire camera read by GStreamer's pipewiresrc from a real PipeWire daemon.
#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "devices/virtual-camera-queue.h"
#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/camera-queue-reset.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucam-camera/pipewire-daemon.h"

namespace {

struct Yuv {
    int y, u, v;
};
constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kWaiting{48, 136, 124};  // the waiting picture's background
constexpr Yuv kHelperWriter{0x5A, 0x6B, 0x7C};

std::string Bin(const std::string& name) {
    return platform::GetEnv("ZUCAM_BIN_DIR") + "/" + name;
}

std::string Read(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, &text);
    return text;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool WriteUniform(VirtualCameraQueue& queue, int w, int h, Yuv c) {
    std::vector<uint8_t> y(size_t(w) * h, uint8_t(c.y)), u(size_t(w / 2) * (h / 2), uint8_t(c.u)),
        v(u.size(), uint8_t(c.v));
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int lines[3] = {w, w / 2, w / 2};
    return queue.writeFrame(planes, lines, w, h) != nullptr;
}

// ---- the v4l2 device checks --------------------------------------------

struct DeviceCase {
    std::string path;
    std::string message;
};

TEST(CameraOutputV4l2, DevicesThatCannotServeSayWhatToDoAndExit2) {
    zutest::TempDir dir;
    std::string file = dir.file("plain-file");
    platform::WriteWholeFile(file, "not a camera");
    const std::string modprobe = "sudo modprobe v4l2loopback exclusive_caps=1 card_label=ZuCam";
    const std::string device = "give the /dev/videoN that " + modprobe + " makes";
    const DeviceCase cases[] = {
        {"/dev/video-zucam-missing",
         "/dev/video-zucam-missing does not exist: load v4l2loopback first (" + modprobe +
             "), then give the /dev/videoN it makes, or use --pipewire"},
        {"/dev/null", "/dev/null is not a Video4Linux device: " + device},
        {file, file + " is not a video device: " + device},
        {dir.path(), dir.path() + " is not a video device: " + device},
    };
    for (const DeviceCase& c : cases) {
        std::string out, err;
        EXPECT_EQ(platform::RunProcess({Bin("zucam-camera"), "--v4l2", c.path}, 10000, &out, &err),
                  2)
            << c.path;
        EXPECT_EQ(err, "zucam-camera: " + c.message + "\n");
    }
    EXPECT_EQ(Read(file), "not a camera") << "a regular file is never written";
}

TEST(CameraOutputV4l2, NoCameraOutputAtAllNamesBothWays) {
    std::string err;
    zutest::TempDir empty;
    // No v4l2loopback device on these machines, and a PipeWire socket folder
    // with nothing in it.
    int code = platform::RunProcess({"env", "PIPEWIRE_RUNTIME_DIR=" + empty.path(),
                                     "XDG_RUNTIME_DIR=" + empty.path(), Bin("zucam-camera")},
                                    10000, nullptr, &err);
    EXPECT_EQ(code, 8) << err;
    EXPECT_NE(err.find("sudo modprobe v4l2loopback exclusive_caps=1 card_label=ZuCam"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("start PipeWire"), std::string::npos) << err;
}

// ---- PipeWire -------------------------------------------------------------

class CameraOutputPipeWire : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(zutest::RemoveStaleCameraQueue());
        std::string why;
        ASSERT_TRUE(daemon_.ensure(&why)) << why;
    }

    std::string errText() const { return Read(dir_.file("camera.err")); }

    void startCamera(int width, int height, int fps) {
        width_ = width;
        height_ = height;
        platform::ChildProcess::Options options;
        options.argv = {Bin("zucam-camera"),
                        "--pipewire",
                        "--size",
                        std::to_string(width) + "x" + std::to_string(height),
                        "--fps",
                        std::to_string(fps)};
        options.stderrPath = dir_.file("camera.err");
        ASSERT_TRUE(camera_.start(options));
        ASSERT_TRUE(WaitUntil(
            [&] { return zutest::FindPipeWireNode(camera_.pid(), &serial_, &props_); }, 30000))
            << "no PipeWire node of zucam-camera: " << errText();
    }
    // pipewiresrc into a file of raw I420 pictures. With -e an interrupt
    // ends the stream first, so the file is finished when the consumer exits.
    void startConsumer() {
        platform::ChildProcess::Options options;
        options.argv = {"gst-launch-1.0",
                        "-q",
                        "-e",
                        "pipewiresrc",
                        "target-object=" + serial_,
                        "!",
                        "video/x-raw,format=I420",
                        "!",
                        "filesink",
                        "location=" + dir_.file("frames.yuv")};
        options.stdoutPath = dir_.file("gst.out");
        options.stderrPath = dir_.file("gst.err");
        ASSERT_TRUE(consumer_.start(options));
    }
    // The file's size says something only once its writer is done with it:
    // while it runs, a picture may be written in parts.
    bool stopConsumer() {
        if (!consumer_.interrupt())
            return false;
        return consumer_.wait(20000) >= 0;
    }
    bool onlyWholePictures() const {
        return platform::FileSize(dir_.file("frames.yuv")) % (long long)frameBytes() == 0;
    }
    size_t frameBytes() const { return size_t(width_) * height_ * 3 / 2; }
    long long framesReceived() const {
        return platform::FileSize(dir_.file("frames.yuv")) / (long long)frameBytes();
    }
    // The newest whole picture the consumer wrote.
    std::vector<uint8_t> lastFrame() const {
        long long n = framesReceived();
        std::vector<uint8_t> frame;
        if (n < 1)
            return frame;
        std::ifstream in(dir_.file("frames.yuv"), std::ios::binary);
        in.seekg((n - 1) * (long long)frameBytes());
        frame.resize(frameBytes());
        in.read(reinterpret_cast<char*>(frame.data()), (std::streamsize)frame.size());
        if (!in)
            frame.clear();
        return frame;
    }
    Yuv at(const std::vector<uint8_t>& f, int x, int y) const {
        size_t luma = size_t(width_) * height_;
        size_t c = size_t(y / 2) * (width_ / 2) + x / 2;
        return {f[size_t(y) * width_ + x], f[luma + c], f[luma + luma / 4 + c]};
    }
    static bool Near(Yuv a, Yuv b) {
        return std::abs(a.y - b.y) <= 3 && std::abs(a.u - b.u) <= 3 && std::abs(a.v - b.v) <= 3;
    }
    // Waits until the consumer's newest picture has `centre` in its middle
    // and `side` at the left edge's middle.
    bool waitForPicture(Yuv centre, Yuv side) {
        return WaitUntil(
            [&] {
                std::vector<uint8_t> f = lastFrame();
                return !f.empty() && Near(at(f, width_ / 2, height_ / 2), centre) &&
                       Near(at(f, 4, height_ / 2), side);
            },
            30000);
    }
    bool waitForWaitingPicture() { return waitForPicture(kWaiting, kWaiting); }
    std::string describeLast() const {
        std::vector<uint8_t> f = lastFrame();
        if (f.empty())
            return "no picture received; gst: " + Read(dir_.file("gst.err"));
        Yuv c = at(f, width_ / 2, height_ / 2), s = at(f, 4, height_ / 2);
        return "centre " + std::to_string(c.y) + "/" + std::to_string(c.u) + "/" +
               std::to_string(c.v) + " side " + std::to_string(s.y) + "/" + std::to_string(s.u) +
               "/" + std::to_string(s.v) + "; camera: " + errText();
    }

    zutest::PipeWireDaemon daemon_;
    zutest::TempDir dir_;
    platform::ChildProcess camera_;
    platform::ChildProcess consumer_;
    std::string serial_;
    Json::Value props_;
    int width_ = 0;
    int height_ = 0;
};

TEST_F(CameraOutputPipeWire, ACameraNamedZuCamGivesFixedSizePicturesInTheirColours) {
    auto queue = VirtualCameraQueue::create(VirtualCameraQueue::kSlotCapacity);
    ASSERT_TRUE(queue);
    startCamera(1280, 720, 30);
    EXPECT_EQ(props_["node.name"].asString(), "ZuCam");
    EXPECT_EQ(props_["node.description"].asString(), "ZuCam");
    EXPECT_EQ(props_["media.class"].asString(), "Video/Source");
    EXPECT_EQ(props_["media.role"].asString(), "Camera");
    startConsumer();
    const Yuv red{81, 90, 240}, blue{41, 240, 110};
    ASSERT_TRUE(WriteUniform(*queue, 1920, 1080, red));
    ASSERT_TRUE(waitForPicture(red, red)) << describeLast();
    ASSERT_TRUE(WriteUniform(*queue, 1920, 1080, blue));
    ASSERT_TRUE(waitForPicture(blue, blue)) << describeLast();
    EXPECT_TRUE(consumer_.running()) << Read(dir_.file("gst.err"));
    ASSERT_TRUE(stopConsumer()) << Read(dir_.file("gst.err"));
    EXPECT_TRUE(onlyWholePictures()) << "only whole 1280x720 I420 pictures";
}

TEST_F(CameraOutputPipeWire, StreamRunsOnThroughTurnsDisconnectionsAndANewZuCam) {
    startCamera(320, 180, 15);
    startConsumer();
    ASSERT_TRUE(waitForWaitingPicture()) << "no ZuCam yet: " << describeLast();

    // A ZuCam that dies without closing its queue, and one that takes over.
    zutest::TempDir helperDir;
    platform::ChildProcess writer;
    platform::ChildProcess::Options options;
    options.argv = {Bin("zucam-test-camera-writer"), helperDir.file("ready")};
    ASSERT_TRUE(writer.start(options));
    ASSERT_TRUE(WaitUntil([&] { return Read(helperDir.file("ready")) == "ready\n"; }, 10000));
    ASSERT_TRUE(waitForPicture(kHelperWriter, kBlack)) << describeLast();
    ASSERT_TRUE(writer.signal(true));
    ASSERT_GE(writer.wait(5000), 0);
    auto queue = VirtualCameraQueue::create(VirtualCameraQueue::kSlotCapacity);
    ASSERT_TRUE(queue) << "taking over a dead writer's queue";

    const Yuv landscape{120, 70, 170}, portrait{170, 180, 60}, again{90, 160, 160};
    // The new writer reuses the dead one's object and counts from 1 again, so
    // its first picture may carry the very counter the camera saw last; a
    // ZuCam writes on at 30 pictures a second, and so does this test, twice.
    ASSERT_TRUE(WriteUniform(*queue, 640, 360, landscape));
    ASSERT_TRUE(WriteUniform(*queue, 640, 360, landscape));
    ASSERT_TRUE(waitForPicture(landscape, landscape)) << describeLast();
    ASSERT_TRUE(WriteUniform(*queue, 360, 640, portrait));
    ASSERT_TRUE(waitForPicture(portrait, kBlack)) << "portrait: side bands; " << describeLast();

    queue->setState(VirtualCameraQueue::kStateStopped);
    ASSERT_TRUE(waitForWaitingPicture()) << "phone gone: " << describeLast();
    ASSERT_TRUE(WriteUniform(*queue, 640, 360, again));
    ASSERT_TRUE(waitForPicture(again, again)) << "phone back: " << describeLast();

    queue->close();
    ASSERT_TRUE(waitForWaitingPicture()) << "ZuCam closed: " << describeLast();
    EXPECT_TRUE(consumer_.running()) << Read(dir_.file("gst.err"));
    EXPECT_TRUE(camera_.running()) << errText();
    ASSERT_TRUE(stopConsumer()) << Read(dir_.file("gst.err"));
    EXPECT_TRUE(onlyWholePictures());
    EXPECT_NE(errText().find("pictures from the phone: 360x640"), std::string::npos) << errText();
    EXPECT_NE(errText().find("the phone is gone"), std::string::npos) << errText();
    ASSERT_TRUE(camera_.signal(false));
    EXPECT_EQ(camera_.wait(10000), 0) << errText();
}

}  // namespace
