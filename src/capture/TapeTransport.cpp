#include "TapeTransport.h"

#include <algorithm>
#include <cmath>

#include "TsPacket.h"

namespace vornak {
namespace {

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
    Part part;
    part.units = packets;
    part.timeDenominator = bitRate > 0 ? bitRate : kDefaultBitRate;
    Load(std::vector<Part>{part});
}

void TapeTransport::Load(std::vector<Part> parts) {
    if (parts.empty()) {
        parts.push_back(Part{0, kPacketBits, kDefaultBitRate, false});
    }
    {
        std::lock_guard lock(m_mutex);
        m_parts = std::move(parts);
        m_partStarts.clear();
        m_nLength = 0;
        m_bitRate = kDefaultBitRate;
        bool rateFound = false;
        for (Part& part : m_parts) {
            if (!(part.timeDenominator > 0) || part.timeNumerator == 0) {
                part.timeNumerator = kPacketBits;
                part.timeDenominator = kDefaultBitRate;
            }
            // A part's packets play at its bit rate: timeNumerator is kPacketBits for them.
            if (!part.dv && !rateFound) {
                m_bitRate = part.timeDenominator;
                rateFound = true;
            }
            m_partStarts.push_back(m_nLength);
            m_nLength += part.units;
        }
        m_mode = TransportMode::Stop;
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

std::vector<TapeTransport::Part> TapeTransport::Parts() const {
    std::lock_guard lock(m_mutex);
    return m_parts;
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
    if (m_bUnplugged) {
        return false;
    }
    if (m_bCamera) {
        return m_parts[PartIndexLocked(m_nLiveCursor)].dv;
    }
    const std::uint64_t position = SettleLocked(m_clock()).position;
    return m_parts[PartIndexLocked(position)].dv || DvStretchAtLocked(position).has_value();
}

void TapeTransport::PlaceDvStretchesLocked() {
    m_dvStretches.clear();
    std::vector<double> starts = m_dvStartSeconds;
    std::sort(starts.begin(), starts.end());
    // The position `seconds` of play into the tape, and the part it lies in.
    const auto toPosition = [&](double seconds) {
        seconds = std::max(seconds, 0.0);
        for (std::size_t part = 0; part < m_parts.size(); ++part) {
            const double rate =
                m_parts[part].timeDenominator / static_cast<double>(m_parts[part].timeNumerator);
            // Clamped before the conversion: a place beyond the part is its end.
            const double units = std::floor(seconds * rate);
            if (units < static_cast<double>(m_parts[part].units) || part + 1 == m_parts.size()) {
                const auto inPart = static_cast<std::uint64_t>(
                    std::min(units, static_cast<double>(m_parts[part].units)));
                return std::pair{m_partStarts[part] + inPart, part};
            }
            seconds -= static_cast<double>(m_parts[part].units) / rate;
        }
        return std::pair{m_nLength, m_parts.size() - 1};
    };
    for (const double start : starts) {
        const auto [begin, part] = toPosition(start);
        if (m_parts[part].dv) {
            continue;  // already DV, with a stream of its own
        }
        // A stretch ends with the part it begins in.
        const Stretch stretch{
            begin, std::min(toPosition(start + kDvStretchSeconds).first, PartEndLocked(part))};
        if (stretch.begin >= stretch.end) {
            continue;  // at or past the part's end
        }
        if (!m_dvStretches.empty() && stretch.begin <= m_dvStretches.back().end) {
            m_dvStretches.back().end = std::max(m_dvStretches.back().end, stretch.end);
        } else {
            m_dvStretches.push_back(stretch);
        }
    }
}

std::size_t TapeTransport::PartIndexLocked(std::uint64_t position) const {
    const auto after = std::upper_bound(m_partStarts.begin(), m_partStarts.end(), position);
    // The last part that starts at or before it: empty parts start where the next one does.
    return static_cast<std::size_t>(after - m_partStarts.begin()) - 1;
}

double TapeTransport::PlayRateLocked(std::size_t part) const {
    const double speed = m_speed > 0 ? m_speed : 1.0;
    return speed * m_parts[part].timeDenominator / static_cast<double>(m_parts[part].timeNumerator);
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
    const std::uint64_t partEnd = PartEndLocked(PartIndexLocked(position));
    for (const Stretch& stretch : m_dvStretches) {
        if (stretch.begin > position) {
            return std::min(stretch.begin, partEnd);
        }
    }
    return partEnd;
}

TapeTransport::Clock::time_point TapeTransport::DvEndLocked(const Stretch& stretch) const {
    const double seconds = static_cast<double>(stretch.end - std::min(m_nPosition, stretch.end)) /
                           PlayRateLocked(PartIndexLocked(stretch.begin));
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

TapeTransport::Claim TapeTransport::NextClaim(std::size_t max) const {
    std::lock_guard lock(m_mutex);
    return ClaimLocked(max);
}

TapeTransport::Claim TapeTransport::ClaimLocked(std::size_t max) const {
    Claim claim;
    if (!StreamingLocked()) {
        return claim;
    }
    claim.first = m_bCamera ? m_nLiveCursor : m_nPosition;
    claim.part = PartIndexLocked(claim.first);
    claim.partFirst = claim.first - m_partStarts[claim.part];
    claim.dv = m_parts[claim.part].dv;
    const std::uint64_t limit =
        m_bCamera ? PartEndLocked(claim.part) : StreamLimitLocked(claim.first);
    // A DV part is sent a whole frame at a time, one to a sample.
    const std::uint64_t most = claim.dv ? std::min<std::size_t>(max, 1) : max;
    claim.count = static_cast<std::size_t>(std::min(most, limit - claim.first));
    claim.stamp = m_bCamera ? m_nLiveSent : claim.partFirst;
    return claim;
}

TapeTransport::Claim TapeTransport::TakePackets(std::size_t max, std::uint64_t generation) {
    Claim claim;
    bool stopped = false;
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_nGeneration || !StreamingLocked()) {
            return claim;
        }
        claim = ClaimLocked(max);
        if (m_bCamera) {
            m_nLiveSent += claim.count;
            m_nLiveCursor += claim.count;
            if (m_nLiveCursor >= m_nLength) {
                m_nLiveCursor = 0;  // the live picture goes on from the tape's start
            }
            return claim;
        }
        const std::uint64_t limit = StreamLimitLocked(m_nPosition);
        m_nPosition += claim.count;
        if (m_nPosition >= m_nLength) {
            m_mode = TransportMode::Stop;
            m_anchorTime = m_clock();
            m_bEndOfTape = true;
            NextGenerationLocked();
            claim.reachedEnd = true;
            stopped = true;
        } else if (m_nPosition >= limit) {
            m_anchorTime = m_clock();  // play goes on through a DV stretch from now
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
                    : PlayRateLocked(PartIndexLocked(stretch->begin)) *
                          static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                  now - m_anchorTime)
                                                  .count()) /
                          kNanosecondsPerSecond;
            return {TransportMode::Play,
                    std::min(stretch->end - 1,
                             m_nPosition + static_cast<std::uint64_t>(std::floor(moved)))};
        }
    }
    const double factor = TimedFactorLocked();
    if (factor == 0 || now <= m_anchorTime) {
        return {m_mode, m_nPosition};
    }
    return MoveLocked(m_nPosition,
                      std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_anchorTime),
                      factor, m_mode);
}

TapeTransport::Settled TapeTransport::MoveLocked(std::uint64_t position,
                                                 std::chrono::nanoseconds elapsed, double factor,
                                                 TransportMode mode) const {
    std::size_t part = PartIndexLocked(std::min(position, m_nLength));
    double rate = std::abs(factor * PlayRateLocked(part));
    // Units of the current part still to move. Whole-numbered rates and times give exact
    // products here, so tests can expect exact positions.
    double moved = rate * static_cast<double>(elapsed.count()) / kNanosecondsPerSecond;
    for (;;) {
        if (factor > 0) {
            const std::uint64_t end = PartEndLocked(part);
            const std::uint64_t room = end - std::min(position, end);
            if (moved < static_cast<double>(room)) {
                return {mode, position + static_cast<std::uint64_t>(std::floor(moved))};
            }
            if (part + 1 >= m_parts.size()) {
                return {TransportMode::Stop, m_nLength};
            }
            moved -= static_cast<double>(room);
            position = end;
            ++part;
        } else {
            const std::uint64_t room = position - m_partStarts[part];
            if (moved < static_cast<double>(room)) {
                return {mode, position - static_cast<std::uint64_t>(std::floor(moved))};
            }
            if (part == 0) {
                return {TransportMode::Stop, 0};
            }
            moved -= static_cast<double>(room);
            position = m_partStarts[part];
            --part;
        }
        // What is left to move, in the next part's units: the same time at its rate.
        const double nextRate = std::abs(factor * PlayRateLocked(part));
        moved = moved / rate * nextRate;
        rate = nextRate;
    }
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

double TapeTransport::TimedFactorLocked() const {
    switch (m_mode) {
        case TransportMode::FastForward:
            return kWindFactor;
        case TransportMode::Rewind:
            return -kWindFactor;
        case TransportMode::PlayFastForward:
            return kFastPlayFactor;
        case TransportMode::PlayFastReverse:
            return -kFastPlayFactor;
        case TransportMode::Stop:
        case TransportMode::Play:
        case TransportMode::Freeze:
            return 0;
    }
    return 0;
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
