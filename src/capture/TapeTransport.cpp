#include "TapeTransport.h"

#include <algorithm>
#include <cmath>

#include "TsPacket.h"

namespace vornak {
namespace {

constexpr double kBitsPerPacket = static_cast<double>(PKT_SIZE * 8);
constexpr double kNanosecondsPerSecond = 1e9;

}  // namespace

TapeTransport::TapeTransport() : m_clock([] { return Clock::now(); }) {
    m_anchorTime = m_clock();
    m_generationTime = m_anchorTime;
}

void TapeTransport::SetClock(ClockSource clock) {
    std::lock_guard lock(m_mutex);
    m_clock = std::move(clock);
    m_anchorTime = m_clock();
    m_generationTime = m_anchorTime;
}

TapeTransport::Clock::time_point TapeTransport::Now() const {
    std::lock_guard lock(m_mutex);
    return m_clock();
}

void TapeTransport::Load(std::uint64_t packets, double bitRate) {
    {
        std::lock_guard lock(m_mutex);
        m_mode = TransportMode::Stop;
        m_nLength = packets;
        m_bitRate = bitRate > 0 ? bitRate : kDefaultBitRate;
        m_nPosition = 0;
        m_anchorTime = m_clock();
        m_nLiveCursor = 0;
        m_nLiveSent = 0;
        m_bEndOfTape = false;
        PlaceDvStretchesLocked();
        NextGenerationLocked();
    }
    m_changed.notify_all();
}

bool TapeTransport::SetMode(TransportMode mode) {
    {
        std::lock_guard lock(m_mutex);
        if (m_bCamera || m_bUnplugged) {
            return false;
        }
        AnchorLocked();
        m_mode = mode;
        m_bEndOfTape = false;
        // A tape at its end has nothing to play: the transport stops as it does when play
        // runs into the end.
        if (mode == TransportMode::Play && m_nPosition >= m_nLength) {
            m_mode = TransportMode::Stop;
            m_bEndOfTape = true;
        }
        NextGenerationLocked();
    }
    m_changed.notify_all();
    return true;
}

TransportMode TapeTransport::Mode() const {
    std::lock_guard lock(m_mutex);
    return SettleLocked(m_clock()).mode;
}

std::uint64_t TapeTransport::Position() const {
    std::lock_guard lock(m_mutex);
    return SettleLocked(m_clock()).position;
}

std::uint64_t TapeTransport::Length() const {
    std::lock_guard lock(m_mutex);
    return m_nLength;
}

double TapeTransport::BitRate() const {
    std::lock_guard lock(m_mutex);
    return m_bitRate;
}

bool TapeTransport::AtEndOfTape() const {
    std::lock_guard lock(m_mutex);
    return m_bEndOfTape;
}

std::uint64_t TapeTransport::PlayGeneration() const {
    std::lock_guard lock(m_mutex);
    return m_nGeneration;
}

TapeTransport::Generation TapeTransport::CurrentGeneration() const {
    std::lock_guard lock(m_mutex);
    return {m_nGeneration, m_generationTime};
}

void TapeTransport::SetSpeed(double factor) {
    {
        std::lock_guard lock(m_mutex);
        AnchorLocked();  // the distance wound so far stays wound at the old speed
        m_speed = factor > 0 ? factor : 0.0;
        NextGenerationLocked();
    }
    m_changed.notify_all();
}

double TapeTransport::Speed() const {
    std::lock_guard lock(m_mutex);
    return m_speed;
}

void TapeTransport::SetDvStretches(std::vector<double> startSeconds) {
    {
        std::lock_guard lock(m_mutex);
        AnchorLocked();  // a stretch that now holds the position lasts from here
        m_dvStartSeconds = std::move(startSeconds);
        PlaceDvStretchesLocked();
    }
    m_changed.notify_all();
}

bool TapeTransport::OutputIsDv() const {
    std::lock_guard lock(m_mutex);
    if (m_bCamera || m_bUnplugged) {
        return false;
    }
    return DvStretchAtLocked(SettleLocked(m_clock()).position).has_value();
}

void TapeTransport::PlaceDvStretchesLocked() {
    m_dvStretches.clear();
    std::vector<double> starts = m_dvStartSeconds;
    std::sort(starts.begin(), starts.end());
    const double packetsPerSecond = m_bitRate / kBitsPerPacket;
    const auto toPacket = [&](double seconds) {
        // Clamped before the conversion: a place beyond the tape is its end.
        const double packet = std::floor(std::max(seconds, 0.0) * packetsPerSecond);
        return static_cast<std::uint64_t>(std::min(packet, static_cast<double>(m_nLength)));
    };
    for (const double start : starts) {
        const Stretch stretch{toPacket(start), toPacket(start + kDvStretchSeconds)};
        if (stretch.begin >= stretch.end) {
            continue;  // at or past the tape's end
        }
        if (!m_dvStretches.empty() && stretch.begin <= m_dvStretches.back().end) {
            m_dvStretches.back().end = std::max(m_dvStretches.back().end, stretch.end);
        } else {
            m_dvStretches.push_back(stretch);
        }
    }
}

std::optional<TapeTransport::Stretch> TapeTransport::DvStretchAtLocked(
    std::uint64_t position) const {
    for (const Stretch& stretch : m_dvStretches) {
        if (position < stretch.begin) {
            break;
        }
        if (position < stretch.end) {
            return stretch;
        }
    }
    return std::nullopt;
}

std::uint64_t TapeTransport::StreamLimitLocked(std::uint64_t position) const {
    for (const Stretch& stretch : m_dvStretches) {
        if (stretch.begin > position) {
            return stretch.begin;
        }
    }
    return m_nLength;
}

TapeTransport::Clock::time_point TapeTransport::DvEndLocked(const Stretch& stretch) const {
    const double seconds =
        static_cast<double>(stretch.end - std::min(m_nPosition, stretch.end)) / PlayRateLocked();
    return m_anchorTime + std::chrono::nanoseconds(static_cast<std::int64_t>(
                              std::ceil(seconds * kNanosecondsPerSecond)));
}

void TapeTransport::LeaveDvStretchLocked(Clock::time_point now) {
    const Settled settled = SettleLocked(now);
    m_mode = settled.mode;
    m_nPosition = settled.position;
    m_anchorTime = now;
    if (m_mode == TransportMode::Stop) {
        m_bEndOfTape = true;  // the stretch ran to the end of the tape
    }
    NextGenerationLocked();
}

void TapeTransport::SetCameraMode(bool on) {
    {
        std::lock_guard lock(m_mutex);
        if (m_bUnplugged || m_bCamera == on) {
            return;
        }
        AnchorLocked();
        m_bCamera = on;
        if (on) {
            m_mode = TransportMode::Stop;
            m_bEndOfTape = false;
            m_nLiveCursor = 0;
            m_nLiveSent = 0;
        }
        NextGenerationLocked();
    }
    m_changed.notify_all();
}

bool TapeTransport::CameraMode() const {
    std::lock_guard lock(m_mutex);
    return m_bCamera;
}

bool TapeTransport::Unplug() {
    {
        std::lock_guard lock(m_mutex);
        if (m_bUnplugged) {
            return false;
        }
        AnchorLocked();
        m_mode = TransportMode::Stop;
        m_bUnplugged = true;
        NextGenerationLocked();
    }
    m_changed.notify_all();
    return true;
}

bool TapeTransport::Unplugged() const {
    std::lock_guard lock(m_mutex);
    return m_bUnplugged;
}

bool TapeTransport::WaitForStream(const std::function<bool()>& ready) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_bInterrupted) {
            return false;
        }
        // Play in a DV stretch streams again once the clock has carried it out of the stretch.
        const Clock::time_point now = m_clock();
        std::optional<Clock::time_point> dvEnd;
        if (m_mode == TransportMode::Play && !m_bCamera) {
            if (const auto stretch = DvStretchAtLocked(m_nPosition)) {
                dvEnd = DvEndLocked(*stretch);
                if (now >= *dvEnd) {
                    LeaveDvStretchLocked(now);
                    continue;
                }
            }
        }
        if (StreamingLocked() && ready()) {
            return true;
        }
        if (dvEnd) {
            // A replaced clock does not move by itself: whoever moves it calls Notify.
            m_changed.wait_for(lock, *dvEnd - now);
        } else {
            m_changed.wait(lock);
        }
    }
}

std::size_t TapeTransport::NextClaimSize(std::size_t max) const {
    std::lock_guard lock(m_mutex);
    if (!StreamingLocked()) {
        return 0;
    }
    if (m_bCamera) {
        return static_cast<std::size_t>(std::min<std::uint64_t>(max, m_nLength - m_nLiveCursor));
    }
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(max, StreamLimitLocked(m_nPosition) - m_nPosition));
}

TapeTransport::Claim TapeTransport::TakePackets(std::size_t max, std::uint64_t generation) {
    Claim claim;
    bool stopped = false;
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_nGeneration || !StreamingLocked()) {
            return claim;
        }
        if (m_bCamera) {
            claim.first = m_nLiveCursor;
            claim.count =
                static_cast<std::size_t>(std::min<std::uint64_t>(max, m_nLength - m_nLiveCursor));
            claim.stamp = m_nLiveSent;
            m_nLiveSent += claim.count;
            m_nLiveCursor += claim.count;
            if (m_nLiveCursor >= m_nLength) {
                m_nLiveCursor = 0;  // the live picture goes on from the tape's start
            }
            return claim;
        }
        const std::uint64_t limit = StreamLimitLocked(m_nPosition);
        claim.first = m_nPosition;
        claim.count = static_cast<std::size_t>(std::min<std::uint64_t>(max, limit - m_nPosition));
        claim.stamp = claim.first;
        m_nPosition += claim.count;
        if (m_nPosition >= m_nLength) {
            m_mode = TransportMode::Stop;
            m_anchorTime = m_clock();
            m_bEndOfTape = true;
            NextGenerationLocked();
            claim.reachedEnd = true;
            stopped = true;
        } else if (m_nPosition >= limit) {
            m_anchorTime = m_clock();  // play goes on through the DV stretch from now
        }
    }
    if (stopped) {
        m_changed.notify_all();
    }
    return claim;
}

bool TapeTransport::SleepUntil(Clock::time_point deadline, std::uint64_t generation) {
    std::unique_lock lock(m_mutex);
    while (!m_bInterrupted && m_nGeneration == generation) {
        const Clock::time_point now = m_clock();
        if (now >= deadline) {
            break;
        }
        // A replaced clock does not move by itself: whoever moves it calls Notify.
        m_changed.wait_for(lock, deadline - now);
    }
    return !m_bInterrupted;
}

void TapeTransport::Interrupt() {
    {
        std::lock_guard lock(m_mutex);
        m_bInterrupted = true;
    }
    m_changed.notify_all();
}

void TapeTransport::Resume() {
    std::lock_guard lock(m_mutex);
    m_bInterrupted = false;
}

void TapeTransport::Notify() {
    { std::lock_guard lock(m_mutex); }
    m_changed.notify_all();
}

void TapeTransport::RestartPacing() {
    {
        std::lock_guard lock(m_mutex);
        NextGenerationLocked();
    }
    m_changed.notify_all();
}

TapeTransport::Settled TapeTransport::SettleLocked(Clock::time_point now) const {
    if (m_mode == TransportMode::Play && !m_bCamera) {
        if (const auto stretch = DvStretchAtLocked(m_nPosition)) {
            if (now >= DvEndLocked(*stretch)) {
                return stretch->end >= m_nLength ? Settled{TransportMode::Stop, m_nLength}
                                                 : Settled{TransportMode::Play, stretch->end};
            }
            const double moved =
                now <= m_anchorTime
                    ? 0.0
                    : PlayRateLocked() *
                          static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                  now - m_anchorTime)
                                                  .count()) /
                          kNanosecondsPerSecond;
            return {TransportMode::Play,
                    std::min(stretch->end - 1,
                             m_nPosition + static_cast<std::uint64_t>(std::floor(moved)))};
        }
    }
    const double rate = TimedRateLocked();
    if (rate == 0 || now <= m_anchorTime) {
        return {m_mode, m_nPosition};
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_anchorTime);
    // Whole-numbered rates and times give exact products here, so tests can expect exact
    // positions.
    const double moved =
        std::abs(rate) * static_cast<double>(elapsed.count()) / kNanosecondsPerSecond;
    if (rate > 0) {
        const std::uint64_t room = m_nLength - std::min(m_nPosition, m_nLength);
        if (moved >= static_cast<double>(room)) {
            return {TransportMode::Stop, m_nLength};
        }
        return {m_mode, m_nPosition + static_cast<std::uint64_t>(std::floor(moved))};
    }
    if (moved >= static_cast<double>(m_nPosition)) {
        return {TransportMode::Stop, 0};
    }
    return {m_mode, m_nPosition - static_cast<std::uint64_t>(std::floor(moved))};
}

void TapeTransport::NextGenerationLocked() {
    ++m_nGeneration;
    m_generationTime = m_clock();
}

void TapeTransport::AnchorLocked() {
    const Clock::time_point now = m_clock();
    const Settled settled = SettleLocked(now);
    m_mode = settled.mode;
    m_nPosition = settled.position;
    m_anchorTime = now;
}

double TapeTransport::TimedRateLocked() const {
    double factor = 0;
    switch (m_mode) {
        case TransportMode::FastForward:
            factor = kWindFactor;
            break;
        case TransportMode::Rewind:
            factor = -kWindFactor;
            break;
        case TransportMode::PlayFastForward:
            factor = kFastPlayFactor;
            break;
        case TransportMode::PlayFastReverse:
            factor = -kFastPlayFactor;
            break;
        case TransportMode::Stop:
        case TransportMode::Play:
        case TransportMode::Freeze:
            return 0;
    }
    return factor * PlayRateLocked();
}

double TapeTransport::PlayRateLocked() const {
    const double speed = m_speed > 0 ? m_speed : 1.0;
    return speed * m_bitRate / kBitsPerPacket;
}

bool TapeTransport::StreamingLocked() const {
    if (m_bUnplugged) {
        return false;
    }
    if (m_bCamera) {
        return m_nLength > 0;
    }
    return m_mode == TransportMode::Play && m_nPosition < m_nLength &&
           !DvStretchAtLocked(m_nPosition);
}

}  // namespace vornak
