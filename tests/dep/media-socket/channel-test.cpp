#include "dep/QtComponent/media-socket/channel.h"

#include <gtest/gtest.h>

#include <string>

namespace media_socket {
namespace {

TEST(ChannelTest, HandleEventRunsReadThenWriteThenClose) {
    Channel channel(nullptr, 7);
    std::string order;
    channel.SetReadCallback([&] { order += 'r'; });
    channel.SetWriteCallback([&] { order += 'w'; });
    channel.SetCloseCallback([&] { order += 'c'; });

    channel.SetReturned(Channel::kCloseEvent | Channel::kWriteEvent | Channel::kReadEvent);
    channel.HandleEvent();
    EXPECT_EQ(order, "rwc");

    order.clear();
    channel.SetReturned(Channel::kCloseEvent | Channel::kReadEvent);
    channel.HandleEvent();
    EXPECT_EQ(order, "rc");

    order.clear();
    channel.SetReturned(0);
    channel.HandleEvent();
    EXPECT_EQ(order, "");
}

TEST(ChannelTest, MissingCallbacksAreSkipped) {
    Channel channel(nullptr, 7);
    int closes = 0;
    channel.SetCloseCallback([&] { ++closes; });
    channel.SetReturned(Channel::kReadEvent | Channel::kWriteEvent | Channel::kCloseEvent);
    channel.HandleEvent();
    EXPECT_EQ(closes, 1);
}

}  // namespace
}  // namespace media_socket
