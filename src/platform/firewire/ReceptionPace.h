// How fast the camcorder's stream arrives, and what a pause after a bus reset cost it.
//
// After a bus reset the camcorder's stream resumes once its connection is restored; what it sent
// in between is missing. A short pause is left to the consumer, whose continuity check counts
// the gap by the stream's own counters and clock (and takes a longer pause as a break). A pause
// of kCountedPause or more is counted here instead: its length times the stream's rate, which is
// measured over steady stretches of reception (kWindow without a pause, with at least
// kMinMeasuredPackets in it) and taken as HDV's 25 Mbit/s until one has been.
//
// A pause's length is the time from the last packet before the reset to the first after it,
// and never less than the polls that timed out meanwhile took by their own account. A reset
// while the stream was not flowing costs nothing, and a pause longer than kLongestRestore is
// the stream's own (the tape stopped), not the reset's.
//
// Not thread-safe: the reception thread's.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vornak {

class ReceptionPace {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr double kNominalPacketsPerSecond = 25e6 / 8 / 188;
    static constexpr std::chrono::milliseconds kCountedPause{500};
    static constexpr std::chrono::seconds kWindow{2};
    static constexpr std::size_t kMinMeasuredPackets = 10000;
    static constexpr std::chrono::seconds kLongestRestore{5};

    // `packets` arrived at `now`. Returns the packets estimated lost before them when they are
    // the first after a bus reset and the pause was long; else 0.
    std::uint64_t Arrived(std::size_t packets, Clock::time_point now);
    // A poll found nothing for `waited`.
    void TimedOut(Clock::duration waited);
    // A bus reset: the next arrival ends the pause it caused.
    void BusReset() {
        m_restoring = m_flowing;
        m_waited = Clock::duration::zero();
    }
    bool Restoring() const { return m_restoring; }
    double PacketsPerSecond() const { return m_rate; }

  private:
    double m_rate = kNominalPacketsPerSecond;
    bool m_restoring = false;
    bool m_flowing = false;  // packets came, and no poll timed out since
    bool m_arrivedBefore = false;
    Clock::time_point m_lastArrival{};
    Clock::duration m_waited{};
    // The stretch being measured.
    bool m_measuring = false;
    Clock::time_point m_windowStart{};
    std::uint64_t m_windowPackets = 0;
};

}  // namespace vornak
