// Two Zup2p hosts in one process over 127.0.0.1: one sends 200 KB messages on
// a reliable channel, the other receives them. Each message carries its send
// time (bg::cpu_nano_pts, one clock for both ends), so the receiver measures
// the one-way latency.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zup2p/cpu-pts.h"
#include "zup2p/zup2p.h"

namespace {

constexpr int kMessageSize = 200 * 1024;

class Receiver : public zu::DataListener {
public:
    void onConnected(unsigned, const char*) override {}
    void onDisconnected(unsigned, const char*) override {}
    void onError(int, const char*) override {}
    void onText(unsigned, const char*) override {}
    void onBinary(unsigned, int, const char* data, int len) override {
        const int64_t now = bg::cpu_nano_pts();
        int64_t sent = 0;
        if (len >= static_cast<int>(sizeof sent))
            std::memcpy(&sent, data, sizeof sent);
        std::lock_guard<std::mutex> lock(mutex_);
        latencies_ns_.push_back(now - sent);
        bytes_ += len;
        ++received_;
        cv_.notify_all();
    }

    bool waitForCount(int64_t count, int timeout_ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return received_ >= count; });
    }
    int64_t received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    std::vector<int64_t> takeLatencies() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<int64_t> out;
        out.swap(latencies_ns_);
        return out;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<int64_t> latencies_ns_;
    int64_t bytes_ = 0;
    int64_t received_ = 0;
};

class Quiet : public zu::DataListener {
public:
    void onConnected(unsigned, const char*) override {}
    void onDisconnected(unsigned, const char*) override {}
    void onError(int, const char*) override {}
    void onText(unsigned, const char*) override {}
    void onBinary(unsigned, int, const char*, int) override {}
};

// A connected pair of hosts.
struct Pair {
    Receiver receiver;
    Quiet quiet;
    zu::Zup2p server;
    zu::Zup2p client;
    unsigned peer = 0;

    Pair() {
        server.run(&receiver, 0, 4);
        client.run(&quiet, 0, 4);
        peer = client.makeConnection("127.0.0.1", server.bindPort());
    }
    ~Pair() {
        client.stop();
        server.stop();
    }

    // Stamps and sends one message; retries while the send queue is full.
    bool send(std::string& message) {
        const int64_t now = bg::cpu_nano_pts();
        std::memcpy(&message[0], &now, sizeof now);
        for (int tries = 0; tries < 20; ++tries) {
            if (client.sendBinary(peer, zu::kChannelData1, message.data(),
                                  static_cast<int>(message.size()), true)) {
                return true;
            }
        }
        return false;
    }
};

double Percentile(std::vector<int64_t>& values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t index = std::min(
        values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())));
    return static_cast<double>(values[index]);
}

// Sends batches of messages back to back; the time runs until the last one
// has been delivered, so bytes/s is what arrives, not what was queued.
void BM_Zup2pThroughput(benchmark::State& state) {
    const int batch = static_cast<int>(state.range(0));
    Pair pair;
    if (pair.peer == 0) {
        state.SkipWithError("no connection");
        return;
    }
    std::string message(kMessageSize, 'x');
    int64_t expected = 0;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) {
            if (!pair.send(message)) {
                state.SkipWithError("send queue stayed full");
                return;
            }
        }
        expected += batch;
        if (!pair.receiver.waitForCount(expected, 30000)) {
            state.SkipWithError("messages lost");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * batch * kMessageSize);
    std::vector<int64_t> latencies = pair.receiver.takeLatencies();
    state.counters["p50_ms"] = Percentile(latencies, 0.50) / 1e6;
    state.counters["p99_ms"] = Percentile(latencies, 0.99) / 1e6;
}
BENCHMARK(BM_Zup2pThroughput)->Arg(50)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

// One message in flight at a time: the latency of an idle link.
void BM_Zup2pLatency(benchmark::State& state) {
    Pair pair;
    if (pair.peer == 0) {
        state.SkipWithError("no connection");
        return;
    }
    std::string message(kMessageSize, 'y');
    int64_t expected = 0;
    for (auto _ : state) {
        if (!pair.send(message)) {
            state.SkipWithError("send queue stayed full");
            return;
        }
        if (!pair.receiver.waitForCount(++expected, 10000)) {
            state.SkipWithError("message lost");
            return;
        }
    }
    std::vector<int64_t> latencies = pair.receiver.takeLatencies();
    state.SetBytesProcessed(state.iterations() * kMessageSize);
    state.counters["p50_ms"] = Percentile(latencies, 0.50) / 1e6;
    state.counters["p99_ms"] = Percentile(latencies, 0.99) / 1e6;
}
BENCHMARK(BM_Zup2pLatency)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
