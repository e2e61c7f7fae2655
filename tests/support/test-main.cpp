#include <gtest/gtest.h>

#include "platform/child-process.h"
#include "tests/support/isolation.h"

int main(int argc, char** argv) {
    platform::IgnoreBrokenPipe();
    zutest::IsolateMachineWideNames();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
