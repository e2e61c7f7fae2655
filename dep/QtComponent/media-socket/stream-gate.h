#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "dep/QtComponent/media-socket/timer.h"

namespace media_socket {

class Connection;
class EventLoop;
class Socket;

// Holds the stream connections that have not shown the session token yet.
// The stream port is open to anyone who can reach it, so a connection becomes
// the phone's only once its first packet is a token packet with the current
// token; until then it takes no slot and any number may wait beside it. One
// that sends anything else, or nothing whole within kTokenWaitMs, is closed.
// Loop thread only; destroy it before its loop.
class StreamGate {
public:
    static constexpr int64_t kTokenWaitMs = 2000;
    // Beyond this many waiting connections the oldest is closed: the phone
    // sends its token at once, a waiting crowd is somebody else.
    static constexpr size_t kMaxWaiting = 64;
    // The largest first packet taken; a token is a few dozen bytes.
    static constexpr size_t kMaxFirstPacket = 4096;

    enum class Verdict { kWait, kAdmit, kRefuse };

    // A connection that showed the token, with every byte it sent so far (its
    // token packet first) and whether it has closed since. Runs from the loop
    // after the connection's own callback has returned.
    using AdmitCallback = std::function<void(std::unique_ptr<Connection> connection,
                                             const std::string& received, bool closed)>;
    // The session's current token ("" when there is none).
    using TokenSource = std::function<std::string()>;

    explicit StreamGate(EventLoop* loop);
    ~StreamGate();
    StreamGate(const StreamGate&) = delete;
    StreamGate& operator=(const StreamGate&) = delete;

    void SetAdmitCallback(AdmitCallback cb) { admit_ = std::move(cb); }
    void SetTokenSource(TokenSource source) { token_ = std::move(source); }

    // Starts reading a freshly accepted stream connection.
    void Add(Socket&& socket);
    // Closes every waiting connection (the session ended).
    void Clear();
    size_t Waiting() const { return waiters_.size(); }
    // Connections closed without showing the token, since construction.
    uint64_t Refused() const { return refused_; }

    // What the first bytes of a stream connection say about it.
    static Verdict Judge(const char* data, size_t len, const std::string& token);

private:
    struct Waiter;

    void OnMessage(Waiter* waiter, char* data, int len);
    void Decide(Waiter* waiter, bool admit);
    void Settle();
    void Expire();
    void Drop(std::list<std::unique_ptr<Waiter>>::iterator it);
    void Disarm();

    EventLoop* loop_;
    std::list<std::unique_ptr<Waiter>> waiters_;
    Timer sweep_;
    bool armed_ = false;
    bool settle_queued_ = false;
    bool token_error_logged_ = false;
    uint64_t refused_ = 0;
    AdmitCallback admit_;
    TokenSource token_;
};

}  // namespace media_socket
