#include "camera-output-process.h"

#include <chrono>
#include <fstream>

#include <QCoreApplication>

#include "hublet/log-sink.h"
#include "platform/child-process.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

constexpr const char* kProgramName = "zucam-camera";
constexpr int kGraceMs = 3000;
// zucam-camera's exit codes for conditions a restart cannot change: a
// --v4l2 device that cannot serve, and no camera output on this machine.
constexpr int kExitUsage = 2;
constexpr int kExitNoCameraOutput = 8;
// What zucam-camera says once other programs can see the camera.
constexpr const char* kOfferedLine = "the phone is offered as";

const char* const kAdviceNoOutput = QT_TRANSLATE_NOOP(
    "CameraOutputProcess",
    "其它软件看不到“ZuCam”摄像头：这台电脑既没有 v4l2loopback 设备，也没有 PipeWire。"
    "请加载 v4l2loopback：\n"
    "    sudo apt install v4l2loopback-dkms\n"
    "    sudo modprobe v4l2loopback exclusive_caps=1 card_label=ZuCam\n"
    "或安装 PipeWire（pipewire、wireplumber 和 pipewire-pulse）后重新登录；"
    "下一部手机连接时会再次尝试");
const char* const kAdviceMissing = QT_TRANSLATE_NOOP(
    "CameraOutputProcess",
    "其它软件看不到“ZuCam”摄像头：程序旁没有 zucam-camera，或它无法启动；请重新安装 ZuCam");
const char* const kAdviceEnded =
    QT_TRANSLATE_NOOP("CameraOutputProcess",
                      "其它软件看不到“ZuCam”摄像头：zucam-camera 以代码 %1 结束（原因见日志）；"
                      "下一部手机连接时会再次尝试");

std::string Tr(const char* text, int code = 0) {
    QString shown = QCoreApplication::translate("CameraOutputProcess", text);
    if (shown.contains(QLatin1String("%1")))
        shown = shown.arg(code);
    return shown.toStdString();
}

}  // namespace

CameraOutputProcess::CameraOutputProcess() : CameraOutputProcess(Options()) {}

CameraOutputProcess::CameraOutputProcess(Options options) : options_(std::move(options)) {}

CameraOutputProcess::~CameraOutputProcess() {
    Stop();
}

bool CameraOutputProcess::Start() {
    if (child_)
        return true;
    program_ = options_.program.empty() ? platform::ExecutableDir() + "/" + kProgramName
                                        : options_.program;
    if (!platform::FileExists(program_)) {
        BG_LOGW("no camera output for other programs: %s is missing", program_.c_str());
        return false;
    }
    linesPath_ = platform::RuntimeDir() + "/" + kProgramName + "-" +
                 std::to_string(platform::CurrentProcessId()) + ".log";
    restartsLeft_ = options_.restarts;
    toldWorking_ = false;
    stopping_ = false;
    if (!Spawn())
        return false;
    watcher_ = std::thread([this] { Watch(); });
    return true;
}

bool CameraOutputProcess::Spawn() {
    auto child = std::make_unique<platform::ChildProcess>();
    platform::ChildProcess::Options options;
    options.argv = {program_};
    options.argv.insert(options.argv.end(), options_.args.begin(), options_.args.end());
    if (!options_.language.empty())
        options.argv.insert(options.argv.end(), {"--lang", options_.language});
    options.env = {{"ZUCAM_CAMERA_PARENT", std::to_string(platform::CurrentProcessId())}};
    // Lines go to a file the watcher reads: a pipe nobody drains while the
    // owner is busy would stall the camera.
    options.stderrPath = linesPath_;
    options.stdoutPath = linesPath_ + ".out";
    linesRead_ = 0;
    partial_.clear();
    offered_ = false;
    if (!child->start(options)) {
        BG_LOGE("cannot start the camera output %s", program_.c_str());
        return false;
    }
    pid_ = child->pid();
    child_ = std::move(child);
    BG_LOGI("camera output started: %s (pid %ld)", program_.c_str(), pid_.load());
    return true;
}

void CameraOutputProcess::Watch() {
    while (!stopping_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options_.watchIntervalMs));
        ForwardLines(false);
        int code = child_->wait(0);
        // Running is not working yet: it works once it offers the camera.
        if (code < 0 && offered_ && !toldWorking_ && options_.onState) {
            toldWorking_ = true;
            options_.onState(true, 0);
        }
        if (code >= 0 && !stopping_ && !OnEnded(code))
            return;
    }
}

bool CameraOutputProcess::OnEnded(int code) {
    ForwardLines(true);
    pid_ = -1;
    toldWorking_ = false;
    if (code == kExitUsage || code == kExitNoCameraOutput) {
        BG_LOGW(
            "the camera output ended with code %d and cannot work on this machine as it is; "
            "it is not started again",
            code);
        if (options_.onState)
            options_.onState(false, code);
        return false;
    }
    if (restartsLeft_ <= 0) {
        BG_LOGE("the camera output ended again (code %d); it is not started again", code);
        if (options_.onState)
            options_.onState(false, code);
        return false;
    }
    --restartsLeft_;
    BG_LOGW("the camera output ended (code %d); starting it again", code);
    return Spawn();
}

void CameraOutputProcess::ForwardLines(bool flushPartial) {
    std::ifstream in(linesPath_, std::ios::binary);
    if (in) {
        in.seekg(linesRead_);
        std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        linesRead_ += static_cast<long long>(chunk.size());
        partial_ += chunk;
    }
    size_t start = 0;
    for (size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = partial_.substr(start, end - start);
        if (line.find(kOfferedLine) != std::string::npos)
            offered_ = true;
        BG_LOGI("%s", line.c_str());
    }
    partial_.erase(0, start);
    if (flushPartial && !partial_.empty()) {
        BG_LOGI("%s", partial_.c_str());
        partial_.clear();
    }
}

std::string CameraOutputProcess::NoOutputAdvice(int code) {
    // The window shows it in the person's language, zucamd in English.
    if (code == kExitNoCameraOutput)
        return Tr(kAdviceNoOutput);
    if (code < 0)
        return Tr(kAdviceMissing);
    return Tr(kAdviceEnded, code);
}

void CameraOutputProcess::Stop() {
    stopping_ = true;
    if (watcher_.joinable())
        watcher_.join();
    if (!child_)
        return;
    if (child_->running() && child_->stop(kGraceMs) == -1)
        BG_LOGW("the camera output did not end within %d ms; it was killed", kGraceMs);
    ForwardLines(true);
    child_.reset();
    pid_ = -1;
    platform::RemoveFile(linesPath_);
    platform::RemoveFile(linesPath_ + ".out");
}
