// The picture hold through zucamd: a phone that vanishes (both of its
// connections dropped at once, as when the app is killed) keeps its picture in
// the camera for a while, and a phone that comes back within it goes on
// without the camera ever reporting "stopped".
//
// Nothing here depends on how fast the machine is: the queue is sampled all
// the time, and whenever it reads "stopped" the log must already say that the
// hold ran out (zucamd logs that line before it marks the queue).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "devices/virtual-camera-queue.h"
#include "platform/child-process.h"
#include "tests/support/temp-dir.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kHoldRanOut[] = "the held picture is released";

// Samples the camera queue's state on a thread of its own.
class QueueWatch {
public:
    explicit QueueWatch(std::string logPath) : log_(std::move(logPath)) {}
    ~QueueWatch() { Stop(); }

    bool Open() { return queue_.open(VirtualCameraQueue::kSlotCapacity); }
    void Start() {
        thread_ = std::thread([this] {
            while (!stop_) {
                if (queue_.state() == VirtualCameraQueue::kStateStopped && !sawStopped_) {
                    stoppedAfterHold_ = e2e::ReadText(log_).find(kHoldRanOut) != std::string::npos;
                    sawStopped_ = true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    uint32_t Published() const { return queue_.publishedCounter(); }
    uint32_t State() const { return queue_.state(); }
    bool SawStopped() const { return sawStopped_; }
    bool StoppedAfterHold() const { return stoppedAfterHold_; }

private:
    std::string log_;
    VirtualCameraQueue queue_{false};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> sawStopped_{false};
    std::atomic<bool> stoppedAfterHold_{false};
};

template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

class ZucamdHoldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::StartZucamd(&zucamd_, dir_)) << Log();
        ASSERT_TRUE(watch_.Open());
    }

    void TearDown() override {
        watch_.Stop();
        if (zucamd_.running()) {
            EXPECT_EQ(zucamd_.stop(20000), 0) << Log();
        }
    }

    std::string Log() const { return e2e::ReadText(e2e::ZucamdLog(dir_)); }

    // A phone that streams until stopped and asks for the hold first.
    bool StartPhone(platform::ChildProcess* phone, const std::string& tag) {
        return e2e::Start(phone, dir_, tag,
                          {e2e::Bin("zucam-phone-sim"), "--port", "10080", "--pattern",
                           "320x240@30", "--command", "hold"});
    }

    // Streams until the camera shows pictures, then kills the phone: its two
    // connections drop in the same instant.
    void StreamThenVanish() {
        platform::ChildProcess phone;
        ASSERT_TRUE(StartPhone(&phone, "phone1"));
        ASSERT_TRUE(e2e::WaitForText(dir_.file("phone1.out"), "hold: ", 30000))
            << e2e::ReadText(dir_.file("phone1.out")) << e2e::ReadText(dir_.file("phone1.err"));
        ASSERT_TRUE(WaitUntil([&] { return watch_.Published() > 10; }, 30000)) << Log();
        ASSERT_EQ(watch_.State(), VirtualCameraQueue::kStateStreaming);
        watch_.Start();
        ASSERT_TRUE(phone.signal(true));
        phone.wait(10000);
    }

    zutest::TempDir dir_;
    platform::ChildProcess zucamd_;
    QueueWatch watch_{e2e::ZucamdLog(dir_)};
};

TEST_F(ZucamdHoldTest, PhoneBackWithinTheHoldNeverStopsTheCamera) {
    ASSERT_NO_FATAL_FAILURE(StreamThenVanish());
    const uint32_t before = watch_.Published();
    platform::ChildProcess phone;
    ASSERT_TRUE(StartPhone(&phone, "phone2"));
    // Pictures continue: a second's worth past the ones before the drop.
    EXPECT_TRUE(WaitUntil([&] { return watch_.Published() > before + 30; }, 30000)) << Log();
    watch_.Stop();
    // Only a hold that ran out before the phone was back (a very slow
    // machine) may have stopped the camera, never the drop itself.
    if (watch_.SawStopped()) {
        EXPECT_TRUE(watch_.StoppedAfterHold()) << Log();
    }
    EXPECT_EQ(e2e::CountOf(Log(), "OnClientDisconnnectd\""), 0) << Log();
    phone.interrupt();
    EXPECT_EQ(phone.wait(30000), 0);
}

TEST_F(ZucamdHoldTest, PhoneThatStaysAwayStopsTheCameraWhenTheHoldRunsOut) {
    ASSERT_NO_FATAL_FAILURE(StreamThenVanish());
    EXPECT_TRUE(WaitUntil([&] { return watch_.SawStopped(); }, 60000)) << Log();
    watch_.Stop();
    EXPECT_TRUE(watch_.StoppedAfterHold()) << Log();
    EXPECT_EQ(e2e::CountOf(Log(), "OnClientDisconnnectd_Delay"), 1) << Log();
    EXPECT_EQ(e2e::CountOf(Log(), "OnClientDisconnnectd\""), 0) << Log();
    // The next phone is served as usual.
    platform::ChildProcess phone;
    ASSERT_TRUE(e2e::Start(&phone, dir_, "phone2",
                           {e2e::Bin("zucam-phone-sim"), "--port", "10080", "--pattern",
                            "320x240@30", "--frames", "10"}));
    EXPECT_EQ(phone.wait(30000), 0) << e2e::ReadText(dir_.file("phone2.err"));
}

}  // namespace
