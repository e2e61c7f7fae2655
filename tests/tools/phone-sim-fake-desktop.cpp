#include "tests/tools/phone-sim-fake-desktop.h"

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include "platform/time.h"
#include "tools/phone-sim/packet-builder.h"
#include "tools/phone-sim/packet-log.h"
#include "zup2p/zup2p.h"

namespace phonesim_test {
namespace {

using phonesim::PacketBuilder;

constexpr int kStepMs = 50;
constexpr int64_t kServeLimitMicros = 30 * 1000000LL;
constexpr size_t kMaxStreamBytes = 256u << 20;

std::string Compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    // ZuCam's replies end with a line feed that counts in the frame length.
    return Json::writeString(builder, value) + "\n";
}

}  // namespace

bool ParseStream(const std::string& bytes, std::vector<StreamPacket>* out, std::string* error) {
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 12) {
            *error = "incomplete packet header at byte " + std::to_string(at);
            return false;
        }
        StreamPacket p;
        p.type = PacketBuilder::GetU32(&bytes[at]);
        uint32_t e = PacketBuilder::GetU32(&bytes[at + 4]);
        if (e % 4 || e > 64 || bytes.size() - at < 12 + size_t(e)) {
            *error = "bad expansion length " + std::to_string(e) + " at byte " + std::to_string(at);
            return false;
        }
        for (uint32_t i = 0; i < e; i += 4) {
            p.expansion.push_back(PacketBuilder::GetU32(&bytes[at + 8 + i]));
        }
        uint32_t n = PacketBuilder::GetU32(&bytes[at + 8 + e]);
        size_t start = at + 12 + e;
        if (bytes.size() - start < n) {
            *error = "payload of " + std::to_string(n) + " bytes cut short at byte " +
                     std::to_string(at);
            return false;
        }
        p.payload = bytes.substr(start, n);
        out->push_back(std::move(p));
        at = start + n;
    }
    return true;
}

std::string LogLineOf(const StreamPacket& p) {
    const char* data = p.payload.data();
    size_t len = p.payload.size();
    if (p.type == 1 && p.expansion.size() == 2) {
        return phonesim::PacketLog::VideoLine(p.expansion[1], data, len);
    }
    if (p.type == 2 && p.expansion.size() == 4) {
        return phonesim::PacketLog::AudioLine(p.expansion[1], p.expansion[2], p.expansion[3], data,
                                              len);
    }
    if (p.type == 0 && p.expansion.empty())
        return phonesim::PacketLog::TokenLine(data, len);
    return "malformed packet type " + std::to_string(p.type);
}

// Collects the Zup2p data messages into the stream; an empty message ends it.
class FakeDesktop::UdpSink : public zu::DataListener {
public:
    explicit UdpSink(FakeDesktop* owner) : owner_(owner) {}
    void onConnected(unsigned, const char*) override {}
    void onDisconnected(unsigned, const char*) override {}
    void onError(int, const char*) override {}
    void onText(unsigned, const char*) override {}
    void onBinary(unsigned, int channel, const char* data, int len) override {
        if (channel < 1)
            owner_->Fail("data message on channel " + std::to_string(channel));
        if (len <= 0) {
            owner_->EndStream();
            return;
        }
        owner_->AppendStream(data, static_cast<size_t>(len));
    }

private:
    FakeDesktop* owner_;
};

FakeDesktop::FakeDesktop() : FakeDesktop(Script()) {}

FakeDesktop::FakeDesktop(Script script) : script_(std::move(script)) {
    commandListener_ = std::make_unique<platform::ListenSocket>();
    std::string error;
    if (!commandListener_->listen("127.0.0.1", 0, &error)) {
        Fail("cannot listen: " + error);
        return;
    }
    port_ = commandListener_->port();
    serveThread_ = std::thread([this] { Serve(commandListener_.get()); });
}

FakeDesktop::~FakeDesktop() {
    stop_ = true;
    Join();
    if (zup2p_)
        zup2p_->stop();
}

void FakeDesktop::Join() {
    if (serveThread_.joinable())
        serveThread_.join();
    stop_ = true;
    if (streamThread_.joinable())
        streamThread_.join();
}

void FakeDesktop::Fail(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_.empty())
        failure_ = why;
}

std::string FakeDesktop::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

std::vector<std::string> FakeDesktop::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<double> FakeDesktop::requestTimes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<double> times;
    for (int64_t t : requestMicros_)
        times.push_back((t - requestMicros_.front()) / 1e6);
    return times;
}

std::string FakeDesktop::streamBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stream_;
}

void FakeDesktop::AppendStream(const char* data, size_t len) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_.size() + len > kMaxStreamBytes) {
        if (failure_.empty())
            failure_ = "stream larger than 256 MiB";
        return;
    }
    stream_.append(data, len);
    if (script_.dropAfterBytes && stream_.size() >= script_.dropAfterBytes)
        streamEnded_ = true;
}

void FakeDesktop::EndStream() {
    streamEnded_ = true;
}

void FakeDesktop::Serve(platform::ListenSocket* listener) {
    std::string error;
    platform::ClientSocket cmd = listener->accept(10000, &error);
    if (!cmd.isOpen())
        return;  // the refusal tests never connect
    std::string buffer;
    char chunk[4096];
    int64_t deadline = platform::MonotonicMicros() + kServeLimitMicros;
    bool open = true;
    while (open && !stop_ && !streamEnded_ && platform::MonotonicMicros() < deadline) {
        long n = cmd.recvSome(chunk, sizeof chunk, kStepMs, &error);
        if (n == 0)
            break;
        if (n < 0)
            continue;
        buffer.append(chunk, static_cast<size_t>(n));
        while (open && buffer.size() >= 4) {
            uint32_t len = PacketBuilder::GetU32(buffer.data());
            if (len > 4092) {
                Fail("request frame of " + std::to_string(len) + " bytes");
                open = false;
                break;
            }
            if (buffer.size() < 4 + size_t(len))
                break;
            std::string body = buffer.substr(4, len);
            buffer.erase(0, 4 + size_t(len));
            open = Handle(body, &cmd);
        }
    }
    // Close the link as ZuCam does: the Zup2p host first, then both connections.
    if (zup2p_)
        zup2p_->stop();
    stop_ = true;
    cmd.close();
}

bool FakeDesktop::Reply(platform::ClientSocket* cmd, const std::string& json) {
    std::string frame(4, '\0');
    PacketBuilder::PutU32(static_cast<uint32_t>(json.size()), &frame[0]);
    frame += json;
    std::string error;
    return cmd->sendAll(frame.data(), frame.size(), 2000, &error);
}

bool FakeDesktop::Handle(const std::string& body, platform::ClientSocket* cmd) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(body);
        requestMicros_.push_back(platform::MonotonicMicros());
    }
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string error;
    if (!reader->parse(body.data(), body.data() + body.size(), &root, &error) || !root.isObject() ||
        !root["type"].isInt() || !root["data"].isObject()) {
        Fail("bad request: " + body);
        return false;
    }
    const int type = root["type"].asInt();
    const Json::Value& data = root["data"];
    Json::Value reply(Json::objectValue);
    reply["version"] = "1.0";
    reply["type"] = 0;
    if (script_.refusedTypes.count(type)) {
        reply["type"] = 1;
        Reply(cmd, Compact(reply));
        return false;
    }
    if (type == 0 || type == 1) {
        switch (script_.pushPlay) {
            case PushPlay::kRefuse:
                reply["type"] = 1;
                Reply(cmd, Compact(reply));
                return false;
            case PushPlay::kCloseWithoutReply:
                return false;
            case PushPlay::kSilent:
                return true;
            case PushPlay::kOversizedReply:
                Reply(cmd, std::string(5000, ' '));
                return true;
            default:
                break;
        }
        uint16_t streamPort = 0;
        bool udp = data.isMember("udpPort") && data["udpPort"].asInt() != 0;
        reply["data"]["key"] = kKey;
        reply["data"]["bite_rate"] = 4;
        if (script_.pushPlay == PushPlay::kNoPort) {
            reply["data"]["port"] = 0;
        } else if (udp) {
            udpSink_ = std::make_unique<UdpSink>(this);
            zup2p_ = std::make_unique<zu::Zup2p>();
            zup2p_->run(udpSink_.get(), 0, 100);
            reply["data"]["port"] = 0;
            reply["data"]["udpPort"] = zup2p_->bindPort();
        } else {
            if (!StartTcpStream(&streamPort))
                return false;
            reply["data"]["port"] = streamPort;
        }
        return Reply(cmd, Compact(reply));
    }
    switch (type) {
        case -1:
            reply["type"] = -1;
            reply["data"] = Json::Value();
            break;
        case 1001:
            reply["type"] = 1001;
            reply["name"] = kName;
            break;
        case 2:
            reply["data"] = Json::Value();
            Reply(cmd, Compact(reply));
            return false;
        case 5:
            reply["data"]["state"] = data["type"].asInt() == 1 ? 1u : 0u;
            break;
        default:
            break;
    }
    return Reply(cmd, Compact(reply));
}

bool FakeDesktop::StartTcpStream(uint16_t* port) {
    if (streamThread_.joinable()) {
        Fail("second push-play");
        return false;
    }
    streamListener_ = std::make_unique<platform::ListenSocket>();
    std::string error;
    if (!streamListener_->listen("127.0.0.1", 0, &error)) {
        Fail("cannot open a stream port: " + error);
        return false;
    }
    *port = streamListener_->port();
    streamThread_ = std::thread([this] { ReceiveTcpStream(); });
    return true;
}

void FakeDesktop::ReceiveTcpStream() {
    std::string error;
    platform::ClientSocket stream;
    int64_t deadline = platform::MonotonicMicros() + kServeLimitMicros;
    while (!stream.isOpen() && !stop_ && platform::MonotonicMicros() < deadline) {
        stream = streamListener_->accept(kStepMs, &error);
    }
    std::vector<char> chunk(1 << 16);
    while (stream.isOpen() && !stop_ && !streamEnded_ && platform::MonotonicMicros() < deadline) {
        long n = stream.recvSome(chunk.data(), chunk.size(), kStepMs, &error);
        if (n == 0) {
            EndStream();
            break;
        }
        if (n > 0)
            AppendStream(chunk.data(), static_cast<size_t>(n));
    }
}

}  // namespace phonesim_test
