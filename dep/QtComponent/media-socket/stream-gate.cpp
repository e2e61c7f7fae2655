#include "dep/QtComponent/media-socket/stream-gate.h"

#include "dep/QtComponent/media-socket/byte-order.h"
#include "dep/QtComponent/media-socket/connection.h"
#include "dep/QtComponent/media-socket/event-loop.h"
#include "dep/QtComponent/media-socket/socket.h"
#include "dep/QtComponent/media-socket/stream-packet-assembler.h"
#include "hublet/log-sink.h"

namespace media_socket {
namespace {

constexpr int64_t kSweepIntervalMs = 250;
constexpr uint32_t kTokenType = 0;

}  // namespace

struct StreamGate::Waiter {
    enum class State { kWaiting, kAdmitted, kRefused };
    std::unique_ptr<Connection> connection;
    std::string received;
    int64_t since = 0;
    State state = State::kWaiting;
    bool closed = false;
};

StreamGate::StreamGate(EventLoop* loop) : loop_(loop), sweep_(kSweepIntervalMs, true) {
    sweep_.SetCallback([this] { Expire(); });
}

StreamGate::~StreamGate() {
    Disarm();
    waiters_.clear();
}

StreamGate::Verdict StreamGate::Judge(const char* data, size_t len, const std::string& token) {
    const size_t header = StreamPacketAssembler::kHeaderSize;
    if (len >= 4 && ReadBe32(data) != kTokenType)
        return Verdict::kRefuse;
    if (len < header)
        return Verdict::kWait;
    const uint64_t expansion = ReadBe32(data + 4);
    if (header + expansion > kMaxFirstPacket)
        return Verdict::kRefuse;
    if (len < header + expansion)
        return Verdict::kWait;
    const uint64_t payload = ReadBe32(data + 8 + expansion);
    const uint64_t size = header + expansion + payload;
    if (size > kMaxFirstPacket)
        return Verdict::kRefuse;
    if (len < size)
        return Verdict::kWait;
    const char* key = data + header + expansion;
    if (token.empty() || token.size() != payload || token.compare(0, token.size(), key, payload))
        return Verdict::kRefuse;
    return Verdict::kAdmit;
}

void StreamGate::Add(Socket&& socket) {
    if (waiters_.size() >= kMaxWaiting) {
        for (auto it = waiters_.begin(); it != waiters_.end(); ++it) {
            if ((*it)->state == Waiter::State::kWaiting) {
                Drop(it);
                break;
            }
        }
    }
    std::unique_ptr<Waiter> waiter(new Waiter);
    waiter->since = EventLoop::NowMs();
    waiter->connection.reset(new Connection(loop_, std::move(socket)));
    Waiter* raw = waiter.get();
    waiter->connection->SetMessageCallback(
        [this, raw](char* data, int len) { OnMessage(raw, data, len); });
    waiters_.push_back(std::move(waiter));
    raw->connection->Start();
    if (!armed_) {
        armed_ = true;
        loop_->AddTimer(&sweep_);
    }
}

void StreamGate::OnMessage(Waiter* waiter, char* data, int len) {
    if (len <= 0) {
        waiter->closed = true;
        if (waiter->state == Waiter::State::kWaiting)
            Decide(waiter, false);
        return;
    }
    if (waiter->state == Waiter::State::kRefused)
        return;
    // After the token the connection reads on until its turn ends: keep it
    // all for the stream.
    waiter->received.append(data, static_cast<size_t>(len));
    if (waiter->state == Waiter::State::kAdmitted)
        return;
    const std::string token = token_ ? token_() : std::string();
    Verdict verdict = Judge(waiter->received.data(), waiter->received.size(), token);
    if (verdict == Verdict::kWait)
        return;
    const bool admit = verdict == Verdict::kAdmit;
    // One line per session: a crowd of wrong keys must not flood the log.
    if (!admit && !token_error_logged_ && ReadBe32(waiter->received.data()) == kTokenType) {
        token_error_logged_ = true;
        BG_LOGE("token is error");
    }
    Decide(waiter, admit);
}

void StreamGate::Decide(Waiter* waiter, bool admit) {
    waiter->state = admit ? Waiter::State::kAdmitted : Waiter::State::kRefused;
    if (!admit)
        waiter->received.clear();
    // The connection is inside its own callback: it is handed on or closed
    // once that has returned.
    if (!settle_queued_) {
        settle_queued_ = true;
        loop_->QueueInLoop([this] { Settle(); });
    }
}

void StreamGate::Settle() {
    settle_queued_ = false;
    std::list<std::unique_ptr<Waiter>> decided;
    for (auto it = waiters_.begin(); it != waiters_.end();) {
        auto next = std::next(it);
        if ((*it)->state != Waiter::State::kWaiting)
            decided.splice(decided.end(), waiters_, it);
        it = next;
    }
    for (std::unique_ptr<Waiter>& waiter : decided) {
        if (waiter->state == Waiter::State::kRefused) {
            ++refused_;
            continue;
        }
        if (admit_) {
            waiter->connection->SetMessageCallback(nullptr);
            admit_(std::move(waiter->connection), waiter->received, waiter->closed);
        }
    }
    if (waiters_.empty())
        Disarm();
}

void StreamGate::Expire() {
    const int64_t now = EventLoop::NowMs();
    for (auto it = waiters_.begin(); it != waiters_.end();) {
        auto next = std::next(it);
        if ((*it)->state == Waiter::State::kWaiting && now - (*it)->since >= kTokenWaitMs)
            Drop(it);
        it = next;
    }
    if (waiters_.empty())
        Disarm();
}

void StreamGate::Drop(std::list<std::unique_ptr<Waiter>>::iterator it) {
    ++refused_;
    waiters_.erase(it);
}

void StreamGate::Clear() {
    refused_ += waiters_.size();
    waiters_.clear();
    token_error_logged_ = false;
    Disarm();
}

void StreamGate::Disarm() {
    if (!armed_)
        return;
    armed_ = false;
    loop_->RemoveTimer(&sweep_);
}

}  // namespace media_socket
