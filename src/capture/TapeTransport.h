// The virtual camcorder's tape transport: a mode and a tape position, which the streaming
// thread follows. Play moves the position forward as packets are sent; the transport stops by
// itself at the end of the tape.
//
// Thread-safe: the controls come from the user-interface side, the streaming thread takes
// packets and waits here, so that a change of mode or an interruption wakes it at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace vornak {

// Freeze, fast forward, rewind and the fast-play modes join these with transport control.
enum class TransportMode { Stop, Play };

class TapeTransport {
  public:
    using Clock = std::chrono::steady_clock;

    // A tape of `packets` packets, wound to its start.
    void Load(std::uint64_t packets);

    void Play();
    void Stop();
    TransportMode Mode() const;
    std::uint64_t Position() const;
    std::uint64_t Length() const;
    // The position reached the end while playing; cleared by Play, Stop and Load.
    bool AtEndOfTape() const;
    // Counts every change of mode, so a streaming thread can tell that play restarted.
    std::uint64_t PlayGeneration() const;

    // For the streaming thread: while playing, claims up to `max` packets from the position on
    // and moves past them; stops the transport at the end of the tape (`reachedEnd`). Returns
    // the count and stores the first packet's index in `first`. 0 when not playing.
    std::size_t TakePackets(std::size_t max, std::uint64_t& first, bool& reachedEnd);

    // Waits until playing and `ready` says yes, or until interrupted. False when interrupted.
    bool WaitForPlay(const std::function<bool()>& ready);
    // Waits until `deadline`; false when interrupted first. A change of mode does not end it.
    bool SleepUntil(Clock::time_point deadline);
    // Wakes every wait with false until Resume; used to end the streaming thread.
    void Interrupt();
    void Resume();
    // Wakes waits so that they look at their conditions again.
    void Notify();

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    TransportMode m_mode = TransportMode::Stop;
    std::uint64_t m_nPosition = 0;
    std::uint64_t m_nLength = 0;
    std::uint64_t m_nGeneration = 0;
    bool m_bEndOfTape = false;
    bool m_bInterrupted = false;
};

}  // namespace vornak
