// The timed unplugging: the action runs once after the delay, a cancel before it ends the
// wait at once without it, and a second start does not start the time again.
#include "VirtualCamcorderLossTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace vornak {
namespace {

using namespace std::chrono_literals;

constexpr auto kSafetyLimit = 30s;

TEST(VirtualCamcorderLossTimer, RunsTheActionOnceAfterTheDelay) {
    VirtualCamcorderLossTimer timer;
    std::atomic<int> runs{0};
    std::promise<void> ran;
    timer.Start(VirtualCamcorderLossTimer::Seconds(0.01), [&] {
        ++runs;
        ran.set_value();
    });
    EXPECT_TRUE(timer.Started());
    timer.Start(VirtualCamcorderLossTimer::Seconds(0.01), [&] { ++runs; });  // already started
    ASSERT_EQ(ran.get_future().wait_for(kSafetyLimit), std::future_status::ready);
    timer.Cancel();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_FALSE(timer.Started());
}

TEST(VirtualCamcorderLossTimer, CancelEndsTheWaitWithoutTheAction) {
    VirtualCamcorderLossTimer timer;
    std::atomic<int> runs{0};
    timer.Start(VirtualCamcorderLossTimer::Seconds(3600), [&] { ++runs; });
    auto cancelled = std::async(std::launch::async, [&] { timer.Cancel(); });
    ASSERT_EQ(cancelled.wait_for(kSafetyLimit), std::future_status::ready);
    EXPECT_EQ(runs.load(), 0);
    // Started again after a cancel, the time counts anew; the timer going cancels it too.
    timer.Start(VirtualCamcorderLossTimer::Seconds(1e300), [&] { ++runs; });
    EXPECT_TRUE(timer.Started());
}

TEST(VirtualCamcorderLossTimer, TheActionMayCancelItsOwnTimer) {
    VirtualCamcorderLossTimer timer;
    std::promise<void> ran;
    timer.Start(VirtualCamcorderLossTimer::Seconds(0.001), [&] {
        timer.Cancel();  // does not wait for itself
        ran.set_value();
    });
    ASSERT_EQ(ran.get_future().wait_for(kSafetyLimit), std::future_status::ready);
}

}  // namespace
}  // namespace vornak
