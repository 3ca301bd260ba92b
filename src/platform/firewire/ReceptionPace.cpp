#include "ReceptionPace.h"

#include <algorithm>
#include <cmath>

namespace vornak {

std::uint64_t ReceptionPace::Arrived(std::size_t packets, Clock::time_point now) {
    if (packets == 0) {
        return 0;
    }
    std::uint64_t lost = 0;
    if (m_restoring) {
        m_restoring = false;
        const Clock::duration pause =
            std::max(m_arrivedBefore ? now - m_lastArrival : Clock::duration::zero(), m_waited);
        if (pause >= kCountedPause && pause <= kLongestRestore) {
            lost = static_cast<std::uint64_t>(
                std::llround(std::chrono::duration<double>(pause).count() * m_rate));
        }
        m_measuring = false;  // the pause is no part of the stream's pace
    }
    m_arrivedBefore = true;
    m_flowing = true;
    m_lastArrival = now;
    if (!m_measuring) {
        // Packets that came in a batch at the start of a stretch arrived before it.
        m_measuring = true;
        m_windowStart = now;
        m_windowPackets = 0;
        return lost;
    }
    m_windowPackets += packets;
    if (now - m_windowStart >= kWindow) {
        if (m_windowPackets >= kMinMeasuredPackets) {
            m_rate = static_cast<double>(m_windowPackets) /
                     std::chrono::duration<double>(now - m_windowStart).count();
        }
        m_windowStart = now;
        m_windowPackets = 0;
    }
    return lost;
}

void ReceptionPace::TimedOut(Clock::duration waited) {
    m_measuring = false;
    m_flowing = false;
    if (m_restoring) {
        m_waited += waited;
        m_restoring = m_waited <= kLongestRestore;
    }
}

}  // namespace vornak
