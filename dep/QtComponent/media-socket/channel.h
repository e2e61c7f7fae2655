#pragma once

#include <functional>

namespace media_socket {

class EventLoop;

// One socket handle as the loop sees it: what its owner wants to hear about
// (interest bits), what the last poll reported (returned bits) and what to
// call. The owner of the socket owns the channel and must remove it from the
// loop before destroying it.
class Channel {
public:
    enum Events : int {
        kReadEvent = 1,   // interest: readability; returned: readable
        kWriteEvent = 2,  // interest: writability; returned: writable
        kCloseEvent = 4,  // returned only: error, hang-up or invalid handle
    };

    Channel(EventLoop* loop, int handle);
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    void SetReadCallback(std::function<void()> cb) { read_callback_ = std::move(cb); }
    void SetWriteCallback(std::function<void()> cb) { write_callback_ = std::move(cb); }
    void SetCloseCallback(std::function<void()> cb) { close_callback_ = std::move(cb); }

    EventLoop* Loop() const { return loop_; }
    int Fd() const { return handle_; }
    // Interest changes need no call to the loop: the poller reads them every
    // iteration.
    int Interest() const { return interest_; }
    void SetInterest(int bits) { interest_ = bits; }
    void AddInterest(int bits) { interest_ |= bits; }
    int Returned() const { return returned_; }
    void SetReturned(int bits) { returned_ = bits; }

    // Read, then write, then close: a peer that hangs up after sending gets its
    // last bytes read before the close is reported.
    void HandleEvent();

private:
    EventLoop* loop_;
    int handle_;
    int interest_ = 0;
    int returned_ = 0;
    std::function<void()> read_callback_;
    std::function<void()> write_callback_;
    std::function<void()> close_callback_;
};

}  // namespace media_socket
