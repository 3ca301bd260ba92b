// The tape transport: packets are claimed only while playing, play ends by itself at the end
// of the tape, and waits end when play starts or when interrupted.
#include "TapeTransport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace vornak {
namespace {

TEST(TapeTransport, ClaimsPacketsInOrderWhilePlayingAndStopsAtTheEnd) {
    TapeTransport transport;
    transport.Load(10);
    std::uint64_t first = 99;
    bool end = true;
    EXPECT_EQ(transport.TakePackets(4, first, end), 0u);  // stopped
    transport.Play();
    EXPECT_EQ(transport.TakePackets(4, first, end), 4u);
    EXPECT_EQ(first, 0u);
    EXPECT_FALSE(end);
    EXPECT_EQ(transport.TakePackets(4, first, end), 4u);
    EXPECT_EQ(first, 4u);
    EXPECT_EQ(transport.TakePackets(4, first, end), 2u);
    EXPECT_EQ(first, 8u);
    EXPECT_TRUE(end);
    EXPECT_TRUE(transport.AtEndOfTape());
    EXPECT_EQ(transport.Mode(), TransportMode::Stop);
    EXPECT_EQ(transport.Position(), 10u);
    EXPECT_EQ(transport.TakePackets(4, first, end), 0u);
}

TEST(TapeTransport, StopKeepsThePositionForTheNextPlay) {
    TapeTransport transport;
    transport.Load(10);
    transport.Play();
    std::uint64_t first = 0;
    bool end = false;
    ASSERT_EQ(transport.TakePackets(3, first, end), 3u);
    transport.Stop();
    EXPECT_EQ(transport.TakePackets(3, first, end), 0u);
    EXPECT_EQ(transport.Position(), 3u);
    transport.Play();
    ASSERT_EQ(transport.TakePackets(3, first, end), 3u);
    EXPECT_EQ(first, 3u);
    transport.Load(5);  // a new tape starts at its beginning, stopped
    EXPECT_EQ(transport.Position(), 0u);
    EXPECT_EQ(transport.Mode(), TransportMode::Stop);
}

TEST(TapeTransport, WaitForPlayEndsWithPlayOrWithAnInterruption) {
    TapeTransport transport;
    transport.Load(10);
    std::atomic<bool> ready{false};
    auto waiter = std::async(std::launch::async,
                             [&] { return transport.WaitForPlay([&] { return ready.load(); }); });
    transport.Play();
    ready = true;
    transport.Notify();
    EXPECT_TRUE(waiter.get());

    transport.Stop();
    auto stopped =
        std::async(std::launch::async, [&] { return transport.WaitForPlay([] { return true; }); });
    transport.Interrupt();
    EXPECT_FALSE(stopped.get());
    EXPECT_FALSE(transport.SleepUntil(TapeTransport::Clock::now() + std::chrono::hours(1)));
    transport.Resume();
    EXPECT_TRUE(transport.SleepUntil(TapeTransport::Clock::now()));
}

}  // namespace
}  // namespace vornak
