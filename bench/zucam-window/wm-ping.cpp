#include "bench/zucam-window/wm-ping.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace zubench {

namespace {

using Clock = std::chrono::steady_clock;

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

}  // namespace

WmPing::~WmPing() {
    if (connection_)
        xcb_disconnect(connection_);
}

bool WmPing::Open(const std::string& window, std::string* error) {
    int screenNumber = 0;
    connection_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        *error = "cannot connect to the X server in DISPLAY";
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    root_ = it.data->root;
    window_ = static_cast<unsigned>(std::strtoul(window.c_str(), nullptr, 0));
    protocols_ = Atom(connection_, "WM_PROTOCOLS");
    ping_ = Atom(connection_, "_NET_WM_PING");
    // The answer is sent to the root window for the window manager, the one
    // client that redirects its children: without a window manager this is it.
    const uint32_t mask =
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
    if (!protocols_ || !ping_ || !window_) {
        *error = "no window or no WM_PROTOCOLS atoms";
        return false;
    }
    return true;
}

double WmPing::Ping(int timeoutMs) {
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window_;
    event.type = protocols_;
    event.data.data32[0] = ping_;
    event.data.data32[1] = ++serial_;  // the time stamp field, echoed back
    event.data.data32[2] = window_;
    const auto sent = Clock::now();
    xcb_send_event(connection_, 0, window_, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection_);
    if (!WaitForAnswer(serial_, timeoutMs))
        return -1;
    return std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
}

bool WmPing::WaitForAnswer(unsigned serial, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(connection_)) {
            bool answer = false;
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                answer = m->window == root_ && m->type == protocols_ &&
                         m->data.data32[0] == ping_ && m->data.data32[1] == serial;
            }
            std::free(e);
            if (answer)
                return true;
        }
        if (xcb_connection_has_error(connection_))
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fd = {xcb_get_file_descriptor(connection_), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left.count()));
    }
}

}  // namespace zubench
