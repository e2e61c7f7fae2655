#include <gtest/gtest.h>

#include "platform/child-process.h"

int main(int argc, char** argv) {
    platform::IgnoreBrokenPipe();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
