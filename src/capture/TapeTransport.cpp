#include "TapeTransport.h"

#include <algorithm>

namespace vornak {

void TapeTransport::Load(std::uint64_t packets) {
    {
        std::lock_guard lock(m_mutex);
        m_mode = TransportMode::Stop;
        m_nLength = packets;
        m_nPosition = 0;
        m_bEndOfTape = false;
        ++m_nGeneration;
    }
    m_changed.notify_all();
}

void TapeTransport::Play() {
    {
        std::lock_guard lock(m_mutex);
        m_mode = TransportMode::Play;
        m_bEndOfTape = false;
        ++m_nGeneration;
    }
    m_changed.notify_all();
}

void TapeTransport::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_mode = TransportMode::Stop;
        m_bEndOfTape = false;
        ++m_nGeneration;
    }
    m_changed.notify_all();
}

TransportMode TapeTransport::Mode() const {
    std::lock_guard lock(m_mutex);
    return m_mode;
}

std::uint64_t TapeTransport::Position() const {
    std::lock_guard lock(m_mutex);
    return m_nPosition;
}

std::uint64_t TapeTransport::Length() const {
    std::lock_guard lock(m_mutex);
    return m_nLength;
}

bool TapeTransport::AtEndOfTape() const {
    std::lock_guard lock(m_mutex);
    return m_bEndOfTape;
}

std::uint64_t TapeTransport::PlayGeneration() const {
    std::lock_guard lock(m_mutex);
    return m_nGeneration;
}

std::size_t TapeTransport::TakePackets(std::size_t max, std::uint64_t& first, bool& reachedEnd) {
    bool& ended = reachedEnd;
    ended = false;
    std::size_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_mode != TransportMode::Play || m_nPosition >= m_nLength) {
            return 0;
        }
        count = static_cast<std::size_t>(std::min<std::uint64_t>(max, m_nLength - m_nPosition));
        first = m_nPosition;
        m_nPosition += count;
        if (m_nPosition >= m_nLength) {
            m_mode = TransportMode::Stop;
            m_bEndOfTape = true;
            ++m_nGeneration;
            ended = true;
        }
    }
    if (ended) {
        m_changed.notify_all();
    }
    return count;
}

bool TapeTransport::WaitForPlay(const std::function<bool()>& ready) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        return m_bInterrupted ||
               (m_mode == TransportMode::Play && m_nPosition < m_nLength && ready());
    });
    return !m_bInterrupted;
}

bool TapeTransport::SleepUntil(Clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_until(lock, deadline, [this] { return m_bInterrupted; });
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

}  // namespace vornak
