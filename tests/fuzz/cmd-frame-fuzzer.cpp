// Feeds arbitrary bytes to the command connection's protocol, cut into
// deliveries of varying size, and checks every reply it would send.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <json/value.h>

#include "dep/QtComponent/media-socket/cmd-frame-buffer.h"
#include "dep/QtComponent/media-socket/json-text.h"
#include "dep/QtComponent/media-socket/zusp-command-handler.h"

namespace {

using media_socket::ZuSPCommandHandler;

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// A server that answers like the real one and checks the replies: each is
// one line of compact JSON with "type" and "version" "1.0", and writing it
// again gives the same bytes.
class CheckingHost : public media_socket::ZuSPCommandHost {
public:
    void SendCmd(const std::string& body) override {
        Check(!body.empty() && body.back() == '\n');
        Json::Value v;
        Check(media_socket::ParseJson(body.data(), body.data() + body.size(), &v));
        Check(v.isObject() && v.isMember("type") && v["version"].asString() == "1.0");
        Check(media_socket::WriteCompactJson(v) == body);
        Check(body.find('\n') == body.size() - 1);
    }
    void RequestClose() override { closing = true; }
    unsigned OpenTcpStream() override { return (++calls & 3) ? 10081 : 0; }
    unsigned StartUdpStream() override { return (++calls & 3) ? 50000 : 0; }
    void NotifyStreamPort(unsigned port) override { Check(port != 0); }
    std::string RenewToken() override { return "{00000000-0000-4000-8000-000000000000}"; }
    void NotifyConnected(const std::string&) override {}
    bool HandleCustomCommand(int type, const Json::Value& data, Json::Value* reply) override {
        // Owners read members of "data" and echo some of them back.
        if (data.isObject() && data.isMember("echo"))
            (*reply)["echo"] = data["echo"];
        return type % 2 == 0;
    }
    std::string DeviceName() override { return "Fuzz \xe4\xb8\xad"; }

    bool closing = false;
    unsigned calls = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks how the rest is cut into deliveries.
    const unsigned step = 1u + data[0] * 17u;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    size_t len = size - 1;

    CheckingHost host;
    ZuSPCommandHandler handler(&host);
    for (size_t pos = 0; pos < len;) {
        size_t n = std::min<size_t>(step, len - pos);
        handler.OnMessage(bytes + pos, static_cast<int>(n));
        Check(handler.BufferedBytes() >= 0 &&
              handler.BufferedBytes() <= media_socket::CmdFrameBuffer::kCapacity);
        if (host.closing) {
            // What the server does when the close runs; then the phone
            // starts over on a new connection with the rest of the bytes.
            handler.Reset();
            host.closing = false;
        }
        pos += n;
    }
    handler.OnMessage(nullptr, 0);
    return 0;
}
