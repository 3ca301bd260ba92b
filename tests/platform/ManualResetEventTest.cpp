// The manual-reset event: stays signalled until reset, wakes every waiter.
#include "ManualResetEvent.h"

#include <gtest/gtest.h>

#include <future>

namespace vornak {
namespace {

using namespace std::chrono_literals;

TEST(ManualResetEvent, StaysSignalledUntilReset) {
    ManualResetEvent event("ReceiveSampleCapture");
    EXPECT_EQ(event.Name(), "ReceiveSampleCapture");
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(1ms));
    event.Set();
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_TRUE(event.WaitFor(0ms));  // a wait does not consume it
    event.Wait();
    event.Reset();
    EXPECT_FALSE(event.WaitFor(0ms));
}

TEST(ManualResetEvent, OneSetWakesEveryWaiter) {
    ManualResetEvent event;
    auto a = std::async(std::launch::async, [&] { return event.WaitFor(std::chrono::hours(1)); });
    auto b = std::async(std::launch::async, [&] { return event.WaitFor(std::chrono::hours(1)); });
    event.Set();
    EXPECT_TRUE(a.get());
    EXPECT_TRUE(b.get());
}

}  // namespace
}  // namespace vornak
