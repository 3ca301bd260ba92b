// The tape transport: packets are claimed only while playing, play ends by itself at the end
// of the tape, winding and fast play move the position with the (replaced) clock and stop at
// either end, camera mode loops over the tape, and waits end when play starts or when
// interrupted.
#include "TapeTransport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace vornak {
namespace {

using namespace std::chrono_literals;
using Clock = TapeTransport::Clock;

// 1000 packets a second: winding goes 30000 packets a second, fast play 5000.
constexpr double kThousandPacketsASecond = 188 * 8 * 1000;
constexpr auto kSafetyLimit = 30s;

// A clock that moves only when told to.
class FakeClock {
  public:
    explicit FakeClock(TapeTransport& transport) : m_transport(transport) {
        transport.SetClock([this] { return Clock::time_point(Clock::duration(m_now.load())); });
    }
    void Advance(Clock::duration by) {
        m_now += by.count();
        m_transport.Notify();
    }

  private:
    TapeTransport& m_transport;
    std::atomic<Clock::rep> m_now{1'000'000'000};
};

class TapeTransportTimedTest : public ::testing::Test {
  protected:
    TapeTransportTimedTest() : m_clock(m_transport) {
        m_transport.Load(100'000, kThousandPacketsASecond);
    }

    // Plays `packets` by claiming them as the streaming thread does.
    void PlayPackets(std::size_t packets) {
        ASSERT_TRUE(m_transport.Play());
        const auto claim = m_transport.TakePackets(packets, m_transport.PlayGeneration());
        ASSERT_EQ(claim.count, packets);
    }

    TapeTransport m_transport;
    FakeClock m_clock;
};

TEST(TapeTransport, ClaimsPacketsInOrderWhilePlayingAndStopsAtTheEnd) {
    TapeTransport transport;
    transport.Load(10);
    EXPECT_EQ(transport.TakePackets(4, transport.PlayGeneration()).count, 0u);  // stopped
    transport.Play();
    const std::uint64_t generation = transport.PlayGeneration();
    auto claim = transport.TakePackets(4, generation);
    EXPECT_EQ(claim.count, 4u);
    EXPECT_EQ(claim.first, 0u);
    EXPECT_EQ(claim.stamp, 0u);
    EXPECT_FALSE(claim.reachedEnd);
    claim = transport.TakePackets(4, generation);
    EXPECT_EQ(claim.count, 4u);
    EXPECT_EQ(claim.first, 4u);
    EXPECT_EQ(transport.NextClaimSize(4), 2u);
    claim = transport.TakePackets(4, generation);
    EXPECT_EQ(claim.count, 2u);
    EXPECT_EQ(claim.first, 8u);
    EXPECT_TRUE(claim.reachedEnd);
    EXPECT_TRUE(transport.AtEndOfTape());
    EXPECT_EQ(transport.Mode(), TransportMode::Stop);
    EXPECT_EQ(transport.Position(), 10u);
    EXPECT_EQ(transport.TakePackets(4, transport.PlayGeneration()).count, 0u);

    // Play from the very end has nothing to play: stopped at once, at the end.
    EXPECT_TRUE(transport.Play());
    EXPECT_EQ(transport.Mode(), TransportMode::Stop);
    EXPECT_TRUE(transport.AtEndOfTape());
}

TEST(TapeTransport, StopKeepsThePositionAndAnOldGenerationClaimsNothing) {
    TapeTransport transport;
    transport.Load(10);
    transport.Play();
    const std::uint64_t first = transport.PlayGeneration();
    ASSERT_EQ(transport.TakePackets(3, first).count, 3u);
    transport.Stop();
    EXPECT_EQ(transport.TakePackets(3, transport.PlayGeneration()).count, 0u);
    EXPECT_EQ(transport.Position(), 3u);
    transport.Play();
    // A streaming thread that paced itself for the earlier play takes nothing.
    EXPECT_EQ(transport.TakePackets(3, first).count, 0u);
    const auto claim = transport.TakePackets(3, transport.PlayGeneration());
    ASSERT_EQ(claim.count, 3u);
    EXPECT_EQ(claim.first, 3u);
    transport.Load(5);  // a new tape starts at its beginning, stopped
    EXPECT_EQ(transport.Position(), 0u);
    EXPECT_EQ(transport.Mode(), TransportMode::Stop);
}

TEST_F(TapeTransportTimedTest, WindingMovesWithTheClockAndStopsAtEitherEnd) {
    PlayPackets(50'000);
    ASSERT_TRUE(m_transport.SetMode(TransportMode::FastForward));
    m_clock.Advance(100ms);
    EXPECT_EQ(m_transport.Position(), 53'000u);  // 30 times 1000 packets a second
    EXPECT_EQ(m_transport.Mode(), TransportMode::FastForward);
    EXPECT_EQ(m_transport.TakePackets(10, m_transport.PlayGeneration()).count, 0u);
    m_clock.Advance(1500ms);
    EXPECT_EQ(m_transport.Position(), 98'000u);
    m_clock.Advance(100ms);
    EXPECT_EQ(m_transport.Position(), 100'000u);
    EXPECT_EQ(m_transport.Mode(), TransportMode::Stop);
    m_clock.Advance(10s);
    EXPECT_EQ(m_transport.Position(), 100'000u);

    ASSERT_TRUE(m_transport.SetMode(TransportMode::Rewind));
    m_clock.Advance(2s);
    EXPECT_EQ(m_transport.Position(), 40'000u);
    EXPECT_EQ(m_transport.Mode(), TransportMode::Rewind);
    m_clock.Advance(2s);
    EXPECT_EQ(m_transport.Position(), 0u);
    EXPECT_EQ(m_transport.Mode(), TransportMode::Stop);
    EXPECT_FALSE(m_transport.AtEndOfTape());  // only play runs into the end of the tape
}

TEST_F(TapeTransportTimedTest, FastPlayMovesBothWaysAtAFifthOfTheWindingRate) {
    PlayPackets(10'000);
    ASSERT_TRUE(m_transport.SetMode(TransportMode::PlayFastForward));
    m_clock.Advance(1s);
    EXPECT_EQ(m_transport.Position(), 15'000u);
    EXPECT_EQ(m_transport.Mode(), TransportMode::PlayFastForward);
    ASSERT_TRUE(m_transport.SetMode(TransportMode::PlayFastReverse));
    m_clock.Advance(2500ms);
    EXPECT_EQ(m_transport.Position(), 2'500u);
    EXPECT_EQ(m_transport.Mode(), TransportMode::PlayFastReverse);
    m_clock.Advance(1s);
    EXPECT_EQ(m_transport.Position(), 0u);
    EXPECT_EQ(m_transport.Mode(), TransportMode::Stop);
}

TEST_F(TapeTransportTimedTest, FreezeAndStopHoldThePositionWhileTheClockRuns) {
    PlayPackets(700);
    ASSERT_TRUE(m_transport.SetMode(TransportMode::Freeze));
    m_clock.Advance(5s);
    EXPECT_EQ(m_transport.Position(), 700u);
    EXPECT_EQ(m_transport.Mode(), TransportMode::Freeze);
    EXPECT_EQ(m_transport.TakePackets(10, m_transport.PlayGeneration()).count, 0u);
    ASSERT_TRUE(m_transport.Play());
    EXPECT_EQ(m_transport.TakePackets(10, m_transport.PlayGeneration()).first, 700u);

    // A change of mode while winding starts from where the tape has got to.
    ASSERT_TRUE(m_transport.SetMode(TransportMode::FastForward));
    m_clock.Advance(10ms);  // 300 packets
    ASSERT_TRUE(m_transport.Stop());
    m_clock.Advance(5s);
    EXPECT_EQ(m_transport.Position(), 1'010u);
}

TEST_F(TapeTransportTimedTest, SpeedScalesWindingAndZeroWindsAsOne) {
    m_transport.SetSpeed(2);
    ASSERT_TRUE(m_transport.SetMode(TransportMode::FastForward));
    m_clock.Advance(100ms);
    EXPECT_EQ(m_transport.Position(), 6'000u);
    m_transport.SetSpeed(0);  // what was wound at 2 stays wound
    m_clock.Advance(100ms);
    EXPECT_EQ(m_transport.Position(), 9'000u);
    EXPECT_EQ(m_transport.Speed(), 0.0);
}

TEST_F(TapeTransportTimedTest, CameraModeLoopsOverTheTapeAndRefusesTheTransport) {
    m_transport.Load(10, kThousandPacketsASecond);
    PlayPackets(4);
    m_transport.SetCameraMode(true);
    EXPECT_EQ(m_transport.Mode(), TransportMode::Stop);
    EXPECT_FALSE(m_transport.Play());
    EXPECT_FALSE(m_transport.SetMode(TransportMode::FastForward));
    EXPECT_EQ(m_transport.Mode(), TransportMode::Stop);

    const std::uint64_t generation = m_transport.PlayGeneration();
    std::vector<std::uint64_t> firsts;
    std::vector<std::uint64_t> stamps;
    for (int i = 0; i < 4; ++i) {
        const auto claim = m_transport.TakePackets(6, generation);
        firsts.push_back(claim.first);
        stamps.push_back(claim.stamp);
        EXPECT_FALSE(claim.reachedEnd);
    }
    // Samples end where the tape ends; the stamps keep counting across the loop.
    EXPECT_EQ(firsts, (std::vector<std::uint64_t>{0, 6, 0, 6}));
    EXPECT_EQ(stamps, (std::vector<std::uint64_t>{0, 6, 10, 16}));
    EXPECT_EQ(m_transport.Position(), 4u);  // the tape itself does not move

    m_transport.SetCameraMode(false);
    EXPECT_EQ(m_transport.TakePackets(6, m_transport.PlayGeneration()).count, 0u);
    EXPECT_TRUE(m_transport.Play());
    EXPECT_EQ(m_transport.TakePackets(6, m_transport.PlayGeneration()).first, 4u);
}

TEST_F(TapeTransportTimedTest, UnpluggedRefusesEverythingOnce) {
    PlayPackets(10);
    EXPECT_TRUE(m_transport.Unplug());
    EXPECT_FALSE(m_transport.Unplug());
    EXPECT_TRUE(m_transport.Unplugged());
    EXPECT_EQ(m_transport.Mode(), TransportMode::Stop);
    EXPECT_FALSE(m_transport.Play());
    m_transport.SetCameraMode(true);
    EXPECT_FALSE(m_transport.CameraMode());
    EXPECT_EQ(m_transport.TakePackets(6, m_transport.PlayGeneration()).count, 0u);
}

// A DV stretch of three seconds (3000 packets here) is played through at the play rate with
// nothing to stream; the stream comes back at its end, paced anew.
TEST_F(TapeTransportTimedTest, PlayCrossesADvStretchWithoutAStreamAndStreamsAfterIt) {
    // The second stretch overlaps the first: they join into [2000, 6000).
    m_transport.SetDvStretches({3.0, 2.0});
    EXPECT_FALSE(m_transport.OutputIsDv());
    PlayPackets(1500);
    std::uint64_t generation = m_transport.PlayGeneration();
    EXPECT_EQ(m_transport.NextClaimSize(1500), 500u) << "a claim stops where the DV begins";
    EXPECT_EQ(m_transport.TakePackets(1500, generation).count, 500u);
    EXPECT_TRUE(m_transport.OutputIsDv());
    EXPECT_EQ(m_transport.TakePackets(1500, generation).count, 0u);
    EXPECT_EQ(m_transport.Mode(), TransportMode::Play);

    // The streaming thread's wait ends when the clock has carried play out of the stretch.
    auto waiter = std::async(std::launch::async,
                             [&] { return m_transport.WaitForStream([] { return true; }); });
    m_clock.Advance(2s);
    EXPECT_EQ(m_transport.Position(), 4000u);
    EXPECT_TRUE(m_transport.OutputIsDv());
    EXPECT_EQ(waiter.wait_for(20ms), std::future_status::timeout);
    m_clock.Advance(2s);
    ASSERT_EQ(waiter.wait_for(kSafetyLimit), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
    EXPECT_FALSE(m_transport.OutputIsDv());
    EXPECT_EQ(m_transport.Mode(), TransportMode::Play);
    EXPECT_NE(m_transport.PlayGeneration(), generation);
    const auto claim = m_transport.TakePackets(10, m_transport.PlayGeneration());
    EXPECT_EQ(claim.first, 6000u);
    EXPECT_EQ(claim.count, 10u);

    // Paused in a stretch: DV, and the position holds; camera mode shows no tape.
    m_transport.SetDvStretches({6.0});
    ASSERT_TRUE(m_transport.SetMode(TransportMode::Freeze));
    m_clock.Advance(10s);
    EXPECT_EQ(m_transport.Position(), 6010u);
    EXPECT_TRUE(m_transport.OutputIsDv());
    m_transport.SetCameraMode(true);
    EXPECT_FALSE(m_transport.OutputIsDv());
}

// A tape of ten packets, three DV frames and five packets: 1000 packets or 25 frames a second.
std::vector<TapeTransport::Part> MixedParts(std::uint64_t hdv1 = 10, std::uint64_t dv = 3,
                                            std::uint64_t hdv2 = 5) {
    return {{hdv1, 188 * 8, kThousandPacketsASecond, false},
            {dv, 1, 25, true},
            {hdv2, 188 * 8, kThousandPacketsASecond, false}};
}

// Play and camera mode alike: no claim reaches into the next part, and a DV part is claimed a
// frame at a time; the signal is DV exactly while the position is in the DV part.
TEST(TapeTransport, ClaimsStopAtEachPartAndTakeOneDvFrameAtATime) {
    struct Expected {
        std::uint64_t first;
        std::size_t count;
        std::size_t part;
        std::uint64_t partFirst;
        bool dv;
    };
    const Expected expected[] = {{0, 4, 0, 0, false},  {4, 4, 0, 4, false}, {8, 2, 0, 8, false},
                                 {10, 1, 1, 0, true},  {11, 1, 1, 1, true}, {12, 1, 1, 2, true},
                                 {13, 4, 2, 0, false}, {17, 1, 2, 4, false}};
    for (const bool camera : {false, true}) {
        SCOPED_TRACE(camera ? "camera" : "play");
        TapeTransport transport;
        transport.Load(MixedParts());
        EXPECT_EQ(transport.Length(), 18u);
        if (camera) {
            transport.SetCameraMode(true);
        } else {
            transport.Play();
        }
        const std::uint64_t generation = transport.PlayGeneration();
        for (const Expected& want : expected) {
            SCOPED_TRACE(want.first);
            EXPECT_EQ(transport.OutputIsDv(), want.dv);
            EXPECT_EQ(transport.NextClaimSize(4), want.count);
            const auto claim = transport.TakePackets(4, generation);
            EXPECT_EQ(claim.first, want.first);
            EXPECT_EQ(claim.count, want.count);
            EXPECT_EQ(claim.part, want.part);
            EXPECT_EQ(claim.partFirst, want.partFirst);
            EXPECT_EQ(claim.dv, want.dv);
            EXPECT_EQ(claim.reachedEnd, !camera && want.first == 17);
        }
        // Play stops at the tape's end; the live picture starts the tape over.
        EXPECT_EQ(transport.TakePackets(4, transport.PlayGeneration()).first, 0u);
        EXPECT_EQ(transport.AtEndOfTape(), !camera);
    }
}

// Winding goes through each part at a multiple of that part's own rate: 30 times 1000 packets
// or 25 frames a second, fast play 5 times.
TEST_F(TapeTransportTimedTest, WindingCrossesPartsAtEachPartsOwnRate) {
    m_transport.Load(MixedParts(1000, 50, 1000));
    struct Step {
        TransportMode mode;
        Clock::duration time;
        std::uint64_t position;
        bool dv;
    };
    const Step steps[] = {
        {TransportMode::FastForward, 50ms, 1000 + 12, true},      // 1 s of packets, 0.5 s of DV
        {TransportMode::Rewind, 10ms, 1012 - 7, true},            // 7.5 frames back
        {TransportMode::FastForward, 1s, 2050, false},            // stopped at the end
        {TransportMode::PlayFastReverse, 244ms, 1050 - 5, true},  // 1000 packets and 5.5 frames
        {TransportMode::Rewind, 1s, 0, false},                    // stopped at the start
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.position);
        ASSERT_TRUE(m_transport.SetMode(step.mode));
        m_clock.Advance(step.time);
        EXPECT_EQ(m_transport.Position(), step.position);
        EXPECT_EQ(m_transport.OutputIsDv(), step.dv);
    }
    EXPECT_EQ(m_transport.Mode(), TransportMode::Stop);
}

TEST(TapeTransport, WaitsEndWithPlayWithTheClockOrWithAnInterruption) {
    TapeTransport transport;
    transport.Load(10);
    // A wait that does not end fails the test instead of hanging it.
    const auto finish = [&](std::future<bool>& waiter) {
        if (waiter.wait_for(kSafetyLimit) != std::future_status::ready) {
            ADD_FAILURE() << "the wait did not end";
            transport.Interrupt();
        }
        return waiter.get();
    };
    std::atomic<bool> ready{false};
    auto waiter = std::async(std::launch::async,
                             [&] { return transport.WaitForStream([&] { return ready.load(); }); });
    transport.Play();
    ready = true;
    transport.Notify();
    EXPECT_TRUE(finish(waiter));

    // Camera mode has something to stream whatever the transport does.
    transport.Stop();
    transport.SetCameraMode(true);
    EXPECT_TRUE(transport.WaitForStream([] { return true; }));
    transport.SetCameraMode(false);

    FakeClock clock(transport);
    const std::uint64_t generation = transport.PlayGeneration();
    const Clock::time_point deadline = transport.Now() + 1h;
    auto sleeper =
        std::async(std::launch::async, [&] { return transport.SleepUntil(deadline, generation); });
    clock.Advance(2h);
    EXPECT_TRUE(finish(sleeper));
    // A change of mode ends a pacing wait early, so that the thread looks again.
    const Clock::time_point later = transport.Now() + 1h;
    auto changed =
        std::async(std::launch::async, [&] { return transport.SleepUntil(later, generation); });
    transport.Play();
    EXPECT_TRUE(finish(changed));

    transport.Stop();
    auto stopped = std::async(std::launch::async,
                              [&] { return transport.WaitForStream([] { return true; }); });
    transport.Interrupt();
    EXPECT_FALSE(finish(stopped));
    EXPECT_FALSE(transport.SleepUntil(transport.Now() + 1h, transport.PlayGeneration()));
    transport.Resume();
    EXPECT_TRUE(transport.SleepUntil(transport.Now(), transport.PlayGeneration()));
}

}  // namespace
}  // namespace vornak
