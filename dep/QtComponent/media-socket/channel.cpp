#include "dep/QtComponent/media-socket/channel.h"

namespace media_socket {

Channel::Channel(EventLoop* loop, int handle) : loop_(loop), handle_(handle) {}

void Channel::HandleEvent() {
    int returned = returned_;
    if ((returned & kReadEvent) && read_callback_)
        read_callback_();
    if ((returned & kWriteEvent) && write_callback_)
        write_callback_();
    if ((returned & kCloseEvent) && close_callback_)
        close_callback_();
}

}  // namespace media_socket
