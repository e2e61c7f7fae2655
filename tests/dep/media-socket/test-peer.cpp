#include "tests/dep/media-socket/test-peer.h"

#include <chrono>
#include <thread>

#include "dep/QtComponent/media-socket/byte-order.h"
#include "dep/QtComponent/media-socket/inet-address.h"

namespace mstest {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool TcpPeer::Connect(uint16_t port, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        socket_ =
            media_socket::Socket(platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp);
        if (socket_.Connect(media_socket::InetAddress("127.0.0.1", port)))
            return true;
        socket_.Close();
        if (RemainingMs(deadline) == 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool TcpPeer::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        int n = socket_.Send(bytes.data() + done, static_cast<int>(bytes.size() - done));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool TcpPeer::ReadExact(size_t len, std::string* out, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    out->assign(len, '\0');
    size_t done = 0;
    while (done < len) {
        int left = RemainingMs(deadline);
        if (left == 0)
            return false;
        platform::SocketSetRecvTimeout(socket_.Fd(), left);
        int n = socket_.Recv(&(*out)[done], static_cast<int>(len - done), 0);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool TcpPeer::ReadFrame(std::string* body, int timeoutMs) {
    std::string head;
    if (!ReadExact(4, &head, timeoutMs))
        return false;
    return ReadExact(media_socket::ReadBe32(head.data()), body, timeoutMs);
}

bool TcpPeer::WaitClosed(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    for (;;) {
        int left = RemainingMs(deadline);
        if (left == 0)
            return false;
        platform::SocketSetRecvTimeout(socket_.Fd(), left);
        int n = socket_.Recv(buf, sizeof(buf), 0);
        if (n == 0)
            return true;
        if (n < 0)
            return !platform::IsWouldBlock(platform::LastSocketError());
    }
}

bool TcpPeer::StaysQuiet(int ms) {
    char c;
    platform::SocketSetRecvTimeout(socket_.Fd(), ms);
    int n = socket_.Recv(&c, 1, platform::kRecvPeek);
    return n < 0 && platform::IsWouldBlock(platform::LastSocketError());
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string Be32(uint32_t v) {
    std::string s(4, '\0');
    media_socket::WriteBe32(&s[0], v);
    return s;
}

std::string Frame(const std::string& body) {
    return Be32(static_cast<uint32_t>(body.size())) + body;
}

std::string Packet(uint32_t type, const std::vector<uint32_t>& expansion,
                   const std::string& payload) {
    std::string p = Be32(type) + Be32(static_cast<uint32_t>(expansion.size() * 4));
    for (uint32_t word : expansion)
        p += Be32(word);
    p += Be32(static_cast<uint32_t>(payload.size()));
    p += payload;
    return p;
}

std::string TokenPacket(const std::string& token) {
    return Packet(0, {}, token);
}

std::string VideoPacket(uint32_t frame_kind, const std::string& payload) {
    return Packet(1, {1, frame_kind}, payload);
}

std::string AudioPacket(uint32_t rate, uint32_t channels, uint32_t bits,
                        const std::string& payload) {
    return Packet(2, {2, rate, channels, bits}, payload);
}

std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 8)) & 0xff);
    return s;
}

}  // namespace mstest
