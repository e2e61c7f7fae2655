#include "bench/zucamd/zucamd-process.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

#include "devices/virtual-camera-queue.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tools/phone-sim/annexb-file-source.h"
#include "tools/phone-sim/command-channel.h"
#include "tools/phone-sim/packet-builder.h"
#include "tools/phone-sim/phone-command.h"
#include "tools/phone-sim/phone-session.h"
#include "tools/phone-sim/phone-sim-options.h"
#include "tools/phone-sim/stream-sender.h"
#include "tools/phone-sim/tcp-stream-transport.h"

namespace zubench {

namespace {

// Every network wait of the benchmark phones.
constexpr int kNetworkTimeoutMs = 30000;

}  // namespace

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string content;
    while (Clock::now() < deadline) {
        if (platform::ReadWholeFile(path, &content) && content.find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

Workspace::Workspace() {
    namespace fs = std::filesystem;
    std::random_device rd;
    for (int i = 0; i < 100 && path_.empty(); ++i) {
        fs::path candidate = fs::temp_directory_path() / ("zucamd-bench-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec))
            path_ = candidate.string();
    }
    if (path_.empty())
        std::abort();
}

Workspace::~Workspace() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool Zucamd::Start(int port, std::string* error) {
    platform::MakeDirs(workspace_.file("runtime"), 0700);
    platform::MakeDirs(workspace_.file("saved"));
    platform::ChildProcess::Options o;
    o.argv = {platform::ExecutableDir() + "/zucamd", "--port", std::to_string(port),
              "--no-announce", "--save-dir", workspace_.file("saved"),
              // The log on standard error, where the checks below read it.
              "--verbose"};
    o.env = {{"XDG_CONFIG_HOME", workspace_.file("config")},
             {"XDG_STATE_HOME", workspace_.file("state")},
             {"XDG_RUNTIME_DIR", workspace_.file("runtime")}};
    o.stdoutPath = workspace_.file("zucamd.out");
    o.stderrPath = workspace_.file("zucamd.err");
    if (!child_.start(o)) {
        *error = "zucamd cannot be started (is it built beside this program?)";
        return false;
    }
    started_ = true;
    if (!WaitForText(o.stderrPath, "serving Wi-Fi phones", 15000)) {
        *error = "zucamd did not start serving:\n" + Stderr();
        return false;
    }
    if (Stderr().find("camera queue \"") == std::string::npos) {
        *error = "zucamd runs without its camera queue:\n" + Stderr();
        return false;
    }
    return true;
}

int Zucamd::Stop() {
    if (!started_)
        return -1;
    started_ = false;
    return child_.stop(10000);
}

std::string Zucamd::Stderr() const {
    std::string text;
    platform::ReadWholeFile(workspace_.file("zucamd.err"), &text);
    return text;
}

long long Zucamd::DiscardedPackets() const {
    const std::string key = "release old pkt_ ";
    std::string text = Stderr();
    long long total = 0;
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
        total += std::atoll(text.c_str() + at + key.size());
    return total;
}

bool QueueWatch::Start(int pollMicros, int timeoutMs, std::string* error) {
    auto queue = std::make_unique<VirtualCameraQueue>(false);
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!queue->open(VirtualCameraQueue::kSlotCapacity)) {
        if (Clock::now() >= deadline) {
            *error = "the camera queue did not appear: " + queue->lastError();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop_ = false;
    thread_ = std::thread([this, pollMicros, q = std::move(queue)] {
        uint32_t last = q->publishedCounter();
        while (!stop_.load()) {
            uint32_t now = q->publishedCounter();
            if (now != last) {
                std::lock_guard<std::mutex> lock(mutex_);
                changes_.emplace_back(now, Clock::now());
                last = now;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(pollMicros));
        }
    });
    return true;
}

void QueueWatch::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

uint32_t QueueWatch::published() {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_.empty() ? 0 : changes_.back().first;
}

bool QueueWatch::ReachedAt(uint32_t count, Clock::time_point* at) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& change : changes_) {
        if (change.first >= count) {
            *at = change.second;
            return true;
        }
    }
    return false;
}

bool QueueWatch::WaitFor(uint32_t count, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (published() < count) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool QueueWatch::QuietFor(int quietMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    Clock::time_point last = changes_.empty() ? Clock::time_point() : changes_.back().second;
    return Clock::now() - last >= std::chrono::milliseconds(quietMs);
}

bool FloodPhone::Run(int port, const std::string& path, const std::function<bool()>& done,
                     int holdTimeoutMs, std::string* error) {
    phonesim::AnnexBFileSource source;
    phonesim::CommandChannel commands;
    std::string text;
    Json::Value reply;
    bool failed = false;
    if (!source.Open(path, 30, false, error) ||
        !commands.Connect("127.0.0.1", static_cast<uint16_t>(port), kNetworkTimeoutMs, error) ||
        !commands.Request(phonesim::PushPlayRequest("zucamd-bench", false), kNetworkTimeoutMs,
                          &text, &reply, error)) {
        return false;
    }
    std::string summary = phonesim::SummarizePushPlay(reply, false, &failed);
    if (failed) {
        *error = "push-play: " + summary;
        return false;
    }
    phonesim::TcpStreamTransport transport(kNetworkTimeoutMs);
    phonesim::StreamSender sender;
    sender.SetTransport(&transport);
    auto streamPort = static_cast<uint16_t>(reply["data"]["port"].asLargestInt());
    if (!transport.Connect("127.0.0.1", streamPort, error) ||
        !sender.SendToken(reply["data"]["key"].asString(), error)) {
        return false;
    }
    phonesim::AccessUnit unit;
    int rc;
    while ((rc = source.Next(&unit, error)) > 0) {
        if (!unit.config.empty() && !sender.SendVideo(phonesim::kFrameConfig, unit.config, error))
            return false;
        uint32_t kind = unit.key ? phonesim::kFrameKey : phonesim::kFramePicture;
        if (!unit.picture.empty() && !sender.SendVideo(kind, unit.picture, error))
            return false;
        ++pictures_;
    }
    if (rc < 0 || !transport.Flush(error))
        return false;
    auto deadline = Clock::now() + std::chrono::milliseconds(holdTimeoutMs);
    bool finished = done();
    for (; !finished && Clock::now() < deadline; finished = done())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!transport.Finish(error))
        return false;
    commands.WaitPeerClosed(5000);
    if (!finished)
        *error = "the desktop was not done " + std::to_string(holdTimeoutMs) + " ms after the end";
    return finished;
}

PhoneRun::~PhoneRun() {
    if (thread_.joinable())
        thread_.join();
}

void PhoneRun::Start(const PhoneRunOptions& options) {
    phonesim::PhoneSimOptions o;
    o.port = options.port;
    o.phoneName = "zucamd-bench";
    o.videoFile = options.videoFile;
    o.fps = options.fps;
    o.loop = options.loop;
    o.duration = options.seconds;
    o.timeout = kNetworkTimeoutMs / 1000.0;
    done_ = false;
    thread_ = std::thread([this, o] {
        std::ostringstream out;
        phonesim::PhoneSession session(o, out, out);
        exitCode_ = session.Run();
        std::lock_guard<std::mutex> lock(mutex_);
        output_ = out.str();
        done_ = true;
    });
}

bool PhoneRun::Wait(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done_.load()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    thread_.join();
    return true;
}

std::string PhoneRun::Output() {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
}

}  // namespace zubench
