#include "bench/zucam-window/paced-phone.h"

#include <thread>

#include "bench/ffmpeg/decoder-bench-support.h"
#include "tools/phone-sim/annexb-file-source.h"
#include "tools/phone-sim/packet-builder.h"
#include "tools/phone-sim/phone-command.h"
#include "tools/phone-sim/stream-sender.h"

namespace zubench {

namespace {

constexpr int kNetworkTimeoutMs = 30000;

}  // namespace

PacedPhone::PacedPhone() : transport_(kNetworkTimeoutMs) {}

PacedPhone::~PacedPhone() {
    Finish();
}

bool PacedPhone::Load(const std::string& path, std::vector<phonesim::AccessUnit>* units,
                      std::string* error) {
    phonesim::AnnexBFileSource source;
    if (!source.Open(path, 30, false, error))
        return false;
    phonesim::AccessUnit unit;
    int rc;
    while ((rc = source.Next(&unit, error)) > 0)
        units->push_back(unit);
    return rc == 0 && !units->empty();
}

bool PacedPhone::Connect(int port, int timeoutMs, std::string* error) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!commands_.Connect("127.0.0.1", static_cast<uint16_t>(port), 1000, error)) {
        if (Clock::now() >= deadline)
            return false;
        commands_.Close();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::string text;
    Json::Value reply;
    bool failed = false;
    if (!commands_.Request(phonesim::PushPlayRequest("zucam-window-bench", false),
                           kNetworkTimeoutMs, &text, &reply, error)) {
        return false;
    }
    std::string summary = phonesim::SummarizePushPlay(reply, false, &failed);
    if (failed) {
        *error = "push-play: " + summary;
        return false;
    }
    auto streamPort = static_cast<uint16_t>(reply["data"]["port"].asLargestInt());
    phonesim::StreamSender sender;
    sender.SetTransport(&transport_);
    if (!transport_.Connect("127.0.0.1", streamPort, error) ||
        !sender.SendToken(reply["data"]["key"].asString(), error)) {
        return false;
    }
    streaming_ = true;
    return true;
}

bool PacedPhone::Stream(const std::vector<phonesim::AccessUnit>& units, double fps, double seconds,
                        std::string* error) {
    phonesim::StreamSender sender;
    sender.SetTransport(&transport_);
    bool ok = true;
    const auto count = static_cast<size_t>(seconds * fps);
    pushes_ = FeedRealTime(count, fps, [&](size_t i) {
        const phonesim::AccessUnit& unit = units[i % units.size()];
        if (!ok)
            return;
        if (!unit.config.empty())
            ok = sender.SendVideo(phonesim::kFrameConfig, unit.config, error);
        uint32_t kind = unit.key ? phonesim::kFrameKey : phonesim::kFramePicture;
        ok = ok && sender.SendVideo(kind, unit.picture, error);
    });
    return ok && transport_.Flush(error);
}

void PacedPhone::Finish() {
    if (!streaming_)
        return;
    streaming_ = false;
    std::string error;
    transport_.Finish(&error);
    commands_.WaitPeerClosed(5000);
}

}  // namespace zubench
