#pragma once

#include <string>

struct xcb_connection_t;

namespace zubench {

// How long a window's GUI thread takes to answer the X server: the
// _NET_WM_PING a window manager sends, which Qt answers from its event loop.
// A ping that waits is an event loop that is busy: every click and key press
// waits as long. Needs an X server without a window manager (Xvfb): it takes
// the window manager's place for as long as it is open, so windows mapped or
// moved meanwhile stay as they are (open it once the window shows).
class WmPing {
public:
    ~WmPing();
    // Connects to DISPLAY; `window` as xdotool names it (decimal).
    bool Open(const std::string& window, std::string* error);
    // One ping; its round trip in milliseconds, -1 when no answer came within
    // timeoutMs.
    double Ping(int timeoutMs);

private:
    bool WaitForAnswer(unsigned serial, int timeoutMs);

    xcb_connection_t* connection_ = nullptr;
    unsigned root_ = 0;
    unsigned window_ = 0;
    unsigned protocols_ = 0;
    unsigned ping_ = 0;
    unsigned serial_ = 0;
};

}  // namespace zubench
