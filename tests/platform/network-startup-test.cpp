#include "platform/network-startup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

namespace {

TEST(NetworkStartupTest, IgnoresBrokenPipeForTheWholeProcess) {
    ::signal(SIGPIPE, SIG_DFL);
    {
        platform::NetworkStartup network;
        EXPECT_TRUE(network.ok());
    }
    // Still ignored after the guard is gone: sockets may outlive it.
    struct sigaction action;
    ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    EXPECT_EQ(::write(fds[1], "x", 1), -1);
    ::close(fds[1]);
}

}  // namespace
