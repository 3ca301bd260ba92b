// The virtual camcorder's drive: a transport mode and a tape position, which the streaming
// thread follows, and the camera mode, in which the camcorder shows its tape over and over as
// its live picture instead.
//
// Play moves the position as the streaming thread takes packets, so that the position is
// always where the stream has got to; play stops by itself at the end of the tape. Winding
// and the fast-play modes send no stream (a cue picture is not a valid HDV stream): their
// position is worked out from the time since the mode began, at a multiple of the play rate,
// and they stop by themselves at either end. The clock can be replaced so that tests see
// exact positions without waiting.
//
// A tape is made of parts, one after the other, each of its own kind and pace: transport-stream
// parts move in packets at their bit rate, DV parts in whole frames at their frame rate. The
// position counts units (packets or frames) from the tape's start across the parts; a claim
// never reaches into the next part, and a claim in a DV part is one frame. Winding moves
// through each part at a multiple of that part's own play rate.
//
// Stretches of a transport-stream part can be recorded in DV without a DV stream: play moves
// through such a stretch at the play rate without a stream (an MPEG-2 receiver takes nothing
// of a DV signal). The output signal is DV while the position lies in one or in a DV part.
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
#include <optional>
#include <vector>

namespace vornak {

enum class TransportMode {
    Stop,
    Play,
    Freeze,           // play held at the position, no stream
    FastForward,      // winding forward
    Rewind,           // winding back
    PlayFastForward,  // fast play forward (cue)
    PlayFastReverse   // fast play backward (review)
};

class TapeTransport {
  public:
    using Clock = std::chrono::steady_clock;
    using ClockSource = std::function<Clock::time_point()>;

    // Multiples of the play rate at which the position moves in the modes without a stream.
    static constexpr double kWindFactor = 30.0;
    static constexpr double kFastPlayFactor = 5.0;
    // The rate of a tape loaded without one: HDV 1080i.
    static constexpr double kDefaultBitRate = 25'000'000.0;
    // Bits of a transport packet, which plays for that many bits' time.
    static constexpr std::uint64_t kPacketBits = 188 * 8;
    // Seconds of tape that each DV stretch lasts.
    static constexpr double kDvStretchSeconds = 3.0;

    // One part of the tape: `units` packets or frames, each lasting timeNumerator /
    // timeDenominator seconds of play (a fraction, so that whole counts come out exactly).
    struct Part {
        std::uint64_t units = 0;
        std::uint64_t timeNumerator = kPacketBits;
        double timeDenominator = kDefaultBitRate;
        bool dv = false;
    };

    // The units the streaming thread takes in one go: tape position `first` on, all in part
    // `part` from its unit `partFirst`, and the unit number its arrival stamps count from (the
    // position in the part in play; units sent since the camera mode began in camera mode).
    struct Claim {
        std::uint64_t first = 0;
        std::size_t count = 0;
        std::uint64_t stamp = 0;
        bool reachedEnd = false;  // play reached the end of the tape with these
        std::size_t part = 0;
        std::uint64_t partFirst = 0;
        bool dv = false;  // one DV frame
    };

    TapeTransport();

    // Replaces the clock that winding reads; set before the transport is used.
    void SetClock(ClockSource clock);
    Clock::time_point Now() const;

    // A tape of `packets` packets recorded at `bitRate`, wound to its start, stopped.
    void Load(std::uint64_t packets, double bitRate = kDefaultBitRate);
    // A tape of these parts in this order, wound to its start, stopped.
    void Load(std::vector<Part> parts);
    std::vector<Part> Parts() const;

    // Changes the transport mode, starting from where the tape is now. False, changing
    // nothing, in camera mode or once unplugged. Play at the end of the tape stops at once.
    bool SetMode(TransportMode mode);
    bool Play() { return SetMode(TransportMode::Play); }
    bool Stop() { return SetMode(TransportMode::Stop); }
    // Winding and fast play report Stop once they have reached an end.
    TransportMode Mode() const;
    std::uint64_t Position() const;
    std::uint64_t Length() const;
    // The bit rate of the first transport-stream part (kDefaultBitRate without one).
    double BitRate() const;
    // The position reached the end while playing; cleared by every change of mode and Load.
    bool AtEndOfTape() const;
    // Counts every change that restarts the stream's pacing: modes, speed, camera mode.
    std::uint64_t PlayGeneration() const;
    // The generation and when it began, which the stream's pacing counts from.
    struct Generation {
        std::uint64_t number = 0;
        Clock::time_point since;
    };
    Generation CurrentGeneration() const;

    // 1 plays at the tape's rate, 20 twenty times faster; 0 plays as fast as the sink takes
    // the stream. Winding has no sink to keep up with, so at 0 it winds as at 1.
    void SetSpeed(double factor);
    double Speed() const;

    // DV stretches of kDvStretchSeconds each, starting at these tape positions in seconds (of
    // play from the tape's start; overlapping stretches join; a stretch ends with its part at
    // the latest, and none lies in a DV part). Kept across Load.
    void SetDvStretches(std::vector<double> startSeconds);
    // The position lies in a DV part or stretch; in camera mode, the live stream is in a DV
    // part.
    bool OutputIsDv() const;

    // Camera mode stops the transport where it is and streams the tape from its start, in a
    // loop; leaving it stops that stream. Ignored once unplugged.
    void SetCameraMode(bool on);
    bool CameraMode() const;

    // Stops everything for good. True for the first call only.
    bool Unplug();
    bool Unplugged() const;

    // For the streaming thread: waits until there is something to stream (play with packets
    // left outside a DV stretch, or camera mode) and `ready` says yes, or until interrupted.
    // False when interrupted.
    bool WaitForStream(const std::function<bool()>& ready);
    // How many units a TakePackets(max) would claim now.
    std::size_t NextClaimSize(std::size_t max) const { return NextClaim(max).count; }
    // What a TakePackets(max) would claim now, without claiming it.
    Claim NextClaim(std::size_t max) const;
    // Claims up to `max` packets, or one DV frame, and moves past them, unless `generation` is
    // out of date or there is nothing to stream (count 0). Play stops at the end of the tape
    // and before a DV stretch; camera mode starts again from the tape's start.
    Claim TakePackets(std::size_t max, std::uint64_t generation);
    // Waits until the clock reaches `deadline` or the generation moves on from `generation`.
    // False when interrupted first.
    bool SleepUntil(Clock::time_point deadline, std::uint64_t generation);
    // Wakes every wait with false until Resume; used to end the streaming thread.
    void Interrupt();
    void Resume();
    // Wakes waits so that they look at their conditions (and the clock) again.
    void Notify();
    // Starts a new generation, so that the pacing counts from now (the graph starts running).
    void RestartPacing();

  private:
    struct Settled {
        TransportMode mode;
        std::uint64_t position;
    };
    // Packets [begin, end) of the tape.
    struct Stretch {
        std::uint64_t begin;
        std::uint64_t end;
    };
    // The stretches in units at the parts' rates, each within the part it begins in, joined
    // where they overlap.
    void PlaceDvStretchesLocked();
    // The part that holds `position`; the last one for the tape's end.
    std::size_t PartIndexLocked(std::uint64_t position) const;
    std::uint64_t PartEndLocked(std::size_t part) const {
        return m_partStarts[part] + m_parts[part].units;
    }
    // Units per second of play of part `part` (at speed 0, as at 1).
    double PlayRateLocked(std::size_t part) const;
    // The claim of up to `max` units that streaming would take now.
    Claim ClaimLocked(std::size_t max) const;
    // Where moving from `position` for `elapsed` at `factor` times the play rate of each part
    // (forward when positive) gets to, in `mode`; stopped at either end.
    Settled MoveLocked(std::uint64_t position, std::chrono::nanoseconds elapsed, double factor,
                       TransportMode mode) const;
    // The DV stretch that holds `position`, if any.
    std::optional<Stretch> DvStretchAtLocked(std::uint64_t position) const;
    // Where streaming from `position` has to stop: the next DV stretch or the part's end.
    std::uint64_t StreamLimitLocked(std::uint64_t position) const;
    // When play, anchored in `stretch`, comes out of it.
    Clock::time_point DvEndLocked(const Stretch& stretch) const;
    // Play that has come out of a DV stretch starts streaming from its end, paced anew.
    void LeaveDvStretchLocked(Clock::time_point now);
    // Starts a new generation now.
    void NextGenerationLocked();
    // Where a winding tape has got to at `now`, and whether it has stopped at an end.
    Settled SettleLocked(Clock::time_point now) const;
    // Makes the settled state the new starting point of the mode.
    void AnchorLocked();
    // Multiples of the play rate of the current mode's movement, negative backwards; 0 for
    // the modes whose position moves with the stream, or not at all.
    double TimedFactorLocked() const;
    bool StreamingLocked() const;

    ClockSource m_clock;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    TransportMode m_mode = TransportMode::Stop;
    std::uint64_t m_nPosition = 0;  // in timed modes, the position when the mode began
    Clock::time_point m_anchorTime;
    std::uint64_t m_nLength = 0;
    double m_bitRate = kDefaultBitRate;
    std::vector<Part> m_parts{Part{}};           // never empty
    std::vector<std::uint64_t> m_partStarts{0};  // the position each part begins at
    double m_speed = 1.0;
    std::uint64_t m_nGeneration = 0;
    Clock::time_point m_generationTime;
    std::uint64_t m_nLiveCursor = 0;  // camera mode: the next packet of the looping stream
    std::uint64_t m_nLiveSent = 0;    // camera mode: packets sent since it began
    bool m_bCamera = false;
    bool m_bUnplugged = false;
    bool m_bEndOfTape = false;
    bool m_bInterrupted = false;
    std::vector<double> m_dvStartSeconds;
    std::vector<Stretch> m_dvStretches;  // in tape order
};

}  // namespace vornak
