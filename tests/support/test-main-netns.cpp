#include <gtest/gtest.h>

#include "platform/child-process.h"
#include "tests/support/isolation.h"
#include "tests/support/private-network.h"

// End-to-end programs start servers that announce themselves on every local
// /24: they run only inside a private network namespace.
int main(int argc, char** argv) {
    zutest::EnterPrivateNetwork(argc, argv);
    platform::IgnoreBrokenPipe();
    zutest::IsolateMachineWideNames();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
