#include "platform/stderr-capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

TEST(StderrCaptureTest, CollectsWhatIsWrittenWhileActive) {
    std::fprintf(stderr, "before capture\n");
    platform::StderrCapture capture;
    ASSERT_TRUE(capture.active());
    std::fprintf(stderr, "release old pkt_ %d.\n", 3);
    std::thread([] { std::fputs("from another thread\n", stderr); }).join();
    EXPECT_EQ(capture.text(), "release old pkt_ 3.\nfrom another thread\n");
    std::fprintf(stderr, "more\n");
    std::string all = capture.stop();
    EXPECT_FALSE(capture.active());
    EXPECT_EQ(all, "release old pkt_ 3.\nfrom another thread\nmore\n");
    EXPECT_EQ(all.find("before capture"), std::string::npos);
    // Stopped: later lines are not collected, and stopping again is harmless.
    std::fprintf(stderr, "after capture\n");
    EXPECT_EQ(capture.stop().find("after capture"), std::string::npos);
}

TEST(StderrCaptureTest, LargeOutputNeverBlocksTheWriter) {
    platform::StderrCapture capture;
    std::string line(1000, 'x');
    for (int i = 0; i < 200; ++i)
        std::fprintf(stderr, "%s\n", line.c_str());
    EXPECT_EQ(capture.stop().size(), 200u * 1001u);
}

TEST(StderrCaptureTest, NestedCapturesRestoreInOrder) {
    platform::StderrCapture outer;
    std::fputs("outer\n", stderr);
    {
        platform::StderrCapture inner;
        std::fputs("inner\n", stderr);
        EXPECT_EQ(inner.stop(), "inner\n");
    }
    // The inner one hands what it saw on to the stream it replaced.
    EXPECT_EQ(outer.stop(), "outer\ninner\n");
}

}  // namespace
