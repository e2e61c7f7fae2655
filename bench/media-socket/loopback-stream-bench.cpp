// A phone's TCP stream over loopback through the reactor into the video
// callback: throughput, and the time from the last byte of a packet leaving
// the phone to the callback for that packet at 30 packets per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/media-socket/bench-packets.h"
#include "dep/QtComponent/media-socket/byte-order.h"
#include "dep/QtComponent/media-socket/inet-address.h"
#include "dep/QtComponent/media-socket/socket.h"
#include "dep/QtComponent/media-socket/zusp-server.h"

namespace {

using Clock = std::chrono::steady_clock;
using media_socket::InetAddress;
using media_socket::Socket;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

bool SendAll(Socket& s, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        int n = s.Send(bytes.data() + done, static_cast<int>(bytes.size() - done));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool RecvAll(Socket& s, size_t len, std::string* out) {
    out->assign(len, '\0');
    size_t done = 0;
    while (done < len) {
        int n = s.Recv(&(*out)[done], static_cast<int>(len - done), 0);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// One server with a phone connected over TCP: command connection, push-play,
// stream connection and token. The video callback stamps each packet by the
// sequence number carried in its frame-kind field.
class Rig {
public:
    static constexpr size_t kMaxPackets = 1 << 16;

    Rig() : stamps_(kMaxPackets) {
        server_.SetVideoCallback([this](const char* data, unsigned len, unsigned seq) {
            benchmark::DoNotOptimize(data);
            stamps_[seq % kMaxPackets].store(NowNs(), std::memory_order_relaxed);
            bytes_.fetch_add(len, std::memory_order_relaxed);
            packets_.fetch_add(1, std::memory_order_release);
        });
        ok_ = Connect();
    }

    bool ok() const { return ok_; }
    Socket& stream() { return stream_; }
    uint64_t packets() const { return packets_.load(std::memory_order_acquire); }
    int64_t stamp(uint32_t seq) const {
        return stamps_[seq % kMaxPackets].load(std::memory_order_relaxed);
    }
    void ClearStamp(uint32_t seq) { stamps_[seq % kMaxPackets].store(0); }
    bool WaitPackets(uint64_t n) {
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (packets() < n) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::yield();
        }
        return true;
    }

private:
    bool Connect() {
        if (!server_.Start(0))
            return false;
        cmd_ = Socket(platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp);
        if (!cmd_.Connect(InetAddress("127.0.0.1", server_.CmdPort())))
            return false;
        platform::SocketSetRecvTimeout(cmd_.Fd(), 5000);
        std::string body = "{\"type\":0,\"data\":{\"name\":\"bench\"}}";
        std::string frame(4, '\0');
        media_socket::WriteBe32(&frame[0], static_cast<uint32_t>(body.size()));
        if (!SendAll(cmd_, frame + body))
            return false;
        std::string head, reply;
        if (!RecvAll(cmd_, 4, &head))
            return false;
        if (!RecvAll(cmd_, media_socket::ReadBe32(head.data()), &reply))
            return false;
        size_t k = reply.find("\"key\":\"");
        size_t p = reply.find("\"port\":");
        if (k == std::string::npos || p == std::string::npos)
            return false;
        std::string key = reply.substr(k + 7, reply.find('"', k + 7) - (k + 7));
        uint16_t port = static_cast<uint16_t>(std::stoul(reply.substr(p + 7)));
        stream_ = Socket(platform::kFamilyInet, platform::kSockStream, platform::kProtoTcp);
        if (!stream_.Connect(InetAddress("127.0.0.1", port)))
            return false;
        platform::SocketSetNoDelay(stream_.Fd(), true);
        return SendAll(stream_, msbench::TokenPacket(key));
    }

    media_socket::ZuSPServer server_;
    Socket cmd_;
    Socket stream_;
    std::vector<std::atomic<int64_t>> stamps_;
    std::atomic<uint64_t> bytes_{0};
    std::atomic<uint64_t> packets_{0};
    bool ok_ = false;
};

void BM_LoopbackStreamThroughput(benchmark::State& state) {
    const size_t packet_bytes = static_cast<size_t>(state.range(0));
    Rig rig;
    if (!rig.ok()) {
        state.SkipWithError("cannot set up the stream");
        return;
    }
    const int kPerRound = 50;
    std::string round;
    for (int i = 0; i < kPerRound; ++i)
        round += msbench::VideoPacket(0, packet_bytes);
    uint64_t expected = 0;
    for (auto _ : state) {
        if (!SendAll(rig.stream(), round)) {
            state.SkipWithError("send failed");
            return;
        }
        expected += kPerRound;
        if (!rig.WaitPackets(expected)) {
            state.SkipWithError("packets lost");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(round.size() * state.iterations()));
}
BENCHMARK(BM_LoopbackStreamThroughput)->Arg(200 * 1000)->Arg(16 * 1000)->UseRealTime();

void BM_LoopbackStreamLatencyAt30Fps(benchmark::State& state) {
    const size_t packet_bytes = static_cast<size_t>(state.range(0));
    const int kPackets = 150;  // five seconds
    Rig rig;
    if (!rig.ok()) {
        state.SkipWithError("cannot set up the stream");
        return;
    }
    std::vector<double> latencies_us;
    for (auto _ : state) {
        auto next = Clock::now();
        for (uint32_t seq = 1; seq <= kPackets; ++seq) {
            std::string packet = msbench::VideoPacket(seq, packet_bytes);
            rig.ClearStamp(seq);
            uint64_t before = rig.packets();
            std::this_thread::sleep_until(next);
            next += std::chrono::microseconds(33333);
            if (!SendAll(rig.stream(), packet)) {
                state.SkipWithError("send failed");
                return;
            }
            int64_t sent = NowNs();
            if (!rig.WaitPackets(before + 1)) {
                state.SkipWithError("packet lost");
                return;
            }
            latencies_us.push_back(std::max<int64_t>(0, rig.stamp(seq) - sent) / 1000.0);
        }
    }
    std::sort(latencies_us.begin(), latencies_us.end());
    auto pct = [&](double p) {
        return latencies_us[std::min(latencies_us.size() - 1,
                                     static_cast<size_t>(p * latencies_us.size()))];
    };
    state.counters["p50_us"] = pct(0.50);
    state.counters["p99_us"] = pct(0.99);
    state.counters["max_us"] = latencies_us.back();
}
BENCHMARK(BM_LoopbackStreamLatencyAt30Fps)
    ->Arg(200 * 1000)
    ->Arg(4 * 1000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
